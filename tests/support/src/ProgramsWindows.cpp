#include "platform/WindowsApi.h"

#include <gtest/gtest.h>

#include <thread>

#include "engine/WindowsText.h"
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
HANDLE AnonymousFile() {
  char folder[MAX_PATH + 1] = {};
  char name[MAX_PATH + 1] = {};
  if (::GetTempPathA(sizeof folder, folder) == 0 ||
      ::GetTempFileNameA(folder, "cvt", 0, name) == 0) {
    return INVALID_HANDLE_VALUE;
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileA(
      name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
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

void CloseIfOpen(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  handle = nullptr;
}

}  // namespace

struct Program::State {
  PROCESS_INFORMATION process{};
  bool ended = false;
  HANDLE out = nullptr;
  HANDLE err = nullptr;
  std::string outputFile;
  std::thread feeder;
};

Program::Program(const Launch& launch) : state_(std::make_unique<State>()) {
  State& s = *state_;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  s.outputFile = launch.outputFile;
  // Paths and arguments are UTF-8, as in the programs: wide calls throughout.
  s.out =
      launch.outputFile.empty()
          ? AnonymousFile()
          : ::CreateFileW(WideText(launch.outputFile).c_str(), FILE_APPEND_DATA,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  s.err = AnonymousFile();
  HANDLE input = nullptr;
  HANDLE feed = nullptr;
  if (launch.input) {
    // Only the program's end of the pipe is inherited.
    if (::CreatePipe(&input, &feed, &inherit, 0)) {
      ::SetHandleInformation(feed, HANDLE_FLAG_INHERIT, 0);
    }
  } else {
    const std::string from = launch.inputFile.empty() ? "NUL" : launch.inputFile;
    input = ::CreateFileW(WideText(from).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          &inherit, OPEN_EXISTING, 0, nullptr);
  }
  if (s.out == INVALID_HANDLE_VALUE || s.err == INVALID_HANDLE_VALUE || input == nullptr ||
      input == INVALID_HANDLE_VALUE) {
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
  startup.hStdInput = input;
  startup.hStdOutput = s.out;
  startup.hStdError = s.err;
  std::wstring wideCommandLine = WideText(commandLine);
  const std::wstring folder = WideText(launch.folder);
  const bool started = ::CreateProcessW(
      WideText(launch.command.at(0)).c_str(), wideCommandLine.data(), nullptr, nullptr, TRUE, 0,
      nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &s.process);
  CloseIfOpen(input);
  if (!started) {
    ADD_FAILURE() << "cannot start " << launch.command.at(0) << ": error " << ::GetLastError();
    CloseIfOpen(feed);
    s.ended = true;
    return;
  }
  if (launch.input) {
    s.feeder = std::thread([feed, data = *launch.input]() mutable {
      std::size_t done = 0;
      DWORD wrote = 0;
      while (done < data.size() &&
             ::WriteFile(feed, data.data() + done,
                         static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1 << 20)),
                         &wrote, nullptr)) {
        done += wrote;
      }
      ::CloseHandle(feed);
    });
  }
}

Program::~Program() {
  if (!state_->ended && state_->process.hProcess != nullptr) Wait();
  if (state_->feeder.joinable()) state_->feeder.join();
  CloseIfOpen(state_->process.hProcess);
  CloseIfOpen(state_->process.hThread);
  CloseIfOpen(state_->out);
  CloseIfOpen(state_->err);
}

bool Program::HasEnded() {
  if (!state_->ended && state_->process.hProcess != nullptr) {
    state_->ended = ::WaitForSingleObject(state_->process.hProcess, 0) == WAIT_OBJECT_0;
  }
  return state_->ended;
}

Outcome Program::Wait() {
  State& s = *state_;
  Outcome outcome;
  if (s.process.hProcess == nullptr) return outcome;
  ::WaitForSingleObject(s.process.hProcess, INFINITE);
  s.ended = true;
  if (s.feeder.joinable()) s.feeder.join();
  DWORD code = 0;
  ::GetExitCodeProcess(s.process.hProcess, &code);
  outcome.exitCode = static_cast<int>(code);
  if (s.outputFile.empty()) outcome.out = ReadAll(s.out);
  outcome.err = ReadAll(s.err);
  return outcome;
}

Outcome RunProgram(const Launch& launch) { return Program(launch).Wait(); }

}  // namespace corvane::test
