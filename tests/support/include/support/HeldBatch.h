// A batch the window tests hold: it notes what it was given and how often it
// started, shows its last file at 50% and waits until released (each start
// waits for a release of its own) or, when it heeds that, until asked to stop,
// which abandons it. Then its last file fails as the converter's do (the
// pointer goes back, the failure names the file's place), or, when told not
// to fail, it ends.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "model/BatchThread.h"

namespace corvane::test {

class HeldBatch {
 public:
  explicit HeldBatch(bool heedsStop = true) : heedsStop_(heedsStop) {}
  bool fails = true;

  BatchThread::Run Run() {
    return [this](const std::vector<std::string>& paths, ConversionObserver& observer) {
      const int count = static_cast<int>(paths.size());
      const std::string last = paths.empty() ? std::string() : paths.back();
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        given_ = paths;
        ++starts_;
        changed_.notify_all();
      }
      observer.ClearFeedback();
      observer.SetBusy(true);
      observer.SetStatus("Converting file:" + last);
      observer.SetProgress(count, count, 50);
      bool stopped = false;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!released_ && !stopped) {
          stopped = heedsStop_ && observer.StopRequested();
          changed_.wait_for(lock, std::chrono::milliseconds(5));
        }
        released_ = false;
      }
      observer.SetBusy(false);
      if (stopped) throw BatchAbandoned{};
      if (fails) {
        throw BatchFailure(ConversionError(ErrorNumber::kOpenInput, "Cannot open " + Quoted(last)),
                           count, count);
      }
      observer.SetStatus("Processed " + std::to_string(count) + " files.");
    };
  }
  void WaitUntilStarted() {
    std::unique_lock<std::mutex> lock(mutex_);
    ASSERT_TRUE(changed_.wait_for(lock, std::chrono::seconds(20), [&] { return starts_ > 0; }))
        << "the batch never started";
  }
  int Starts() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return starts_;
  }
  std::vector<std::string> Given() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return given_;
  }
  void Release() {
    const std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  bool heedsStop_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int starts_ = 0;
  bool released_ = false;
  std::vector<std::string> given_;
};

}  // namespace corvane::test
