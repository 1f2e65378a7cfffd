#include "engine/ConversionRun.h"

#include <filesystem>
#include <unordered_map>
#include <utility>

#include "FileSystem.h"
#include "PathParts.h"
#include "engine/OutputNamer.h"

namespace corvane {

std::string OutputPathFor(std::string_view inputPath, const std::string& outputFolder) {
  std::string output = OutputNamer().OutputPath(inputPath);
  if (outputFolder.empty()) return output;
  const std::string_view separators = OutputNamer::PlatformSeparators();
  const std::size_t folderLength = detail::FolderPartLength(output, separators);
  std::string joined = outputFolder;
  // A bare drive ("C:") is that drive's current folder: no separator after it.
  if (detail::FolderPartLength(joined, separators) != joined.size()) joined += separators.front();
  return joined + output.substr(folderLength);
}

namespace {

// A text that is equal for two paths naming the same place, whether or not a
// file is there yet: the folder as the system resolves it (links, "." and
// "..") and the final name as given. Paths are UTF-8 (on Windows too).
std::string PathKey(const std::string& path) {
  namespace fs = std::filesystem;
  try {
    std::error_code error;
    const fs::path absolute =
        fs::absolute(fs::path(std::u8string(path.begin(), path.end())), error);
    if (error) return detail::FoldedName(path);
    fs::path folder = fs::weakly_canonical(absolute.parent_path(), error);
    if (error) folder = absolute.parent_path();
    const std::u8string key = (folder / absolute.filename()).lexically_normal().u8string();
    return detail::FoldedName(std::string(key.begin(), key.end()));
  } catch (const fs::filesystem_error&) {  // no UTF-8: compared as given
    return detail::FoldedName(path);
  }
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  detail::FileInfo info;
  if (!detail::StatusOfTarget(path, info)) return std::nullopt;
  return info.identity;
}

}  // namespace

ConversionRun::ConversionRun(std::vector<std::string> inputs, const RunOptions& options) {
  entries_.reserve(inputs.size());
  inputs_.reserve(inputs.size());
  for (std::string& name : inputs) {
    Entry entry;
    entry.input = std::move(name);
    InputFile input{entry.input, {}, std::nullopt};
    if (options.standardStreams && entry.input == kStandardStreams) {
      entry.standardStreams = true;
      input.name = "standard input";
      detail::FileInfo info;
      if (detail::StatusOfDescriptor(0, info) && info.kind == detail::FileInfo::Kind::kRegular) {
        input.identity = info.identity;
      }
    } else {
      try {
        entry.output = OutputPathFor(entry.input, options.outputFolder);
        entry.outputKey = PathKey(entry.output);
      } catch (const ConversionError& error) {
        entry.refusal = error;
      }
      input.key = PathKey(entry.input);
      input.identity = IdentityOf(entry.input);
    }
    const std::size_t index = inputs_.size();
    if (!input.key.empty()) byKey_.emplace(input.key, index);
    if (input.identity) byIdentity_.emplace(*input.identity, index);
    inputs_.push_back(std::move(input));
    entries_.push_back(std::move(entry));
  }

  // Two different inputs with one output: the first one's output stands.
  std::unordered_map<std::string, std::size_t> firstWithOutput;
  for (std::size_t later = 0; later < entries_.size(); ++later) {
    Entry& entry = entries_[later];
    if (entry.standardStreams || entry.refusal) continue;
    const auto [found, isFirst] = firstWithOutput.emplace(entry.outputKey, later);
    if (isFirst) continue;
    const std::size_t earlier = found->second;
    const InputFile& mine = inputs_[later];
    const InputFile& theirs = inputs_[earlier];
    const bool sameFile =
        mine.key == theirs.key || (mine.identity && mine.identity == theirs.identity);
    if (!sameFile) {
      entry.refusal = ConversionError(ErrorNumber::kSameOutput,
                                      "Cannot convert " + Quoted(entry.input) + ": its output " +
                                          Quoted(entry.output) + " is already the output of " +
                                          Quoted(entries_[earlier].input));
    }
  }
}

std::vector<std::vector<std::size_t>> ConversionRun::OutputChains() const {
  std::vector<std::vector<std::size_t>> chains;
  std::unordered_map<std::string, std::size_t> chainOf;  // by output key
  std::optional<std::size_t> standardOutput;
  for (std::size_t index = 0; index < entries_.size(); ++index) {
    const Entry& entry = entries_[index];
    std::optional<std::size_t> chain;
    if (entry.standardStreams) {
      if (!standardOutput) standardOutput = chains.size();
      chain = standardOutput;
    } else if (!entry.outputKey.empty()) {
      chain = chainOf.emplace(entry.outputKey, chains.size()).first->second;
    }
    if (!chain || *chain == chains.size()) {
      chains.push_back({index});
    } else {
      chains[*chain].push_back(index);
    }
  }
  return chains;
}

const ConversionRun::InputFile* ConversionRun::InputAt(
    const std::string& key, const std::optional<FileIdentity>& identity) const {
  if (const auto found = byKey_.find(key); found != byKey_.end()) return &inputs_[found->second];
  if (identity) {
    if (const auto found = byIdentity_.find(*identity); found != byIdentity_.end()) {
      return &inputs_[found->second];
    }
  }
  return nullptr;
}

void ConversionRun::RefuseReplacingAnInput(std::size_t index,
                                           const std::optional<FileIdentity>& opened) const {
  const Entry& entry = entries_.at(index);
  detail::FileInfo output;
  std::optional<FileIdentity> outputIdentity;
  if (detail::StatusOfName(entry.output, output)) outputIdentity = output.identity;
  const std::string* replaced = nullptr;
  if (outputIdentity && outputIdentity == opened) {
    replaced = &entry.input;
  } else if (const InputFile* input = InputAt(entry.outputKey, outputIdentity)) {
    replaced = &input->name;
  }
  if (replaced != nullptr) {
    throw ConversionError(ErrorNumber::kOutputIsInput, "Cannot convert " + Quoted(entry.input) +
                                                           ": its output " + Quoted(entry.output) +
                                                           " would replace the input " +
                                                           Quoted(*replaced));
  }
}

}  // namespace corvane
