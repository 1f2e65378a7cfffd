// A run: the inputs to convert, in order, and where each output goes,
// planned before any byte is written.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/Errors.h"
#include "engine/FileIdentity.h"

namespace corvane {

// The input name that stands for standard input converted to standard output,
// in runs that allow it.
inline constexpr std::string_view kStandardStreams = "-";

struct RunOptions {
  std::string outputFolder;      // empty: each output beside its input
  bool standardStreams = false;  // "-" converts standard input to standard output
};

// Where the output of inputPath goes: the derived output path, or with an
// output folder the output's file name inside that folder. Throws
// ConversionError(kInvalidPath) for the empty path.
std::string OutputPathFor(std::string_view inputPath, const std::string& outputFolder = {});

class ConversionRun {
 public:
  // Derives every output and decides what needs the whole run: a later input
  // whose output is already that of an earlier, different input is refused
  // (kSameOutput), and so is a path without output name (kInvalidPath). The
  // same file listed twice is converted twice. Reads names, writes nothing.
  // One output is one name in one folder, however the paths are spelled: the
  // folder known by its identity, the name compared as that folder's file
  // system compares names (without regard to case where it does so); standard
  // output is the file it leads to.
  explicit ConversionRun(std::vector<std::string> inputs, const RunOptions& options = {});

  std::size_t Size() const { return entries_.size(); }
  const std::string& Input(std::size_t index) const { return entries_.at(index).input; }
  // "" for standard output and for a path without output name.
  const std::string& Output(std::size_t index) const { return entries_.at(index).output; }
  bool IsStandardStreams(std::size_t index) const { return entries_.at(index).standardStreams; }

  // The entries in chains that write one output each: every chain in list
  // order, the chains in the order of their first entries. Standard output is
  // one output; an entry without output is a chain of its own; output names
  // that lead to one older file (hard links) are in one chain. Entries of one
  // chain must be converted one after the other, in order; different chains
  // may be converted at the same time.
  std::vector<std::vector<std::size_t>> OutputChains() const;

  // Why entry index is refused, as decided when the run was planned: a path
  // without output name (kInvalidPath), or an output that an earlier input
  // of the run already has (kSameOutput).
  const std::optional<ConversionError>& Refusal(std::size_t index) const {
    return entries_.at(index).refusal;
  }

  // Refuses (kOutputIsInput) to write entry index's output where it would
  // replace an input of the run, the opened input itself included: by the
  // file the output name leads to where it exists, by its path where not.
  // opened: the file the entry's input was opened as, where it is a regular
  // file. Looks at the files as they are now.
  void RefuseReplacingAnInput(std::size_t index, const std::optional<FileIdentity>& opened) const;

  // Refuses (kSameOutput) to write entry index's output where its name still
  // leads to the same file as the output name of an earlier entry of its
  // chain with another input: two names of one older file, where the earlier
  // entry wrote that file in place (its folder takes no new file) or did not
  // write at all. Where the earlier output was replaced by a new file, each
  // name has a file of its own. Entries of one chain are converted in order,
  // so the earlier ones are done. Looks at the files as they are now.
  void RefuseReplacingAnEarlierOutput(std::size_t index) const;

 private:
  struct Entry {
    std::string input;
    std::string output;
    std::string outputKey;  // the output's place: its folder and name
    // The file the output leads to when planned: an older output that is a
    // regular file, or the regular file on standard output.
    std::optional<FileIdentity> outputFile;
    bool standardStreams = false;
    std::optional<ConversionError> refusal;
    std::size_t chain = 0;  // the first entry of its chain
    // Earlier entries whose output names led to the same older file, each at
    // a place of its own, with inputs other than this one's.
    std::vector<std::size_t> otherNames;
  };
  struct InputFile {
    std::string name;
    std::string key;                       // the path's key, compared where no file exists
    std::optional<FileIdentity> identity;  // what it leads to, where it exists
  };

  // Decides the chains and the later inputs refused for an output that an
  // earlier one already has.
  void Plan();
  // Whether two entries convert the same input.
  bool SameInput(std::size_t one, std::size_t other) const;
  ConversionError SameOutput(std::size_t later, std::size_t earlier) const;
  // The names messages give an entry's input and output.
  const std::string& InputName(std::size_t index) const { return inputs_.at(index).name; }
  std::string OutputName(std::size_t index) const;

  // The input of the run that a file of this key and identity would replace,
  // or nullptr.
  const InputFile* InputAt(const std::string& key,
                           const std::optional<FileIdentity>& identity) const;

  std::vector<Entry> entries_;
  std::vector<InputFile> inputs_;                       // one for each entry
  std::unordered_map<std::string, std::size_t> byKey_;  // first input of each key
  std::map<FileIdentity, std::size_t> byIdentity_;      // first input of each file
};

}  // namespace corvane
