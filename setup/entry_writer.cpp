// Archive entries' files written on a thread of their own.
#include "entry_writer.h"

#include <algorithm>

namespace {
// Entries without data still take room: the number waiting for a writer is bounded too.
constexpr size_t kMaxQueuedEntries = 4096;
// Entries are handed to the writers in groups of this many, or once their data reaches this size.
constexpr size_t kHandOverEntries = 8;
constexpr size_t kHandOverBytes = 256 * 1024;

bool IsSet(const FILETIME& time) { return time.dwLowDateTime != 0 || time.dwHighDateTime != 0; }

void CreateParentFolders(const std::wstring& path) {
  // From the first folder below the drive's root (or the share) inward; existing ones are passed over.
  for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1))
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
}

HANDLE CreateForWriting(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
}
}  // namespace

DWORD DiskOutput::Create(const EntryFile& file, OpenEntryFile& open) {
  open.handle.reset(CreateForWriting(file.path));
  DWORD error = GetLastError();
  if (!open.handle) {
    // A read-only or hidden file in the way is replaced all the same; a missing folder is made.
    const DWORD existing = GetFileAttributesW(file.path.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) == 0)
      SetFileAttributesW(file.path.c_str(), FILE_ATTRIBUTE_NORMAL);
    else if (error == ERROR_PATH_NOT_FOUND)
      CreateParentFolders(file.path);
    open.handle.reset(CreateForWriting(file.path));
    if (!open.handle) return GetLastError();
    error = GetLastError();
  }
  open.replaced = error == ERROR_ALREADY_EXISTS;
  return 0;
}

DWORD DiskOutput::Write(OpenEntryFile& open, const unsigned char* data, size_t size) {
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(open.handle.get(), data, piece, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    data += written;
    size -= written;
  }
  return 0;
}

void DiskOutput::Finish(const EntryFile& file, OpenEntryFile& open, bool complete) {
  if (!complete) {
    open.handle.reset();
    DeleteFileW(file.path.c_str());
    return;
  }
  if (IsSet(file.modified)) SetFileTime(open.handle.get(), nullptr, nullptr, &file.modified);
  open.handle.reset();
  // A new file has the archive attribute already; one replaced keeps its own until told.
  if (open.replaced || file.attributes != FILE_ATTRIBUTE_ARCHIVE)
    SetFileAttributesW(file.path.c_str(), file.attributes);
}

EntryWriter::EntryWriter(EntryOutput& output, size_t bufferLimit, int writers)
    : output_(output), bufferLimit_(bufferLimit) {
  for (int writer = 0; writer < writers; ++writer) threads_.emplace_back([this] { Run(); });
}

EntryWriter::~EntryWriter() {
  // An entry left unended (an error between Begin and End) is discarded.
  if (!heldBack_.empty()) heldBack_.back().ended = true;
  HandOver();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    if (!entries_.empty()) entries_.back().ended = true;
  }
  work_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void EntryWriter::Begin(EntryFile file) {
  heldBack_.emplace_back();
  heldBack_.back().file = std::move(file);
}

bool EntryWriter::Write(const unsigned char* data, size_t size) {
  if (!heldBack_.empty()) {
    heldBack_.back().pieces.emplace_back(data, data + size);
    heldBackBytes_ += size;
    // A large entry streams: handed over while it is still being unpacked.
    if (heldBackBytes_ >= std::min(kHandOverBytes, bufferLimit_ / 4)) HandOver();
    std::lock_guard<std::mutex> lock(mutex_);
    return !failed_;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  WaitForRoom(lock);
  if (failed_) return false;
  entries_.back().pieces.emplace_back(data, data + size);
  bufferedBytes_ += size;
  peakBufferedBytes_ = std::max(peakBufferedBytes_, bufferedBytes_);
  if (writersWaiting_ > 0) work_.notify_all();
  return true;
}

void EntryWriter::End(bool complete) {
  if (!heldBack_.empty()) {
    heldBack_.back().ended = true;
    heldBack_.back().complete = complete;
    if (heldBack_.size() >= kHandOverEntries) HandOver();
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.back().ended = true;
  entries_.back().complete = complete;
  if (writersWaiting_ > 0) work_.notify_all();
}

bool EntryWriter::Full() const {
  return bufferedBytes_ >= bufferLimit_ || entries_.size() - nextToWrite_ + heldBack_.size() > kMaxQueuedEntries;
}

bool EntryWriter::HasRoom() const {
  return bufferedBytes_ <= bufferLimit_ / 2 &&
         entries_.size() - nextToWrite_ + heldBack_.size() <= kMaxQueuedEntries / 2;
}

void EntryWriter::WaitForRoom(std::unique_lock<std::mutex>& lock) {
  // Once full, the caller waits until the writers have emptied half of it: woken for every piece taken, it would go
  // back and forth with them for every entry.
  if (!Full() || failed_) return;
  callerWaitsForRoom_ = true;
  room_.wait(lock, [&] { return HasRoom() || failed_; });
  callerWaitsForRoom_ = false;
}

void EntryWriter::HandOver() {
  if (heldBack_.empty()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  WaitForRoom(lock);
  for (Entry& entry : heldBack_) entries_.push_back(std::move(entry));
  heldBack_.clear();
  bufferedBytes_ += heldBackBytes_;
  heldBackBytes_ = 0;
  peakBufferedBytes_ = std::max(peakBufferedBytes_, bufferedBytes_);
  if (writersWaiting_ > 0) work_.notify_all();
}

std::optional<std::pair<EntryOutcome, DWORD>> EntryWriter::TakeOutcome(bool wait) {
  if (wait) HandOver();
  std::unique_lock<std::mutex> lock(mutex_);
  if (entries_.empty()) return std::nullopt;
  if (wait) {
    callerWaitsForOutcome_ = true;
    room_.wait(lock, [&] { return entries_.front().outcome.has_value(); });
    callerWaitsForOutcome_ = false;
  }
  if (!entries_.front().outcome) return std::nullopt;
  const auto outcome = *entries_.front().outcome;
  entries_.pop_front();
  --nextToWrite_;
  return outcome;
}

size_t EntryWriter::PeakBufferedBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return peakBufferedBytes_;
}

void EntryWriter::Run() {
  for (;;) {
    Entry* entry;
    bool skip;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ++writersWaiting_;
      work_.wait(lock, [&] { return nextToWrite_ < entries_.size() || stopping_; });
      --writersWaiting_;
      if (nextToWrite_ == entries_.size()) return;
      entry = &entries_[nextToWrite_++];
      skip = failed_;
    }
    const auto outcome = WriteEntry(*entry, skip);
    std::lock_guard<std::mutex> lock(mutex_);
    entry->outcome = outcome;
    if (callerWaitsForOutcome_ || (callerWaitsForRoom_ && HasRoom())) room_.notify_all();
  }
}

void EntryWriter::Fail() {
  std::lock_guard<std::mutex> lock(mutex_);
  failed_ = true;
  // A caller waiting for room stops waiting: nothing more is written.
  if (callerWaitsForRoom_) room_.notify_all();
}

std::pair<EntryOutcome, DWORD> EntryWriter::WriteEntry(Entry& entry, bool skip) {
  OpenEntryFile open;
  DWORD error = skip ? 0 : output_.Create(entry.file, open);
  const bool created = !skip && error == 0;
  if (!skip && !created) Fail();
  // The data is taken whatever becomes of the file, so that the buffer empties.
  bool written = created;
  while (auto piece = NextPiece(entry)) {
    if (!written) continue;
    error = output_.Write(open, piece->data(), piece->size());
    if (error != 0) {
      output_.Finish(entry.file, open, false);
      written = false;
      Fail();
    }
  }
  if (skip) return {EntryOutcome::kSkipped, 0};
  if (!created) return {EntryOutcome::kNotCreated, error};
  if (!written) return {EntryOutcome::kNotWritten, error};
  bool complete;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    complete = entry.complete;
  }
  output_.Finish(entry.file, open, complete);
  return {complete ? EntryOutcome::kWritten : EntryOutcome::kDiscarded, 0};
}

std::optional<std::vector<unsigned char>> EntryWriter::NextPiece(Entry& entry) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (entry.pieces.empty() && !entry.ended) {
    ++writersWaiting_;
    work_.wait(lock, [&] { return !entry.pieces.empty() || entry.ended; });
    --writersWaiting_;
  }
  if (entry.pieces.empty()) return std::nullopt;
  std::vector<unsigned char> piece = std::move(entry.pieces.front());
  entry.pieces.pop_front();
  bufferedBytes_ -= piece.size();
  if (callerWaitsForRoom_ && HasRoom()) room_.notify_all();
  return piece;
}
