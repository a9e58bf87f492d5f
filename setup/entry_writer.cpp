// Archive entries' files written on a thread of their own.
#include "entry_writer.h"

#include <algorithm>

namespace {
// Entries without data still take room: their number is bounded too.
constexpr size_t kMaxQueuedJobs = 4096;

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

DWORD DiskOutput::Create(const EntryFile& file) {
  file_.reset(CreateForWriting(file.path));
  DWORD error = GetLastError();
  if (!file_) {
    // A read-only or hidden file in the way is replaced all the same; a missing folder is made.
    const DWORD existing = GetFileAttributesW(file.path.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) == 0)
      SetFileAttributesW(file.path.c_str(), FILE_ATTRIBUTE_NORMAL);
    else if (error == ERROR_PATH_NOT_FOUND)
      CreateParentFolders(file.path);
    file_.reset(CreateForWriting(file.path));
    if (!file_) return GetLastError();
    error = GetLastError();
  }
  replaced_ = error == ERROR_ALREADY_EXISTS;
  return 0;
}

DWORD DiskOutput::Write(const unsigned char* data, size_t size) {
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file_.get(), data, piece, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    data += written;
    size -= written;
  }
  return 0;
}

DWORD DiskOutput::Finish(const EntryFile& file, bool complete) {
  if (!complete) {
    file_.reset();
    return DeleteFileW(file.path.c_str()) ? 0 : GetLastError();
  }
  if (IsSet(file.modified)) SetFileTime(file_.get(), nullptr, nullptr, &file.modified);
  file_.reset();
  // A new file has the archive attribute already; one replaced keeps its own until told.
  if (replaced_ || file.attributes != FILE_ATTRIBUTE_ARCHIVE) SetFileAttributesW(file.path.c_str(), file.attributes);
  return 0;
}

EntryWriter::EntryWriter(EntryOutput& output, size_t bufferLimit)
    : output_(output), bufferLimit_(bufferLimit), thread_([this] { Run(); }) {}

EntryWriter::~EntryWriter() {
  Queue(Job(JobKind::kStop));
  thread_.join();
}

void EntryWriter::Begin(EntryFile file) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++begun_;
  }
  Job job(JobKind::kBegin);
  job.file = std::move(file);
  Queue(std::move(job));
}

bool EntryWriter::Write(const unsigned char* data, size_t size) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_) return false;
  }
  Job job(JobKind::kData);
  job.data.assign(data, data + size);
  Queue(std::move(job));
  return true;
}

void EntryWriter::End(bool complete) {
  Job job(JobKind::kEnd);
  job.complete = complete;
  Queue(std::move(job));
}

std::optional<std::pair<EntryOutcome, DWORD>> EntryWriter::TakeOutcome(bool wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (taken_ == begun_) return std::nullopt;
  if (wait) changed_.wait(lock, [&] { return !outcomes_.empty(); });
  if (outcomes_.empty()) return std::nullopt;
  auto outcome = outcomes_.front();
  outcomes_.pop_front();
  ++taken_;
  return outcome;
}

size_t EntryWriter::PeakBufferedBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return peakBufferedBytes_;
}

void EntryWriter::Queue(Job job) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Data waits for room unless the writer has failed and only skips; the end of an entry waits for nothing but
  // the number of jobs.
  changed_.wait(lock, [&] {
    return jobs_.size() < kMaxQueuedJobs && (job.data.empty() || bufferedBytes_ < bufferLimit_ || failed_);
  });
  bufferedBytes_ += job.data.size();
  peakBufferedBytes_ = std::max(peakBufferedBytes_, bufferedBytes_);
  jobs_.push_back(std::move(job));
  changed_.notify_all();
}

void EntryWriter::Finished(EntryOutcome outcome, DWORD error) {
  std::lock_guard<std::mutex> lock(mutex_);
  outcomes_.emplace_back(outcome, error);
  changed_.notify_all();
}

void EntryWriter::Run() {
  enum class State { kIdle, kOpen, kNotCreated, kNotWritten, kSkipped } state = State::kIdle;
  EntryFile current;
  DWORD error = 0;
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return !jobs_.empty(); });
      job = std::move(jobs_.front());
      jobs_.pop_front();
      bufferedBytes_ -= job.data.size();
      changed_.notify_all();
    }
    switch (job.kind) {
      case JobKind::kStop:
        if (state == State::kOpen) output_.Finish(current, false);
        return;
      case JobKind::kBegin: {
        current = std::move(job.file);
        bool skip;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          skip = failed_;
        }
        error = skip ? 0 : output_.Create(current);
        state = skip ? State::kSkipped : error == 0 ? State::kOpen : State::kNotCreated;
        if (state == State::kNotCreated) {
          std::lock_guard<std::mutex> lock(mutex_);
          failed_ = true;
        }
        break;
      }
      case JobKind::kData:
        if (state != State::kOpen) break;
        error = output_.Write(job.data.data(), job.data.size());
        if (error != 0) {
          output_.Finish(current, false);
          state = State::kNotWritten;
          std::lock_guard<std::mutex> lock(mutex_);
          failed_ = true;
        }
        break;
      case JobKind::kEnd:
        switch (state) {
          case State::kOpen:
            output_.Finish(current, job.complete);
            Finished(job.complete ? EntryOutcome::kWritten : EntryOutcome::kDiscarded, 0);
            break;
          case State::kNotCreated:
            Finished(EntryOutcome::kNotCreated, error);
            break;
          case State::kNotWritten:
            Finished(EntryOutcome::kNotWritten, error);
            break;
          default:
            Finished(EntryOutcome::kSkipped, 0);
        }
        state = State::kIdle;
        break;
    }
  }
}
