#include "engine/ConversionRun.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>
#include <utility>

#include "FileSystem.h"
#include "InputFile.h"
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
// "..") and the final name as given. Paths are UTF-8 (on Windows too). For a
// folder that cannot be opened.
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

// Keys that are equal for two paths naming one place, whether or not a file
// is there yet: the identity of the folder (whichever path leads there: a
// link, a bind mount, another drive, "\\?\") and the final name as that
// folder compares names; the path's text where the folder cannot be opened.
// Each folder is looked at once.
class PlaceKeys {
 public:
  std::string Of(const std::string& path) {
    const std::size_t folderLength =
        detail::FolderPartLength(path, OutputNamer::PlatformSeparators());
    const auto [found, isNew] = folders_.try_emplace(path.substr(0, folderLength));
    if (isNew) {
      detail::FolderInfo folder;
      if (detail::StatusOfFolder(found->first, folder)) found->second = folder;
    }
    if (!found->second) return PathKey(path);
    // A path holds no NUL: no folder's key equals a path's.
    const detail::FolderInfo& folder = *found->second;
    return std::string(1, '\0') + std::to_string(folder.identity.device) + ':' +
           std::to_string(folder.identity.file) + '/' +
           detail::NameInFolder(path.substr(folderLength), folder);
  }

 private:
  std::unordered_map<std::string, std::optional<detail::FolderInfo>> folders_;
};

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  detail::FileInfo info;
  if (!detail::StatusOfTarget(path, info)) return std::nullopt;
  return info.identity;
}

// The regular file a name itself leads to (a link is none), or nothing.
std::optional<FileIdentity> RegularFileNamed(const std::string& path) {
  detail::FileInfo info;
  if (!detail::StatusOfName(path, info) || info.kind != detail::FileInfo::Kind::kRegular) {
    return std::nullopt;
  }
  return info.identity;
}
// The regular file open on a descriptor (no pipe, no terminal), or nothing.
std::optional<FileIdentity> RegularFileOn(int fd) {
  detail::FileInfo info;
  if (!detail::StatusOfDescriptor(fd, info) || info.kind != detail::FileInfo::Kind::kRegular) {
    return std::nullopt;
  }
  return info.identity;
}

constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;

}  // namespace

ConversionRun::ConversionRun(std::vector<std::string> inputs, const RunOptions& options) {
  entries_.reserve(inputs.size());
  inputs_.reserve(inputs.size());
  PlaceKeys places;
  for (std::string& name : inputs) {
    Entry entry;
    entry.input = std::move(name);
    InputFile input{entry.input, {}, std::nullopt};
    if (options.standardStreams && entry.input == kStandardStreams) {
      entry.standardStreams = true;
      input.name = detail::kStandardInputName;
      input.identity = RegularFileOn(kStandardInput);
      entry.outputFile = RegularFileOn(kStandardOutput);
    } else {
      try {
        entry.output = OutputPathFor(entry.input, options.outputFolder);
        entry.outputKey = places.Of(entry.output);
        entry.outputFile = RegularFileNamed(entry.output);
      } catch (const ConversionError& error) {
        entry.refusal = error;
      }
      input.key = places.Of(entry.input);
      input.identity = IdentityOf(entry.input);
    }
    const std::size_t index = inputs_.size();
    if (!input.key.empty()) byKey_.emplace(input.key, index);
    if (input.identity) byIdentity_.emplace(*input.identity, index);
    inputs_.push_back(std::move(input));
    entries_.push_back(std::move(entry));
  }
  Plan();
}

void ConversionRun::Plan() {
  // Entries joined into one chain, each chain known by its first entry (the
  // chains of several earlier entries one later entry shares are joined).
  std::vector<std::size_t> first(entries_.size());
  const auto chainOf = [&](std::size_t index) {
    while (first[index] != index) index = first[index] = first[first[index]];
    return index;
  };
  const auto join = [&](std::size_t later, std::size_t earlier) {
    const std::size_t a = chainOf(later);
    const std::size_t b = chainOf(earlier);
    first[std::max(a, b)] = std::min(a, b);
  };

  std::unordered_map<std::string, std::size_t> byPlace;  // the first file entry of each place
  // For each older output, the first file entry of each place that leads there.
  std::map<FileIdentity, std::vector<std::size_t>> byFile;
  std::optional<std::size_t> standardOutput;  // the first entry writing it
  for (std::size_t later = 0; later < entries_.size(); ++later) {
    first[later] = later;
    Entry& entry = entries_[later];
    if (entry.refusal) continue;  // no output: a chain of its own
    // Earlier entries with this very output: the first one's output stands,
    // and a later, different input is refused.
    std::vector<std::size_t> sameOutput;
    std::vector<std::size_t>* namesOfFile = entry.outputFile ? &byFile[*entry.outputFile] : nullptr;
    if (entry.standardStreams) {
      if (standardOutput) sameOutput.push_back(*standardOutput);
      // A file the run writes that standard output leads to: the rename
      // leaves standard output writing to a file no name leads to any more.
      if (namesOfFile && !namesOfFile->empty()) sameOutput.push_back(namesOfFile->front());
      if (!standardOutput) standardOutput = later;
    } else {
      const auto [place, isNew] = byPlace.emplace(entry.outputKey, later);
      if (!isNew) sameOutput.push_back(place->second);
      if (standardOutput && entries_[*standardOutput].outputFile &&
          entries_[*standardOutput].outputFile == entry.outputFile) {
        sameOutput.push_back(*standardOutput);
      }
      if (namesOfFile) {
        // Other names of the same older file: one chain, decided when
        // converted (a file written anew gives each name a file of its own).
        for (const std::size_t other : *namesOfFile) {
          join(later, other);
          if (entries_[other].outputKey != entry.outputKey && !SameInput(later, other)) {
            entry.otherNames.push_back(other);
          }
        }
        if (isNew) namesOfFile->push_back(later);
      }
    }
    std::sort(sameOutput.begin(), sameOutput.end());
    for (const std::size_t earlier : sameOutput) {
      join(later, earlier);
      if (!entry.refusal && !SameInput(later, earlier)) entry.refusal = SameOutput(later, earlier);
    }
  }
  for (std::size_t index = 0; index < entries_.size(); ++index) {
    entries_[index].chain = chainOf(index);
  }
}

bool ConversionRun::SameInput(std::size_t one, std::size_t other) const {
  if (entries_[one].standardStreams || entries_[other].standardStreams) {
    return entries_[one].standardStreams && entries_[other].standardStreams;
  }
  const InputFile& mine = inputs_[one];
  const InputFile& theirs = inputs_[other];
  return mine.key == theirs.key || (mine.identity && mine.identity == theirs.identity);
}

ConversionError ConversionRun::SameOutput(std::size_t later, std::size_t earlier) const {
  return ConversionError(ErrorNumber::kSameOutput, "Cannot convert " + Quoted(InputName(later)) +
                                                       ": its output " + Quoted(OutputName(later)) +
                                                       " is already the output of " +
                                                       Quoted(InputName(earlier)));
}

std::string ConversionRun::OutputName(std::size_t index) const {
  const Entry& entry = entries_.at(index);
  return entry.standardStreams ? detail::kStandardOutputName : entry.output;
}

std::vector<std::vector<std::size_t>> ConversionRun::OutputChains() const {
  std::vector<std::vector<std::size_t>> chains;
  std::vector<std::size_t> placed(entries_.size());  // each chain's place, by its first entry
  for (std::size_t index = 0; index < entries_.size(); ++index) {
    const std::size_t first = entries_[index].chain;
    if (first == index) {
      placed[index] = chains.size();
      chains.push_back({index});
    } else {
      chains[placed[first]].push_back(index);
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
  if (entry.standardStreams) {
    outputIdentity = RegularFileOn(kStandardOutput);
  } else if (detail::StatusOfName(entry.output, output)) {
    outputIdentity = output.identity;
  }
  const std::string* replaced = nullptr;
  if (outputIdentity && outputIdentity == opened) {
    replaced = &InputName(index);
  } else if (const InputFile* input = InputAt(entry.outputKey, outputIdentity)) {
    replaced = &input->name;
  }
  if (replaced != nullptr) {
    throw ConversionError(ErrorNumber::kOutputIsInput,
                          "Cannot convert " + Quoted(InputName(index)) + ": its output " +
                              Quoted(OutputName(index)) + " would replace the input " +
                              Quoted(*replaced));
  }
}

void ConversionRun::RefuseReplacingAnEarlierOutput(std::size_t index) const {
  const Entry& entry = entries_.at(index);
  if (entry.otherNames.empty()) return;
  const std::optional<FileIdentity> mine = RegularFileNamed(entry.output);
  if (!mine) return;
  for (const std::size_t earlier : entry.otherNames) {
    if (RegularFileNamed(entries_[earlier].output) == mine) throw SameOutput(index, earlier);
  }
}

}  // namespace corvane
