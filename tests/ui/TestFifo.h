// A named pipe as a batch's input, to hold a batch at a known point: the
// batch waits in opening or reading it until the test writes and closes.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <thread>

namespace uitest {

class TestFifo {
 public:
  // False where the platform has no named pipes (the tests using one skip).
  static bool Supported();

  explicit TestFifo(const QString& path);
  // Stops the endless writer and closes the writing end (the reader sees the
  // input end).
  ~TestFifo();
  TestFifo(const TestFifo&) = delete;
  TestFifo& operator=(const TestFifo&) = delete;

  bool Made() const { return made_; }
  // Runs the window's events until a reader has the pipe open (at most ten
  // seconds), then opens the writing end.
  bool WaitForReader();
  bool Write(const QByteArray& data);
  // Writes records from a thread of its own until the reader goes (or a
  // generous bound is reached).
  void WriteEndlessly();
  void Close();

 private:
  QString path_;
  bool made_ = false;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread writer_;
};

}  // namespace uitest
