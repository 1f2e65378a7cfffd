#include "platform/WindowsApi.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "engine/WindowsText.h"
#include "platform/Handle.h"
#include "support/Programs.h"

namespace corvane::test {

namespace {

// One argument as the C run-time splits a command line: in quotes, with the
// backslashes before a quote doubled and the quote escaped.
std::string Quoted(const std::string& argument) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  quoted += '"';
  return quoted;
}

// An unnamed temporary file that the program may inherit and write to.
platform::Handle AnonymousFile() {
  char folder[MAX_PATH + 1] = {};
  char name[MAX_PATH + 1] = {};
  if (::GetTempPathA(sizeof folder, folder) == 0 ||
      ::GetTempFileNameA(folder, "cvt", 0, name) == 0) {
    return {};
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return platform::Handle(::CreateFileA(
      name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

std::string ReadAll(HANDLE file) {
  std::string text;
  char buffer[65536];
  ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  return text;
}

}  // namespace

struct Program::State {
  platform::Handle process;
  platform::Handle thread;
  bool ended = false;
  platform::Handle out;
  platform::Handle err;
  std::string outputFile;
  std::thread feeder;
};

Program::Program(const Launch& launch) : state_(std::make_unique<State>()) {
  State& s = *state_;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  s.outputFile = launch.outputFile;
  // Paths and arguments are UTF-8, as in the programs: wide calls throughout.
  s.out = launch.outputFile.empty()
              ? AnonymousFile()
              : platform::Handle(::CreateFileW(WideText(launch.outputFile).c_str(),
                                               FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               &inherit, OPEN_EXISTING, 0, nullptr));
  s.err = AnonymousFile();
  platform::Handle input;  // the program's standard input
  platform::Handle feed;   // the pipe's end it is fed through
  if (launch.input) {
    // Only the program's end of the pipe is inherited.
    if (::CreatePipe(input.Receive(), feed.Receive(), &inherit, 0)) {
      ::SetHandleInformation(feed.Get(), HANDLE_FLAG_INHERIT, 0);
    }
  } else {
    const std::string from = launch.inputFile.empty() ? "NUL" : launch.inputFile;
    input.Reset(::CreateFileW(WideText(from).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                              nullptr));
  }
  if (!s.out || !s.err || !input) {
    ADD_FAILURE() << "cannot set up the standard streams: error " << ::GetLastError();
    return;
  }
  std::string commandLine;
  for (const std::string& argument : launch.command) {
    if (!commandLine.empty()) commandLine += ' ';
    commandLine += Quoted(argument);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.Get();
  startup.hStdOutput = s.out.Get();
  startup.hStdError = s.err.Get();
  std::wstring wideCommandLine = WideText(commandLine);
  const std::wstring folder = WideText(launch.folder);
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessW(
      WideText(launch.command.at(0)).c_str(), wideCommandLine.data(), nullptr, nullptr, TRUE, 0,
      nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &process);
  const DWORD error = ::GetLastError();
  input.Reset();  // the program's now
  if (!started) {
    ADD_FAILURE() << "cannot start " << launch.command.at(0) << ": error " << error;
    s.ended = true;
    return;
  }
  s.process.Reset(process.hProcess);
  s.thread.Reset(process.hThread);
  if (launch.input) {
    // The feeder closes its end when done: the program then reads the end.
    s.feeder = std::thread([feed = std::move(feed), data = *launch.input] {
      std::size_t done = 0;
      DWORD wrote = 0;
      while (done < data.size() &&
             ::WriteFile(feed.Get(), data.data() + done,
                         static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1 << 20)),
                         &wrote, nullptr)) {
        done += wrote;
      }
    });
  }
}

Program::~Program() {
  if (!state_->ended && state_->process) Wait();
  if (state_->feeder.joinable()) state_->feeder.join();
}

bool Program::HasEnded() {
  if (!state_->ended && state_->process) {
    state_->ended = ::WaitForSingleObject(state_->process.Get(), 0) == WAIT_OBJECT_0;
  }
  return state_->ended;
}

Outcome Program::Wait() {
  State& s = *state_;
  Outcome outcome;
  if (!s.process) return outcome;
  ::WaitForSingleObject(s.process.Get(), INFINITE);
  s.ended = true;
  if (s.feeder.joinable()) s.feeder.join();
  DWORD code = 0;
  ::GetExitCodeProcess(s.process.Get(), &code);
  outcome.exitCode = static_cast<int>(code);
  if (s.outputFile.empty()) outcome.out = ReadAll(s.out.Get());
  outcome.err = ReadAll(s.err.Get());
  return outcome;
}

}  // namespace corvane::test
