// The sorted list of input files, and the rules for what may enter it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

enum class AddResult { kAdded, kRefused, kListFull };

// Orders two paths without regard to case: ASCII letters are folded to lower
// case, every other byte compares by its unsigned value. Returns a negative
// number, zero or a positive number like strcmp.
int CompareWithoutCase(std::string_view a, std::string_view b);

// The input paths, kept in ascending order without regard to case. Entries are
// stored exactly as delivered; an entry that compares equal to entries already
// listed goes after them, so equal entries keep the order in which they came.
// There is no duplicate check and no existence check.
class FileList {
 public:
  // The most entries the list holds (the count is a signed 16-bit number).
  static constexpr int kMaxEntries = 32767;

  // Adds without any test (the Open command), and tells the row it took when
  // row is given. kListFull when the list already holds kMaxEntries entries;
  // the list is then unchanged.
  AddResult Add(const std::string& path, int* row = nullptr);
  int Count() const;
  // The entry at a zero-based index; throws std::out_of_range outside 0..Count()-1.
  std::string At(int index) const;
  // Every entry in list order: what a batch converts.
  std::vector<std::string> Entries() const;
  bool IsFull() const { return Count() >= kMaxEntries; }
  // Removes the entry at a zero-based index; the others keep their order.
  // Throws std::out_of_range outside 0..Count()-1.
  void Remove(int index);
  void Clear();

 private:
  void CheckIndex(int index) const;

  // Paths in arrival order (closed up on removal); order_ holds their
  // indices in list order. Inserting a 2-byte index keeps adds cheap even when
  // every new path sorts to the front of a long list.
  std::vector<std::string> paths_;
  std::vector<std::uint16_t> order_;
};

// True when the path is longer than four characters and ends in ".csv"
// exactly (case significant).
bool IsCsvPath(std::string_view path);

// Adds the path only when IsCsvPath; kRefused otherwise (silently). A ".csv"
// path meeting a full list gives kListFull.
AddResult AddCsvToList(FileList& list, const std::string& path, int* row = nullptr);

// Drop effects.
inline constexpr int kDropEffectNone = 0;
inline constexpr int kDropEffectCopy = 1;

// The effect offered while a drag is over the list: with the file-list format,
// the allowed effects masked to copy; without it, none. Names are not looked at.
int DragOverEffect(bool offersFileList, int allowedEffects);

// What a drop did.
struct DropOutcome {
  int added = 0;
  int refused = 0;   // not ".csv" names
  int listFull = 0;  // ".csv" names turned away because the list was full
  // The row each added entry took, in the order added (a later entry may
  // push an earlier one down): a view replays them to show the drop.
  std::vector<int> rows;
};

// Applies a drop: with the file-list format, every path in order goes through
// AddCsvToList (folders are not expanded); without it nothing happens.
DropOutcome ApplyDrop(FileList& list, bool offersFileList, const std::vector<std::string>& paths);

}  // namespace corvane
