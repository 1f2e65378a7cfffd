#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTest>
#include <cerrno>
#include <csignal>

#include "TestFifo.h"

namespace uitest {

bool TestFifo::Supported() { return true; }

TestFifo::TestFifo(const QString& path) : path_(path) {
  // A write after the reader has gone fails with EPIPE instead of ending the tests.
  std::signal(SIGPIPE, SIG_IGN);
  made_ = ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

TestFifo::~TestFifo() {
  stop_ = true;
  if (writer_.joinable()) {
    writer_.join();
  }
  Close();
}

bool TestFifo::WaitForReader() {
  const QByteArray name = QFile::encodeName(path_);
  // Opening for writing without blocking succeeds only once a reader is there.
  const bool opened = QTest::qWaitFor(
      [&] {
        fd_ = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        return fd_ >= 0;
      },
      10000);
  if (!opened) {
    return false;
  }
  return ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) == 0;
}

bool TestFifo::Write(const QByteArray& data) {
  qsizetype done = 0;
  while (done < data.size()) {
    const ssize_t written = ::write(fd_, data.constData() + done, size_t(data.size() - done));
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    done += written;
  }
  return true;
}

void TestFifo::WriteEndlessly() {
  writer_ = std::thread([this] {
    QByteArray block;
    while (block.size() < 65536) {
      block += "1,2,3,4\r\n";
    }
    // A bound keeps the disk safe should the reader never stop.
    for (qint64 total = 0; !stop_ && total < (qint64(1) << 30); total += block.size()) {
      if (!Write(block)) {
        return;
      }
    }
  });
}

void TestFifo::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace uitest
