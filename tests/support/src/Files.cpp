#include "support/Files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace corvane::test {

namespace fs = std::filesystem;

namespace {

// Paths are UTF-8 here as in the programs, on Windows too.
fs::path PathOf(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8Of(const fs::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

TempFolder::TempFolder() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate = base / ("corvane-test-" + std::to_string(random() % 1000000000));
    std::error_code error;
    if (fs::create_directory(candidate, error)) path_ = Utf8Of(candidate);
  }
  if (path_.empty()) {
    ADD_FAILURE() << "cannot make a folder in " << base;
    return;
  }
  using fs::perms;
  fs::permissions(PathOf(path_), perms::owner_all | perms::group_read | perms::group_exec |
                                     perms::others_read | perms::others_exec);
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(PathOf(path_), ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    // Folders made read-only, and on Windows read-only files, refuse removal.
    if (!it->is_symlink(ignored)) {
      fs::permissions(it->path(),
                      it->is_directory(ignored) ? fs::perms::owner_all : fs::perms::owner_write,
                      fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(PathOf(path_), ignored);
}

std::set<std::string> TempFolder::Names() const { return test::Names(path_); }

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(PathOf(folder))) {
    names.insert(Utf8Of(entry.path().filename()));
  }
  return names;
}

bool WriteFile(const std::string& path, std::string_view content) {
  std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  EXPECT_TRUE(out.good()) << "cannot write test file " << path;
  return out.good();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(PathOf(path), std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<std::string> WaitForFile(const std::string& path, std::chrono::seconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  std::error_code ignored;
  while (!fs::exists(PathOf(path), ignored)) {
    if (std::chrono::steady_clock::now() > end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ReadFile(path);
}

}  // namespace corvane::test
