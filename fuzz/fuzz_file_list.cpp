// The file list against a plain model: acceptance, sorted order after any
// sequence of adds and drops, counts, and the drag-over rule.
//
// The input drives a sequence of operations (FuzzedDataProvider): Add,
// AddCsvToList, a drop with or without the file-list format, drag-over
// queries, removing the entry at a list position, and clearing. The model keeps every accepted path
// with its arrival number; the expected list is the model stably sorted by an independent
// case-blind comparison (ASCII letters folded, other bytes by unsigned value, a prefix first).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "filelist/FileList.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_file_list: %s\n", what);
  std::abort();
}

bool RuleAccepts(const std::string& path) {
  return path.size() > 4 && path.compare(path.size() - 4, 4, ".csv") == 0;
}

unsigned char Folded(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u >= 'A' && u <= 'Z') u = static_cast<unsigned char>(u + ('a' - 'A'));
  return u;
}

bool LessWithoutCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Folded(x) < Folded(y); });
}

std::string TakePath(FuzzedDataProvider& in) {
  std::string path = in.ConsumeRandomLengthString(64);
  // Often make it end in a CSV-like ending so that both answers are common.
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      path += ".csv";
      break;
    case 1:
      path += ".CSV";
      break;
    default:
      break;
  }
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider in(bytes, size);
  corvane::FileList list;
  std::vector<std::string> model;  // in arrival order

  const auto accept = [&](const std::string& path) {
    if (RuleAccepts(path) != corvane::IsCsvPath(path)) Fail("IsCsvPath disagrees with the rule");
    return RuleAccepts(path);
  };

  int steps = 0;
  while (in.remaining_bytes() > 0 && steps++ < 256) {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
      case 0: {  // the Open command: no test
        const std::string path = TakePath(in);
        if (list.Add(path) != corvane::AddResult::kAdded) Fail("Add refused a path");
        model.push_back(path);
        break;
      }
      case 1: {
        const std::string path = TakePath(in);
        const bool accepted = accept(path);
        const corvane::AddResult result = corvane::AddCsvToList(list, path);
        if (result != (accepted ? corvane::AddResult::kAdded : corvane::AddResult::kRefused)) {
          Fail("AddCsvToList result differs from the rule");
        }
        if (accepted) model.push_back(path);
        break;
      }
      case 2: {
        const bool offers = in.ConsumeBool();
        std::vector<std::string> paths(in.ConsumeIntegralInRange<std::size_t>(0, 8));
        for (std::string& p : paths) p = TakePath(in);
        const int before = list.Count();
        const corvane::DropOutcome outcome = corvane::ApplyDrop(list, offers, paths);
        int added = 0;
        int refused = 0;
        for (const std::string& p : paths) {
          const bool accepted = accept(p);
          if (offers && accepted) model.push_back(p);
          (accepted ? added : refused) += offers ? 1 : 0;
        }
        if (outcome.added != added || outcome.refused != refused || outcome.listFull != 0) {
          Fail("ApplyDrop counts differ");
        }
        if (list.Count() != before + added) Fail("ApplyDrop changed the count wrongly");
        break;
      }
      case 3: {
        const bool offers = in.ConsumeBool();
        const int allowed = in.ConsumeIntegral<int>();
        const int expected = offers ? (allowed & 1) : 0;
        if (corvane::DragOverEffect(offers, allowed) != expected) Fail("DragOverEffect differs");
        break;
      }
      case 4: {  // remove the entry at a list position: the model's entry sorted there
        if (model.empty()) {
          try {
            list.Remove(0);
            Fail("Remove on an empty list did not throw");
          } catch (const std::out_of_range&) {
          }
          break;
        }
        const int position = in.ConsumeIntegralInRange<int>(0, list.Count() - 1);
        std::vector<std::size_t> sorted(model.size());
        for (std::size_t k = 0; k < sorted.size(); ++k) sorted[k] = k;
        std::stable_sort(sorted.begin(), sorted.end(), [&](std::size_t a, std::size_t b) {
          return LessWithoutCase(model[a], model[b]);
        });
        model.erase(model.begin() +
                    static_cast<std::ptrdiff_t>(sorted[static_cast<std::size_t>(position)]));
        list.Remove(position);
        break;
      }
      default:
        list.Clear();
        model.clear();
        break;
    }
    if (list.Count() != static_cast<int>(model.size())) Fail("Count differs from the model");
  }

  std::vector<std::string> expected = model;
  std::stable_sort(expected.begin(), expected.end(), LessWithoutCase);
  for (int i = 0; i < list.Count(); ++i) {
    const std::string entry = list.At(i);
    if (entry != expected[static_cast<std::size_t>(i)]) Fail("entry differs from the sorted model");
    if (i > 0 && LessWithoutCase(entry, list.At(i - 1))) Fail("list not in non-decreasing order");
  }
  for (const int outside : {-1, list.Count()}) {
    try {
      (void)list.At(outside);
      Fail("At outside the list did not throw");
    } catch (const std::out_of_range&) {
    }
  }
  return 0;
}
