#include "UnfinishedOutputs.h"

#include <atomic>
#include <cstring>

#include "FileSystem.h"
#include "engine/SignalCleanup.h"

namespace corvane {

namespace detail {

namespace {

constexpr int kPlaces = 64;
constexpr std::size_t kLongestPath = 4096;

enum State : int { kFree, kFilling, kNoted };

struct Place {
  std::atomic<int> state{kFree};
  char path[kLongestPath];
};

Place g_places[kPlaces];

static_assert(std::atomic<int>::is_always_lock_free, "read from signal handlers");

}  // namespace

int NoteUnfinishedOutput(const std::string& path) noexcept {
  if (path.size() >= kLongestPath) return -1;
  for (int i = 0; i < kPlaces; ++i) {
    int expected = kFree;
    if (g_places[i].state.compare_exchange_strong(expected, kFilling)) {
      std::memcpy(g_places[i].path, path.c_str(), path.size() + 1);
      g_places[i].state.store(kNoted);
      return i;
    }
  }
  return -1;
}

void ForgetUnfinishedOutput(int place) noexcept {
  if (place >= 0 && place < kPlaces) g_places[place].state.store(kFree);
}

}  // namespace detail

void RemoveUnfinishedOutputs() noexcept {
  for (detail::Place& place : detail::g_places) {
    if (place.state.load() == detail::kNoted) detail::RemoveNow(place.path);
  }
}

}  // namespace corvane
