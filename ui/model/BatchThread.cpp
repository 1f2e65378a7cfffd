#include "BatchThread.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

#include "engine/Errors.h"

namespace corvane {

struct BatchThread::Shared {
  std::mutex mutex;
  WindowThread* thread;  // null once the window no longer listens
  ConversionObserver* window;
  std::atomic<bool> stop{false};
  bool ended = false;
  std::condition_variable endedChanged;

  // Posts call to the window's thread, unless the window has stopped
  // listening. The lock keeps the window from going while the call is posted.
  void Post(std::function<void(ConversionObserver&)> call) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (thread == nullptr) return;
    ConversionObserver* target = window;
    thread->Post([target, call = std::move(call)]() { call(*target); });
  }
};

namespace {

// The batch's observer on the batch's thread: passes each call on to the
// window and answers the stop request.
class Relay final : public ConversionObserver {
 public:
  explicit Relay(BatchThread::Shared& shared) : shared_(shared) {}

  void ClearFeedback() override {
    shared_.Post([](ConversionObserver& w) { w.ClearFeedback(); });
  }
  void SetBusy(bool busy) override {
    shared_.Post([busy](ConversionObserver& w) { w.SetBusy(busy); });
  }
  void SetStatus(const std::string& text) override {
    shared_.Post([text](ConversionObserver& w) { w.SetStatus(text); });
  }
  void SetProgress(int fileNumber, int fileCount, int percent) override {
    shared_.Post([=](ConversionObserver& w) { w.SetProgress(fileNumber, fileCount, percent); });
  }
  // The window's thread runs its events all the time: nothing to let through.
  void PumpEvents() override {}
  bool StopRequested() override { return shared_.stop.load(); }

 private:
  BatchThread::Shared& shared_;
};

BatchThread::Outcome RunBatch(const BatchThread::Run& run, std::vector<std::string> paths,
                              ConversionObserver& observer) {
  using Kind = BatchThread::Outcome::Kind;
  try {
    run(std::move(paths), observer);
    return {};
  } catch (const BatchAbandoned&) {
    return {Kind::kAbandoned, 0, std::string(), 0, 0};
  } catch (const BatchFailure& failure) {
    return {Kind::kFailed, failure.Code(), failure.Description(), failure.FileNumber(),
            failure.FileCount()};
  } catch (const ConversionError& error) {
    return {Kind::kFailed, error.Code(), error.Description(), 0, 0};
  } catch (const std::exception& error) {
    return {Kind::kFailed, 0, error.what(), 0, 0};
  }
}

}  // namespace

BatchThread::BatchThread(WindowThread& thread, ConversionObserver& window,
                         std::vector<std::string> paths, Run run, Ended ended)
    : shared_(std::make_shared<Shared>()) {
  shared_->thread = &thread;
  shared_->window = &window;
  // The thread owns the snapshot and shares the rest, so that it may outlive
  // this object when it is left blocked.
  thread_ = std::thread([shared = shared_, paths = std::move(paths), run = std::move(run),
                         ended = std::move(ended)]() mutable {
    Relay relay(*shared);
    const Outcome outcome = RunBatch(run, std::move(paths), relay);
    shared->Post([ended, outcome](ConversionObserver&) { ended(outcome); });
    const std::lock_guard<std::mutex> lock(shared->mutex);
    shared->ended = true;
    shared->endedChanged.notify_all();
  });
}

BatchThread::~BatchThread() {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->thread = nullptr;
  shared_->stop = true;
  const bool ended = shared_->endedChanged.wait_for(lock, std::chrono::seconds(1),
                                                    [this] { return shared_->ended; });
  lock.unlock();
  if (ended) {
    thread_.join();
  } else {
    thread_.detach();
  }
  if (watch_.joinable()) watch_.join();
}

void BatchThread::RequestStop() { shared_->stop = true; }

void BatchThread::CallIfNotEndedWithin(std::chrono::milliseconds grace,
                                       std::function<void()> late) {
  if (watch_.joinable()) return;
  watch_ = std::thread([shared = shared_, grace, late = std::move(late)]() {
    std::unique_lock<std::mutex> lock(shared->mutex);
    if (shared->endedChanged.wait_for(lock, grace, [&] { return shared->ended; })) return;
    lock.unlock();
    late();
  });
}

}  // namespace corvane
