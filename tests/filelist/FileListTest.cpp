#include "filelist/FileList.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <vector>

namespace corvane {
namespace {

std::vector<std::string> Entries(const FileList& list) {
  std::vector<std::string> entries = list.Entries();
  EXPECT_EQ(entries.size(), static_cast<std::size_t>(list.Count()));
  for (int i = 0; i < list.Count() && i < static_cast<int>(entries.size()); ++i) {
    EXPECT_EQ(list.At(i), entries[static_cast<std::size_t>(i)]);
  }
  return entries;
}

// A list already holding kMaxEntries entries. Names ascend so every add appends.
FileList FullList() {
  FileList list;
  for (int i = 0; i < FileList::kMaxEntries; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "C:\\f%05d.csv", i);
    EXPECT_EQ(list.Add(name), AddResult::kAdded);
  }
  return list;
}

struct AcceptanceCase {
  const char* path;
  bool accepted;
};

TEST(CsvAcceptance, LongerThanFourAndEndsInLowerCaseCsv) {
  const AcceptanceCase cases[] = {
      {"C:\\a\\b.csv", true},
      {"C:\\a\\b.CSV", false},
      {"C:\\a\\b.Csv", false},
      {"C:\\a\\b.csV", false},
      {"C:\\a\\b.csv.bak", false},
      {".csv", false},
      {"x.csv", true},
      {"..csv", true},
      {"csv", false},
      {"", false},
      {"C:\\a\\bcsv", false},
      {"C:\\a\\b.csv ", false},
      {"C:\\a\\b,csv", false},
      {"C:\\old.csv", true},  // a folder with that name is accepted like a file
      {"/home/u/data.csv", true},
      {"C:\\d\xC3\xA9j\xC3\xA0.csv", true},
  };
  for (const AcceptanceCase& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(IsCsvPath(c.path), c.accepted);
    FileList list;
    EXPECT_EQ(AddCsvToList(list, c.path), c.accepted ? AddResult::kAdded : AddResult::kRefused);
    EXPECT_EQ(list.Count(), c.accepted ? 1 : 0);
  }
}

struct SortCase {
  const char* name;
  std::vector<std::string> arrivals;
  std::vector<std::string> listed;
};

// Add takes any path, whatever its extension, the empty one too.
TEST(FileListOrder, SortedWithoutRegardToCaseStoredAsDelivered) {
  const SortCase cases[] = {
      {"later upper-case name goes first", {"C:\\b.csv", "C:\\A.csv"}, {"C:\\A.csv", "C:\\b.csv"}},
      {"case does not decide",
       {"C:\\Zeta.csv", "C:\\alpha.csv", "C:\\BETA.csv"},
       {"C:\\alpha.csv", "C:\\BETA.csv", "C:\\Zeta.csv"}},
      {"the same path twice sits side by side",
       {"C:\\m.csv", "C:\\a.csv", "C:\\z.csv", "C:\\m.csv"},
       {"C:\\a.csv", "C:\\m.csv", "C:\\m.csv", "C:\\z.csv"}},
      {"equal without case keeps arrival order",
       {"C:\\X.csv", "C:\\x.csv", "C:\\a.csv", "C:\\X.CSV", "C:\\x.csv"},
       {"C:\\a.csv", "C:\\X.csv", "C:\\x.csv", "C:\\X.CSV", "C:\\x.csv"}},
      {"a prefix sorts before its extensions, whatever its case",
       {"C:\\ab.csv", "C:\\A", "", "C:\\aB"},
       {"", "C:\\A", "C:\\aB", "C:\\ab.csv"}},
      // '_' (0x5F) lies between 'Z' and 'a' in byte order: folding places it
      // on the same side of a letter whatever that letter's case.
      {"punctuation and digits by byte value",
       {"C:\\a_b", "C:\\a-b", "C:\\a1", "C:\\a.b", "C:\\aB"},
       {"C:\\a-b", "C:\\a.b", "C:\\a1", "C:\\a_b", "C:\\aB"}},
      {"bytes above 0x7F sort after ASCII letters, unfolded",
       {"C:\\\xC3\xA9.csv", "C:\\z.csv", "C:\\\xC3\x89.csv", "C:\\E.csv"},
       {"C:\\E.csv", "C:\\z.csv", "C:\\\xC3\x89.csv", "C:\\\xC3\xA9.csv"}},
  };
  for (const SortCase& c : cases) {
    SCOPED_TRACE(c.name);
    FileList list;
    for (const std::string& p : c.arrivals) ASSERT_EQ(list.Add(p), AddResult::kAdded);
    EXPECT_EQ(Entries(list), c.listed);
  }
}

TEST(FileListLimit, FullListRefusesEveryRoute) {
  FileList list = FullList();
  ASSERT_EQ(list.Count(), FileList::kMaxEntries);
  const std::string first = list.At(0);
  const std::string last = list.At(FileList::kMaxEntries - 1);

  EXPECT_EQ(list.Add("C:\\A.csv"), AddResult::kListFull);
  EXPECT_EQ(AddCsvToList(list, "C:\\zz.csv"), AddResult::kListFull);
  // A name that fails the ".csv" test is refused as such, full or not.
  EXPECT_EQ(AddCsvToList(list, "C:\\zz.txt"), AddResult::kRefused);

  const DropOutcome drop = ApplyDrop(list, true, {"C:\\1.csv", "C:\\2.txt", "C:\\3.csv"});
  EXPECT_EQ(drop.added, 0);
  EXPECT_EQ(drop.refused, 1);
  EXPECT_EQ(drop.listFull, 2);

  EXPECT_EQ(list.Count(), FileList::kMaxEntries);
  EXPECT_EQ(list.At(0), first);
  EXPECT_EQ(list.At(FileList::kMaxEntries - 1), last);
}

TEST(FileListRemove, TakesOutOneEntryOrAllAndTheRestStaysInOrder) {
  FileList list;
  for (const char* p : {"C:\\b.csv", "C:\\a.csv", "C:\\c.csv", "C:\\B.csv"}) list.Add(p);
  list.Remove(0);  // an entry stored after the ones that stay
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"C:\\b.csv", "C:\\B.csv", "C:\\c.csv"}));
  list.Remove(1);  // one of two equal entries: the other keeps its place
  list.Add("C:\\a.csv");
  list.Add("C:\\d.csv");
  EXPECT_EQ(Entries(list),
            (std::vector<std::string>{"C:\\a.csv", "C:\\b.csv", "C:\\c.csv", "C:\\d.csv"}));
  for (const int outside : {-1, 4}) {
    EXPECT_THROW(list.Remove(outside), std::out_of_range);
    EXPECT_THROW(list.At(outside), std::out_of_range);
  }
  EXPECT_EQ(list.Count(), 4);

  // A full list takes new entries again once some are gone: a drop fills the
  // last place, then finds the list full.
  list = FullList();
  list.Remove(FileList::kMaxEntries - 1);
  const DropOutcome drop = ApplyDrop(list, true, {"C:\\a.csv", "C:\\b.csv"});
  EXPECT_EQ(drop.added, 1);
  EXPECT_EQ(drop.listFull, 1);
  EXPECT_EQ(list.Count(), FileList::kMaxEntries);
  EXPECT_EQ(list.At(0), "C:\\a.csv");
  list.Clear();
  EXPECT_EQ(list.Add("C:\\b.csv"), AddResult::kAdded);
  EXPECT_EQ(Entries(list), std::vector<std::string>{"C:\\b.csv"});
}

struct DragCase {
  const char* name;
  bool offersFileList;
  int allowedEffects;
  int effect;
};

TEST(DragOver, FormatAndCopyBitDecide) {
  const DragCase cases[] = {
      {"files, copy allowed", true, 1, kDropEffectCopy},
      {"files, copy move and link allowed", true, 1 | 2 | 4, kDropEffectCopy},
      {"files, move only", true, 2, kDropEffectNone},
      {"files, move and link", true, 2 | 4, kDropEffectNone},
      {"files, nothing allowed", true, 0, kDropEffectNone},
      {"files, scroll bit with copy", true, static_cast<int>(0x80000001u), kDropEffectCopy},
      {"text, copy allowed", false, 1, kDropEffectNone},
      {"text, everything allowed", false, 7, kDropEffectNone},
  };
  for (const DragCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DragOverEffect(c.offersFileList, c.allowedEffects), c.effect);
  }
}

// Without the file-list format a drop changes nothing. With it, the paths go
// through the ".csv" test in order: the same file twice is listed twice, a
// folder is not expanded.
TEST(Drop, FilesGoThroughTheCsvTestInOrder) {
  FileList list;
  list.Add("C:\\b.csv");
  DropOutcome drop = ApplyDrop(list, false, {"C:\\1.csv", "C:\\2.csv"});
  EXPECT_EQ(drop.added + drop.refused + drop.listFull, 0);
  drop =
      ApplyDrop(list, true, {"C:\\old.csv", "C:\\2.txt", "C:\\A.csv", "C:\\folder", "C:\\b.csv"});
  EXPECT_EQ(drop.added, 3);
  EXPECT_EQ(drop.refused, 2);
  EXPECT_EQ(drop.listFull, 0);
  // Each added entry's row when it went in, for a view to replay.
  EXPECT_EQ(drop.rows, (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(Entries(list),
            (std::vector<std::string>{"C:\\A.csv", "C:\\b.csv", "C:\\b.csv", "C:\\old.csv"}));
}

}  // namespace
}  // namespace corvane
