// Archive entries' files written on threads of their own: while they create and write the files of the entries
// unpacked so far, the library already unpacks the next. Creating files is most of an extraction's time, and a
// second thread creating files nearly halves it.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "unique_handle.h"

// What an entry's file is to become.
struct EntryFile {
  std::wstring path;
  FILETIME modified{};  // left as the system sets it when zero
  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
};

// A file being written: the open handle, and whether a file of that name was there before.
struct OpenEntryFile {
  UniqueFile handle;
  bool replaced = false;
};

// Where the writers put the files; called from several threads at once, each with its own file. Each call returns
// 0 or the system's error code.
class EntryOutput {
 public:
  virtual ~EntryOutput() = default;
  virtual DWORD Create(const EntryFile& file, OpenEntryFile& open) = 0;
  virtual DWORD Write(OpenEntryFile& open, const unsigned char* data, size_t size) = 0;
  // complete: the file gets its time and attributes and is closed; otherwise it is closed and deleted, so that no
  // part of it stays.
  virtual void Finish(const EntryFile& file, OpenEntryFile& open, bool complete) = 0;
};

// The files on disk, made as the library makes them when it extracts: an existing file is replaced (its attributes
// cleared first), missing folders are created, the time of the last change is set before closing and the
// attributes after.
class DiskOutput : public EntryOutput {
 public:
  DWORD Create(const EntryFile& file, OpenEntryFile& open) override;
  DWORD Write(OpenEntryFile& open, const unsigned char* data, size_t size) override;
  void Finish(const EntryFile& file, OpenEntryFile& open, bool complete) override;
};

enum class EntryOutcome {
  kWritten,
  kNotCreated,
  kNotWritten,  // created, but its data could not be written whole: deleted again
  kDiscarded,   // the caller ended it unfinished (the library failed on it): deleted again
  kSkipped,     // an earlier entry had failed when its turn came: not even created
};

// The caller's side (Begin, Write, End, TakeOutcome) belongs to one thread. Under Wine every wait and wake-up of a
// thread is a request to the Wine server, which the writers keep busy creating files: entries are handed over a
// few at a time, and a thread is woken only when it waits.
class EntryWriter {
 public:
  // At most bufferLimit bytes of data wait (plus the piece that reached the limit), whatever the entries' sizes.
  EntryWriter(EntryOutput& output, size_t bufferLimit, int writers);
  // Writes what is queued, then ends the threads.
  ~EntryWriter();
  EntryWriter(const EntryWriter&) = delete;
  EntryWriter& operator=(const EntryWriter&) = delete;

  void Begin(EntryFile file);
  // Queues a copy of the data, waiting while the buffer is full. False once an entry has failed: the entries after
  // it are skipped, so the caller may as well stop.
  bool Write(const unsigned char* data, size_t size);
  void End(bool complete);
  // The outcome of the oldest entry begun and not yet taken, with the system's error code for a failure; nothing
  // when it is still being written (wait: until it is known), or when no entry is left.
  std::optional<std::pair<EntryOutcome, DWORD>> TakeOutcome(bool wait);
  // The most data handed over that waited for the writers at any one time.
  size_t PeakBufferedBytes() const;

 private:
  struct Entry {
    EntryFile file;
    std::deque<std::vector<unsigned char>> pieces;
    bool ended = false;
    bool complete = false;
    std::optional<std::pair<EntryOutcome, DWORD>> outcome;
  };
  // Makes the entries held back visible to the writers, waiting for room first.
  void HandOver();
  // With the lock held: the buffer or the queue is full; there is room again (half of either empty).
  bool Full() const;
  bool HasRoom() const;
  void WaitForRoom(std::unique_lock<std::mutex>& lock);
  void Run();
  // An entry could not be created or written: the entries after it are skipped.
  void Fail();
  std::pair<EntryOutcome, DWORD> WriteEntry(Entry& entry, bool skip);
  // The entry's next piece of data; nothing once it has ended.
  std::optional<std::vector<unsigned char>> NextPiece(Entry& entry);

  EntryOutput& output_;
  const size_t bufferLimit_;
  // The caller's own: entries begun and not handed over yet, and their data.
  std::deque<Entry> heldBack_;
  size_t heldBackBytes_ = 0;
  // The rest is shared.
  mutable std::mutex mutex_;
  std::condition_variable work_;  // for writers: an entry, a piece of data or the end
  std::condition_variable room_;  // for the caller: room in the buffer, or an outcome
  int writersWaiting_ = 0;
  bool callerWaitsForRoom_ = false;
  bool callerWaitsForOutcome_ = false;
  // Entries handed over and not yet taken, oldest first; the writers take them in turn from nextToWrite_ on.
  std::deque<Entry> entries_;
  size_t nextToWrite_ = 0;
  size_t bufferedBytes_ = 0;
  size_t peakBufferedBytes_ = 0;
  bool failed_ = false;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};
