#include "BatchThread.h"

#include <QMetaObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

#include "engine/Errors.h"

struct BatchThread::Shared {
  std::mutex mutex;
  QObject* context;  // null once the window no longer listens
  corvane::ConversionObserver* window;
  std::atomic<bool> stop{false};
  bool ended = false;
  std::condition_variable endedChanged;

  // Queues call for the window's thread, unless the window has stopped
  // listening. The lock keeps the window from going while the call is queued;
  // calls queued before it goes are dropped with it.
  void Post(std::function<void(corvane::ConversionObserver&)> call) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (context == nullptr) {
      return;
    }
    corvane::ConversionObserver* target = window;
    QMetaObject::invokeMethod(
        context, [target, call = std::move(call)]() { call(*target); }, Qt::QueuedConnection);
  }
};

namespace {

// The batch's observer on the batch's thread: passes each call on to the
// window and answers the stop request.
class Relay final : public corvane::ConversionObserver {
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

BatchThread::Outcome RunBatch(const corvane::FileList& list,
                              corvane::ConversionObserver& observer) {
  using Kind = BatchThread::Outcome::Kind;
  try {
    corvane::BatchConverter().Run(list, observer);
    return {};
  } catch (const corvane::BatchAbandoned&) {
    return {Kind::kAbandoned, 0, std::string()};
  } catch (const corvane::ConversionError& error) {
    return {Kind::kFailed, error.Code(), error.Description()};
  } catch (const std::exception& error) {
    return {Kind::kFailed, 0, error.what()};
  }
}

}  // namespace

BatchThread::BatchThread(QObject* context, corvane::ConversionObserver& window,
                         corvane::FileList list, Ended ended)
    : shared_(std::make_shared<Shared>()) {
  shared_->context = context;
  shared_->window = &window;
  // The thread owns the list and shares the rest, so that it may outlive this
  // object when it is left blocked.
  thread_ = std::thread([shared = shared_, list = std::move(list), ended = std::move(ended)]() {
    Relay relay(*shared);
    const Outcome outcome = RunBatch(list, relay);
    shared->Post([ended, outcome](corvane::ConversionObserver&) { ended(outcome); });
    const std::lock_guard<std::mutex> lock(shared->mutex);
    shared->ended = true;
    shared->endedChanged.notify_all();
  });
}

BatchThread::~BatchThread() {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->context = nullptr;
  shared_->stop = true;
  const bool ended = shared_->endedChanged.wait_for(lock, std::chrono::seconds(1),
                                                    [this] { return shared_->ended; });
  lock.unlock();
  if (ended) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

void BatchThread::RequestStop() { shared_->stop = true; }
