#include "UnfinishedOutputs.h"

#include <atomic>
#include <cstring>
#include <new>

#include "FileSystem.h"
#include "engine/SignalCleanup.h"

namespace corvane {

namespace detail {

namespace {

constexpr int kPlaces = 64;  // in each chunk
constexpr std::size_t kLongestPath = 4096;

enum State : int { kFree, kFilling, kNoted };

struct Place {
  std::atomic<int> state{kFree};
  char path[kLongestPath];
};

// As many chunks as conversions ever ran at once, linked once made.
struct Chunk {
  Place places[kPlaces];
  std::atomic<Chunk*> next{nullptr};
};

Chunk g_first;

static_assert(std::atomic<int>::is_always_lock_free, "read from signal handlers");
static_assert(std::atomic<Chunk*>::is_always_lock_free, "read from signal handlers");

}  // namespace

int NoteUnfinishedOutput(const std::string& path) {
  if (path.size() >= kLongestPath) return -1;
  int first = 0;  // the place number of the chunk's first place
  for (Chunk* chunk = &g_first;; first += kPlaces) {
    for (int i = 0; i < kPlaces; ++i) {
      Place& place = chunk->places[i];
      int expected = kFree;
      if (place.state.compare_exchange_strong(expected, kFilling)) {
        std::memcpy(place.path, path.c_str(), path.size() + 1);
        place.state.store(kNoted);
        return first + i;
      }
    }
    Chunk* next = chunk->next.load();
    if (next == nullptr) {
      Chunk* made = new Chunk;
      if (chunk->next.compare_exchange_strong(next, made)) {
        next = made;
      } else {
        delete made;  // another thread linked one first: next is that one
      }
    }
    chunk = next;
  }
}

void ForgetUnfinishedOutput(int place) noexcept {
  if (place < 0) return;
  Chunk* chunk = &g_first;
  for (; place >= kPlaces && chunk != nullptr; place -= kPlaces) chunk = chunk->next.load();
  if (chunk != nullptr) chunk->places[place].state.store(kFree);
}

}  // namespace detail

void RemoveUnfinishedOutputs() noexcept {
  for (detail::Chunk* chunk = &detail::g_first; chunk != nullptr; chunk = chunk->next.load()) {
    for (detail::Place& place : chunk->places) {
      if (place.state.load() == detail::kNoted) detail::RemoveNow(place.path);
    }
  }
}

}  // namespace corvane
