// A registry, file system and program starter in memory that records every call.
#pragma once

#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "sysinfo/SysInfo.h"

namespace corvane::testing {

struct FakeValue {
  std::uint32_t type = kRegSz;
  std::string bytes;  // exactly the bytes stored, NULs included
};

struct OpenCall {
  std::uint32_t root;
  std::string key;
  std::uint32_t options;
  std::uint32_t access;
};

class FakeSysInfoPlatform : public SysInfoPlatform {
 public:
  // Keys by path under HKEY_LOCAL_MACHINE, values by name.
  std::map<std::string, std::map<std::string, FakeValue>> keys;
  std::set<std::string> normalFiles;               // paths FindNormalFile answers
  long openResultForExistingKeys = kErrorSuccess;  // e.g. kErrorAccessDenied
  bool startFails = false;

  std::vector<OpenCall> opens;
  std::vector<std::string> queries;
  std::vector<RegHandle> closes;
  std::vector<std::string> finds;
  std::vector<std::string> starts;  // every attempt, also the failing ones

  void SetValue(const std::string& key, const std::string& name, std::uint32_t type,
                std::string bytes) {
    keys[key][name] = FakeValue{type, std::move(bytes)};
  }

  bool Opened(const std::string& key) const {
    for (const auto& call : opens) {
      if (call.key == key) return true;
    }
    return false;
  }

  long RegOpenKeyExA(std::uint32_t root, const std::string& subKey, std::uint32_t options,
                     std::uint32_t access, RegHandle* result) override {
    opens.push_back({root, subKey, options, access});
    if (root != kHkeyLocalMachine) return kErrorFileNotFound;
    const auto key = keys.find(subKey);
    if (key == keys.end()) return kErrorFileNotFound;
    if (openResultForExistingKeys != kErrorSuccess) return openResultForExistingKeys;
    const RegHandle handle = kFirstHandle + handles_.size();
    handles_.push_back(subKey);
    *result = handle;
    return kErrorSuccess;
  }

  long RegQueryValueExA(RegHandle key, const std::string& valueName, std::uint32_t* type,
                        unsigned char* data, std::uint32_t* size) override {
    queries.push_back(valueName);
    if (key < kFirstHandle || key - kFirstHandle >= handles_.size()) return kErrorInvalidHandle;
    const auto& values = keys.at(handles_[key - kFirstHandle]);
    const auto value = values.find(valueName);
    if (value == values.end()) return kErrorFileNotFound;
    const auto& bytes = value->second.bytes;
    *type = value->second.type;
    if (bytes.size() > *size) {
      *size = static_cast<std::uint32_t>(bytes.size());
      return kErrorMoreData;
    }
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    *size = static_cast<std::uint32_t>(bytes.size());
    return kErrorSuccess;
  }

  long RegCloseKey(RegHandle key) override {
    closes.push_back(key);
    return key >= kFirstHandle ? kErrorSuccess : kErrorInvalidHandle;
  }

  std::string FindNormalFile(const std::string& pattern) override {
    finds.push_back(pattern);
    if (normalFiles.count(pattern) == 0) return {};
    return pattern.substr(pattern.find_last_of('\\') + 1);
  }

  void StartProgram(const std::string& path) override {
    starts.push_back(path);
    if (startFails || path.empty()) throw std::runtime_error("File not found: '" + path + "'");
  }

  static constexpr RegHandle kFirstHandle = 0x100;

 private:
  std::vector<std::string> handles_;
};

}  // namespace corvane::testing
