// Files deleted on threads of their own while the caller goes on with the install counters. Under Wine each
// deletion and each counter is a round trip to the Wine server, and one thread doing them in turn leaves both
// processors waiting most of the time; deletions in flight beside the counters keep them busy.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The caller's side (Delete, TakeOutcome) belongs to one thread. Outcomes come back in the order the files were
// handed over, whichever thread finished first. A thread is woken only when it waits: under Wine every wake-up is
// a request to the server as well.
class FileDeletions {
 public:
  // deleteFile deletes one file and says what became of it; it is called from several threads at once.
  FileDeletions(std::function<std::string(const std::string&)> deleteFile, int threads);
  // Files not yet taken up by a thread are left as they are; the threads end.
  ~FileDeletions();
  FileDeletions(const FileDeletions&) = delete;
  FileDeletions& operator=(const FileDeletions&) = delete;

  void Delete(const std::string& path);
  // What became of the oldest file handed over and not yet taken; nothing when it is still being deleted (wait:
  // until it is done), or when no file is left.
  std::optional<std::string> TakeOutcome(bool wait);

 private:
  struct Deletion {
    std::string path;
    std::optional<std::string> outcome;
  };
  void Run();

  const std::function<std::string(const std::string&)> deleteFile_;
  std::mutex mutex_;
  std::condition_variable work_;  // for the threads: a file, or the end
  std::condition_variable done_;  // for the caller: an outcome
  std::deque<Deletion> deletions_;
  size_t nextToDelete_ = 0;
  int threadsWaiting_ = 0;
  bool callerWaits_ = false;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};
