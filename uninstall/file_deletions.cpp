// Files deleted on threads of their own.
#include "file_deletions.h"

#include <utility>

FileDeletions::FileDeletions(std::function<std::string(const std::string&)> deleteFile, int threads)
    : deleteFile_(std::move(deleteFile)) {
  for (int thread = 0; thread < threads; ++thread) threads_.emplace_back([this] { Run(); });
}

FileDeletions::~FileDeletions() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void FileDeletions::Delete(const std::string& path) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    deletions_.push_back({path, std::nullopt});
    if (threadsWaiting_ == 0) return;
  }
  work_.notify_one();
}

std::optional<std::string> FileDeletions::TakeOutcome(bool wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (deletions_.empty()) return std::nullopt;
  if (wait) {
    callerWaits_ = true;
    done_.wait(lock, [&] { return deletions_.front().outcome.has_value(); });
    callerWaits_ = false;
  }
  if (!deletions_.front().outcome) return std::nullopt;
  std::string outcome = std::move(*deletions_.front().outcome);
  deletions_.pop_front();
  --nextToDelete_;
  return outcome;
}

void FileDeletions::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++threadsWaiting_;
    work_.wait(lock, [&] { return nextToDelete_ < deletions_.size() || stopping_; });
    --threadsWaiting_;
    if (stopping_) return;
    // The deque may grow meanwhile, which leaves its elements where they are.
    Deletion& deletion = deletions_[nextToDelete_++];
    lock.unlock();
    std::string outcome = deleteFile_(deletion.path);
    lock.lock();
    deletion.outcome = std::move(outcome);
    if (callerWaits_) done_.notify_all();
  }
}
