#include "filelist/FileList.h"

#include <algorithm>
#include <stdexcept>

namespace corvane {

namespace {

constexpr std::string_view kCsvEnding = ".csv";
static_assert(FileList::kMaxEntries <= UINT16_MAX, "list positions are stored as 16-bit indices");

unsigned char FoldAscii(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

}  // namespace

int CompareWithoutCase(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char ca = FoldAscii(a[i]);
    const unsigned char cb = FoldAscii(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

AddResult FileList::Add(const std::string& path, int* row) {
  if (IsFull()) return AddResult::kListFull;
  // upper_bound: after every entry that compares equal, so equal entries stay
  // in arrival order and a repeated path lands beside its twin.
  const auto place = std::upper_bound(order_.begin(), order_.end(), path,
                                      [this](const std::string& p, std::uint16_t listed) {
                                        return CompareWithoutCase(p, paths_[listed]) < 0;
                                      });
  const auto index = static_cast<std::uint16_t>(paths_.size());
  paths_.push_back(path);
  const auto at = static_cast<int>(place - order_.begin());
  try {
    order_.insert(place, index);
  } catch (...) {
    paths_.pop_back();  // out of memory: leave the list as it was
    throw;
  }
  if (row != nullptr) *row = at;
  return AddResult::kAdded;
}

int FileList::Count() const { return static_cast<int>(order_.size()); }

std::vector<std::string> FileList::Entries() const {
  std::vector<std::string> entries;
  entries.reserve(order_.size());
  for (const std::uint16_t listed : order_) entries.push_back(paths_[listed]);
  return entries;
}

void FileList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) {
    throw std::out_of_range("file list index " + std::to_string(index) + " outside 0.." +
                            std::to_string(Count() - 1));
  }
}

std::string FileList::At(int index) const {
  CheckIndex(index);
  return paths_[order_[static_cast<std::size_t>(index)]];
}

void FileList::Remove(int index) {
  CheckIndex(index);
  const auto place = order_.begin() + index;
  const std::uint16_t stored = *place;
  // The stored paths close up, so every index above the removed one moves down
  // by one and the indices stay below kMaxEntries.
  paths_.erase(paths_.begin() + stored);
  order_.erase(place);
  for (std::uint16_t& listed : order_) {
    if (listed > stored) --listed;
  }
}

void FileList::Clear() {
  paths_.clear();
  order_.clear();
}

bool IsCsvPath(std::string_view path) {
  return path.size() > kCsvEnding.size() && path.ends_with(kCsvEnding);
}

AddResult AddCsvToList(FileList& list, const std::string& path, int* row) {
  if (!IsCsvPath(path)) return AddResult::kRefused;
  return list.Add(path, row);
}

int DragOverEffect(bool offersFileList, int allowedEffects) {
  return offersFileList ? (allowedEffects & kDropEffectCopy) : kDropEffectNone;
}

DropOutcome ApplyDrop(FileList& list, bool offersFileList, const std::vector<std::string>& paths) {
  DropOutcome outcome;
  if (!offersFileList) return outcome;
  for (const std::string& path : paths) {
    int row = 0;
    switch (AddCsvToList(list, path, &row)) {
      case AddResult::kAdded:
        ++outcome.added;
        outcome.rows.push_back(row);
        break;
      case AddResult::kRefused:
        ++outcome.refused;
        break;
      case AddResult::kListFull:
        ++outcome.listFull;
        break;
    }
  }
  return outcome;
}

}  // namespace corvane
