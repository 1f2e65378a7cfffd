// The jobs of a run: which file each converts next, what a job that runs short
// hands back, and the events of the files put in list order.
#include "engine/ConvertRun.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/ConversionEvents.h"
#include "engine/FileConverter.h"

namespace corvane {

namespace {

// The events of the files in list order: those of the file whose turn it is
// (every earlier file has ended) go out as they come, those of a later file
// are held until its turn. Holding needs no memory: a flag for each event and
// the failure itself, in room made before the first file.
class OrderedEvents {
 public:
  // The events of a file before it ends, in the order they come.
  enum Event : std::size_t { kStarted, kOpened, kInPlace, kEvents };

  OrderedEvents(const ConversionRun& run, RunEvents& events)
      : run_(run), events_(events), held_(run.Size()), noMemory_(OutOfMemory("a file")) {}

  // Each event once for a file, also for one converted afresh after a job
  // handed it back.
  void Say(std::size_t file, Event event) {
    const std::lock_guard lock(mutex_);
    if (std::exchange(held_[file].said[event], true) || file != next_) return;
    (events_.*kTell[event])(file);
  }

  void Progressed(std::size_t file, std::uint64_t bytesRead, std::uint64_t inputSize) {
    const std::lock_guard lock(mutex_);
    if (file == next_) events_.FileProgressed(file, bytesRead, inputSize);
  }

  // The file has ended, converted or not; a failure is told in the file's
  // turn, described as FileFailed needs it.
  void Ended(std::size_t file, const std::exception_ptr& failure) noexcept {
    const std::lock_guard lock(mutex_);
    held_[file].ended = true;
    if (failure) held_[file].failure = Described(file, failure);
    while (next_ < held_.size() && held_[next_].ended) {
      if (held_[next_].failure) {
        events_.FileFailed(next_, *held_[next_].failure);
      } else {
        events_.FileFinished(next_);
      }
      if (++next_ == held_.size()) break;
      for (std::size_t event = kStarted; event < kEvents; ++event) {
        if (held_[next_].said[event]) (events_.*kTell[event])(next_);
      }
    }
  }

 private:
  static constexpr void (RunEvents::*kTell[kEvents])(std::size_t) = {
      &RunEvents::FileStarted, &RunEvents::FileOpened, &RunEvents::FileWritingInPlace};

  struct Held {
    std::array<bool, kEvents> said{};
    bool ended = false;
    std::optional<ConversionError> failure;
  };

  ConversionError Described(std::size_t file, const std::exception_ptr& failure) const noexcept {
    try {
      return FailureOf(failure, run_.Input(file));
    } catch (...) {
      return noMemory_;  // not even the description could be had
    }
  }

  const ConversionRun& run_;
  RunEvents& events_;
  std::mutex mutex_;
  std::vector<Held> held_;
  std::size_t next_ = 0;  // the file whose events go out as they come
  const ConversionError noMemory_;
};

// What the converter says of one file, passed on in order; notes whether
// reading the input has begun.
class FileEvents final : public ConversionEvents {
 public:
  FileEvents(OrderedEvents& ordered, RunEvents& events, std::size_t file)
      : ordered_(ordered), events_(events), file_(file) {}

  void Started() override { ordered_.Say(file_, OrderedEvents::kOpened); }
  void WritingInPlace() override { ordered_.Say(file_, OrderedEvents::kInPlace); }
  void Progress(std::uint64_t bytesRead, std::uint64_t inputSize) override {
    reading_ = true;
    ordered_.Progressed(file_, bytesRead, inputSize);
  }
  bool StopRequested() override { return events_.StopRequested(); }

  // Whether the input may have been read from: the first Progress comes
  // before the first byte is read.
  bool ReadingBegan() const { return reading_; }

 private:
  OrderedEvents& ordered_;
  RunEvents& events_;
  std::size_t file_;
  bool reading_ = false;
};

// A failure of the job rather than of the file: no descriptor or no memory
// to be had, met before anything of the input was read, so that converting
// the file later starts it afresh.
bool JobRanShort(const std::exception_ptr& failure, const FileEvents& events) {
  if (events.ReadingBegan()) return false;
  try {
    std::rethrow_exception(failure);
  } catch (const ConversionError& e) {
    return e.Number() == ErrorNumber::kOutOfMemory || e.SystemError() == EMFILE ||
           e.SystemError() == ENFILE;
  } catch (const std::bad_alloc&) {
    return true;
  } catch (...) {
    return false;
  }
}

// The chains of a run as the jobs take them, in order, and what jobs that ran
// short of descriptors or memory handed back.
class ChainQueue {
 public:
  struct Piece {
    std::size_t chain;
    std::size_t from;  // the first entry of the chain still to convert
  };

  ChainQueue(std::size_t chains, std::size_t jobs) : chains_(chains) {
    handedBack_.reserve(jobs);  // each job hands back at most once
  }

  // The next piece of work, or nothing.
  std::optional<Piece> Take() {
    std::lock_guard lock(mutex_);
    if (!handedBack_.empty()) {
      const Piece piece = handedBack_.back();
      handedBack_.pop_back();
      return piece;
    }
    if (next_ < chains_) return Piece{next_++, 0};
    return std::nullopt;
  }

  void HandBack(const Piece& piece) noexcept {
    std::lock_guard lock(mutex_);
    handedBack_.push_back(piece);  // within the capacity reserved
  }

 private:
  std::mutex mutex_;
  std::size_t chains_;
  std::size_t next_ = 0;
  std::vector<Piece> handedBack_;
};

}  // namespace

void ConvertRun(const ConversionRun& run, const RunSchedule& schedule, RunEvents& events) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned asked = schedule.stopAtFirstFailure ? 1
                         : schedule.jobs == 0        ? cores
                                                     : schedule.jobs;
  // Entries that write one output are converted one after the other by one
  // job, in list order: never two writers of one file at once (on Windows the
  // second rename would fail while the first holds the file). One job
  // converts the whole list in its order.
  std::vector<std::vector<std::size_t>> chains;
  if (asked > 1) chains = run.OutputChains();
  if (chains.size() < 2) {
    chains.assign(1, std::vector<std::size_t>(run.Size()));
    std::iota(chains[0].begin(), chains[0].end(), std::size_t{0});
  }
  const std::size_t jobs = std::min<std::size_t>(asked, chains.size());
  OrderedEvents ordered(run, events);
  ChainQueue queue(chains.size(), jobs);
  std::atomic<std::size_t> converted{0};
  std::atomic<bool> abandoned{false};

  // A job converts chains until none is left. Nothing a file meets leaves it:
  // a failure is told and the next file converted (with stopAtFirstFailure,
  // the one job on the one chain stops). A job that runs short while others
  // may be at work hands the rest of its chain back and stops: this thread
  // converts what was handed back once the other jobs are done, alone.
  const auto work = [&](FileConverter& converter, bool alone) {
    while (const std::optional<ChainQueue::Piece> piece = queue.Take()) {
      const std::vector<std::size_t>& chain = chains[piece->chain];
      for (std::size_t k = piece->from; k < chain.size() && !abandoned; ++k) {
        const std::size_t i = chain[k];
        FileEvents fileEvents(ordered, events, i);
        std::exception_ptr failure;
        try {
          ordered.Say(i, OrderedEvents::kStarted);
          converter.Convert(run, i, fileEvents);
          ++converted;
        } catch (const ConversionStopped&) {
          abandoned = true;  // the other jobs end with their files
          return;
        } catch (...) {
          failure = std::current_exception();
          if (!alone && JobRanShort(failure, fileEvents)) {
            queue.HandBack({piece->chain, k});
            return;
          }
        }
        ordered.Ended(i, failure);
        if (failure && schedule.stopAtFirstFailure) return;
      }
    }
  };

  // One file at a time uses the cores by overlapping its own reading, scanning
  // and writing; several at once use them by themselves.
  const bool overlapped = jobs == 1;
  FileConverter converter(overlapped);
  // With other jobs, this thread's memory comes first: with it, what they
  // hand back can always be converted here.
  if (jobs > 1) {
    try {
      converter.Prepare();
    } catch (const std::bad_alloc&) {
      // Each file says so when it fails.
    }
  }
  std::vector<std::thread> helpers;
  try {
    helpers.reserve(jobs - 1);
    for (std::size_t j = 1; j < jobs; ++j) {
      helpers.emplace_back([&] {
        FileConverter own(overlapped);
        work(own, false);
      });
    }
  } catch (const std::exception&) {
    // No more threads (or no memory for one) to be had: the ones there
    // convert every file.
  }
  work(converter, helpers.empty());
  for (std::thread& helper : helpers) helper.join();
  if (!helpers.empty()) work(converter, true);

  if (abandoned) throw ConversionStopped{};
  events.RunEnded(converted);
}

std::string ConvertingText(std::string_view input) { return "Converting file:" + ShownName(input); }

std::string ProcessedText(std::size_t files) {
  return "Processed " + std::to_string(files) + " files.";
}

}  // namespace corvane
