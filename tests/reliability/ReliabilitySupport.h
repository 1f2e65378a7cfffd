// Helpers for the reliability tests: a scratch folder, files, an independent
// reference conversion, and running the built csv2crc as a child process.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::reliability {

namespace fs = std::filesystem;

// A folder of its own under /tmp (traversable by every user, so that a test
// may run the program as another user inside it), removed at the end.
class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/corvane-reliability-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
    ::chmod(path_.c_str(), 0755);
  }
  ~Scratch() {
    std::error_code ignored;
    // Folders a test made unwritable must become writable to be emptied.
    for (auto it = fs::recursive_directory_iterator(path_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) ::chmod(it->path().c_str(), 0755);
    }
    fs::remove_all(path_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// Every name in a folder, hidden ones included.
inline std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

inline void WriteFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  ASSERT_TRUE(out.good()) << "cannot write test file " << path;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The conversion written out plainly from the rules, byte by byte and with
// no streaming: lines end at CR or CR LF; inside a line a lone LF ends a
// record; a record's first three fields end at a comma, its fourth keeps the
// rest; each record becomes five columns joined by two TABs, CR LF after it.
inline std::string ReferenceConvert(std::string_view input) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (input[i] == '\r') {
      lines.push_back(line);
      line.clear();
      if (i + 1 < input.size() && input[i + 1] == '\n') ++i;
    } else {
      line += input[i];
    }
  }
  if (!line.empty()) lines.push_back(line);
  std::string out;
  for (const std::string& l : lines) {
    std::size_t start = 0;
    while (start < l.size()) {
      std::size_t end = l.find('\n', start);
      const bool endedByLf = end != std::string::npos;
      if (!endedByLf) end = l.size();
      const std::string record = l.substr(start, end - start);
      std::string fields[4];
      std::size_t pos = 0;
      for (int f = 0; f < 3 && pos <= record.size(); ++f) {
        const std::size_t comma = record.find(',', pos);
        if (comma == std::string::npos) {
          fields[f] = record.substr(pos);
          pos = record.size() + 1;
        } else {
          fields[f] = record.substr(pos, comma - pos);
          pos = comma + 1;
        }
      }
      if (pos <= record.size()) fields[3] = record.substr(pos);
      out += fields[0] + "\t\t" + fields[1] + "\t\t111 x 222\t\t" + fields[2] + "\t\t" + fields[3] +
             "\r\n";
      start = end + 1;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// Child processes.

struct RunResult {
  int exitCode = -1;  // -1 when ended by a signal
  int signal = 0;     // the signal that ended it, or 0
  std::string err;
};

// Starts argv[0] with argv in folder cwd; standard input from /dev/null,
// standard output to /dev/null, standard error to errPath.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& cwd,
                   const std::string& errPath) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open("/dev/null", O_WRONLY);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

inline RunResult Wait(pid_t pid, const std::string& errPath) {
  RunResult result;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.err = ReadFile(errPath);
  ::unlink(errPath.c_str());
  return result;
}

// Runs csv2crc with args in cwd (optionally behind a prefix such as setpriv).
inline RunResult RunCsv2crc(const std::string& cwd, const std::vector<std::string>& args,
                            const std::vector<std::string>& prefix = {}) {
  std::vector<std::string> argv = prefix;
  argv.push_back(CSV2CRC_PATH);
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string errPath = "/tmp/corvane-reliability-err-" + std::to_string(::getpid());
  return Wait(Spawn(argv, cwd, errPath), errPath);
}

}  // namespace corvane::reliability
