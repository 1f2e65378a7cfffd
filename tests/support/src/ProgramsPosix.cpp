#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

#include "platform/Descriptor.h"
#include "support/Programs.h"

namespace corvane::test {

namespace {

// An unnamed temporary file, open for reading and writing.
platform::Descriptor AnonymousFile() {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvane-stream-XXXXXX").string();
  platform::Descriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
  if (fd) ::unlink(pattern.c_str());
  return fd;
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[65536];
  ::lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace

struct Program::State {
  pid_t pid = -1;
  int status = 0;
  bool ended = false;
  platform::Descriptor out;
  platform::Descriptor err;
  std::string outputFile;
  std::thread feeder;
};

Program::Program(const Launch& launch) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.outputFile = launch.outputFile;
  s.out = launch.outputFile.empty() ? AnonymousFile()
                                    : platform::Descriptor(::open(launch.outputFile.c_str(),
                                                                  O_WRONLY | O_APPEND | O_CLOEXEC));
  s.err = AnonymousFile();
  platform::Descriptor input;  // the program's standard input
  platform::Descriptor feed;   // the pipe's end it is fed through
  if (launch.input) {
    // Writing to a program that stopped reading must fail, not end the tests.
    ::signal(SIGPIPE, SIG_IGN);
    if (int ends[2]; ::pipe2(ends, O_CLOEXEC) == 0) {
      input = platform::Descriptor(ends[0]);
      feed = platform::Descriptor(ends[1]);
    }
  } else {
    const std::string from = launch.inputFile.empty() ? "/dev/null" : launch.inputFile;
    input = platform::Descriptor(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  }
  if (!s.out || !s.err || !input) {
    ADD_FAILURE() << "cannot set up the standard streams: " << std::strerror(errno);
    return;
  }
  std::vector<char*> argv;
  std::vector<std::string> command = launch.command;
  for (std::string& a : command) argv.push_back(a.data());
  argv.push_back(nullptr);

  s.pid = ::fork();
  if (s.pid == 0) {
    // Only async-signal-safe calls until exec; the program gets the default
    // disposition of every signal the tests touch.
    ::signal(SIGPIPE, SIG_DFL);
    if (::dup2(input.Get(), 0) < 0 || ::dup2(s.out.Get(), 1) < 0 || ::dup2(s.err.Get(), 2) < 0 ||
        (!launch.folder.empty() && ::chdir(launch.folder.c_str()) != 0)) {
      ::_exit(126);
    }
    // The program gets its three standard descriptors and nothing the test
    // runner left open (ctest does), as a test of descriptor limits needs.
    if (::close_range(3, ~0U, 0) != 0) {
      for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  input.Reset();  // the program's now
  if (s.pid < 0) {
    ADD_FAILURE() << "fork failed: " << std::strerror(errno);
    return;
  }
  if (launch.input) {
    // The feeder closes its end when done: the program then reads the end.
    s.feeder = std::thread([fd = std::move(feed), data = *launch.input] {
      std::size_t done = 0;
      while (done < data.size()) {
        const ssize_t n = ::write(fd.Get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the program stopped reading
        done += static_cast<std::size_t>(n);
      }
    });
  }
}

Program::~Program() {
  if (state_->pid > 0 && !state_->ended) Wait();
  if (state_->feeder.joinable()) state_->feeder.join();
}

bool Program::HasEnded() {
  if (!state_->ended && state_->pid > 0) {
    state_->ended = ::waitpid(state_->pid, &state_->status, WNOHANG) == state_->pid;
  }
  return state_->ended;
}

void Program::Signal(int number) {
  if (state_->pid > 0 && !state_->ended) ::kill(state_->pid, number);
}

Outcome Program::Wait() {
  State& s = *state_;
  Outcome outcome;
  if (s.pid <= 0) return outcome;
  while (!s.ended) {
    if (::waitpid(s.pid, &s.status, 0) == s.pid) {
      s.ended = true;
    } else if (errno != EINTR) {
      ADD_FAILURE() << "waitpid failed: " << std::strerror(errno);
      return outcome;
    }
  }
  if (s.feeder.joinable()) s.feeder.join();
  if (WIFEXITED(s.status)) outcome.exitCode = WEXITSTATUS(s.status);
  if (WIFSIGNALED(s.status)) outcome.signal = WTERMSIG(s.status);
  if (s.outputFile.empty()) outcome.out = ReadAll(s.out.Get());
  outcome.err = ReadAll(s.err.Get());
  return outcome;
}

}  // namespace corvane::test
