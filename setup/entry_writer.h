// Archive entries' files written on a thread of their own: while it creates and writes one entry's file, the
// library already unpacks the next. Creating files is most of an extraction's time; unpacking is the rest.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "unique_handle.h"

// What an entry's file is to become.
struct EntryFile {
  std::wstring path;
  FILETIME modified{};  // left as the system sets it when zero
  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
};

// Where the writer puts the files. Each call returns 0 or the system's error code.
class EntryOutput {
 public:
  virtual ~EntryOutput() = default;
  virtual DWORD Create(const EntryFile& file) = 0;
  virtual DWORD Write(const unsigned char* data, size_t size) = 0;
  // complete: the file gets its time and attributes and is closed; otherwise it is closed and deleted, so that no
  // part of it stays.
  virtual DWORD Finish(const EntryFile& file, bool complete) = 0;
};

// The files on disk, made as the library makes them when it extracts: an existing file is replaced (its attributes
// cleared first), missing folders are created, the time of the last change is set before closing and the
// attributes after.
class DiskOutput : public EntryOutput {
 public:
  DWORD Create(const EntryFile& file) override;
  DWORD Write(const unsigned char* data, size_t size) override;
  DWORD Finish(const EntryFile& file, bool complete) override;

 private:
  UniqueFile file_;
  bool replaced_ = false;
};

enum class EntryOutcome {
  kWritten,
  kNotCreated,
  kNotWritten,  // created, but its data could not be written whole: deleted again
  kDiscarded,   // the caller ended it unfinished (the library failed on it): deleted again
  kSkipped,     // an earlier entry failed: not even created
};

class EntryWriter {
 public:
  // At most bufferLimit bytes of data wait (plus the piece that reached the limit), whatever the entries' sizes.
  EntryWriter(EntryOutput& output, size_t bufferLimit);
  // Writes what is queued, then ends the thread.
  ~EntryWriter();
  EntryWriter(const EntryWriter&) = delete;
  EntryWriter& operator=(const EntryWriter&) = delete;

  void Begin(EntryFile file);
  // Queues a copy of the data, waiting while the buffer is full. False once an entry has failed: every entry after
  // it is skipped, so the caller may as well stop.
  bool Write(const unsigned char* data, size_t size);
  void End(bool complete);
  // The outcome of the oldest entry begun and not yet taken, with the system's error code for a failure; nothing
  // when it is still being written (wait: until it is known), or when no entry is left.
  std::optional<std::pair<EntryOutcome, DWORD>> TakeOutcome(bool wait);
  // The most data that waited at any one time.
  size_t PeakBufferedBytes() const;

 private:
  enum class JobKind { kBegin, kData, kEnd, kStop };
  struct Job {
    explicit Job(JobKind jobKind = JobKind::kStop) : kind(jobKind) {}
    JobKind kind;
    EntryFile file;
    std::vector<unsigned char> data;
    bool complete = false;
  };
  void Queue(Job job);
  void Run();
  void Finished(EntryOutcome outcome, DWORD error);

  EntryOutput& output_;
  const size_t bufferLimit_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;
  std::deque<std::pair<EntryOutcome, DWORD>> outcomes_;
  size_t begun_ = 0;
  size_t taken_ = 0;
  size_t bufferedBytes_ = 0;
  size_t peakBufferedBytes_ = 0;
  bool failed_ = false;
  std::thread thread_;
};
