// The sorted list of input files, and the rules for what may enter it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/BatchConverter.h"

namespace corvane {

enum class AddResult { kAdded, kRefused, kListFull };

class FileList : public PathList {
 public:
  // The most entries the list holds.
  static constexpr int kMaxEntries = 32767;

  // Adds without any test (the Open command). kListFull when full.
  AddResult Add(const std::string& path);
  int Count() const override;
  std::string At(int index) const override;

 private:
  std::vector<std::string> entries_;
};

// True when the path is longer than four characters and ends in ".csv"
// exactly (case significant).
bool IsCsvPath(std::string_view path);

// Adds the path only when IsCsvPath; kRefused otherwise (silently).
AddResult AddCsvToList(FileList& list, const std::string& path);

// Drop effects.
inline constexpr int kDropEffectNone = 0;
inline constexpr int kDropEffectCopy = 1;

// The effect offered while a drag is over the list.
int DragOverEffect(bool offersFileList, int allowedEffects);

// What a drop did.
struct DropOutcome {
  int added = 0;
  int refused = 0;     // not ".csv" names
  int listFull = 0;    // turned away because the list was full
};

// Applies a drop: with the file-list format, every path in order goes through
// AddCsvToList; without it nothing happens.
DropOutcome ApplyDrop(FileList& list, bool offersFileList, const std::vector<std::string>& paths);

}  // namespace corvane
