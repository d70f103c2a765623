#include "net/part_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <random>

#include "model/pruning.h"
#include "platform/folders.h"

namespace gantrell {
namespace {

// Direct I/O wants the buffer, the file offset and the length aligned to
// the device's logical block; 4096 covers the devices met in practice, and
// a file system that wants more refuses the write, which then goes
// through the page cache.
constexpr std::size_t kAlignment = 4096;

void FreeAligned(void* memory) {
  ::operator delete(memory, std::align_val_t(kAlignment));
}

// Write-back of bytes that went through the page cache starts every this
// many bytes, so the disk works while the network does.
constexpr std::int64_t kWriteBackEvery = std::int64_t{8} << 20;

}  // namespace

PartFile::PartFile(std::size_t block_size, int buffers, bool direct, bool behind)
    : block_size_((block_size + kAlignment - 1) / kAlignment * kAlignment),
      try_direct_(direct),
      behind_(behind),
      memory_(nullptr, &FreeAligned) {
  const int count = buffers < 2 ? 2 : buffers;
  // The aligned operator new, since Windows' C library has no aligned_alloc;
  // it throws std::bad_alloc itself.
  memory_.reset(static_cast<char*>(::operator new(block_size_ * static_cast<std::size_t>(count),
                                                  std::align_val_t(kAlignment))));
  for (int i = 0; i < count; ++i)
    free_.push_back(memory_.get() + block_size_ * static_cast<std::size_t>(i));
}

PartFile::~PartFile() {
  Discard();
}

bool PartFile::Create(const std::string& destination) {
  // One file per object: a second Create would leave the first file behind.
  if (destination.empty() || file_.is_open() || !path_.empty())
    return false;
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 100 && !file_.is_open(); ++attempt) {
    path_ = destination + kPartFileInfix;
    for (std::size_t i = 0; i < kPartFileSuffixLength; ++i)
      path_ += kLetters[pick(random)];
    if (file_.CreateNew(path_) == OutputFile::CreateResult::kFailed)
      break;
  }
  if (!file_.is_open()) {
    path_.clear();
    return false;
  }
  StartWriting(0);
  return true;
}

bool PartFile::Continue(const std::string& path, std::int64_t offset) {
  if (path.empty() || file_.is_open() || !path_.empty())
    return false;
  if (!file_.OpenToContinue(path, offset))
    return false;
  path_ = path;
  StartWriting(offset);
  return true;
}

void PartFile::StartWriting(std::int64_t offset) {
  // File systems (and systems) without direct I/O refuse it here.
  if (try_direct_)
    direct_ = file_.SetDirect(true);
  written_ = offset;
  started_ = offset;
  failed_ = false;
  stop_ = false;
  // Without a thread (none asked for, or none to spare) Commit writes each
  // block itself.
  if (behind_) {
    try {
      writer_ = std::thread([this] { WriterLoop(); });
    } catch (const std::exception&) {
      // std::system_error, or std::bad_alloc for the thread's state
    }
  }
}

char* PartFile::Buffer() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (current_ == nullptr) {
    changed_.wait(lock, [this] { return !free_.empty(); });
    current_ = free_.back();
    free_.pop_back();
  }
  return current_;
}

bool PartFile::Commit(std::size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (current_ == nullptr)
    return !failed_ && count == 0;
  // More than a buffer holds cannot have been put in it.
  if (count > block_size_)
    failed_ = true;
  if (failed_ || count == 0 || !file_.is_open() || stop_) {
    free_.push_back(current_);
    current_ = nullptr;
    changed_.notify_all();
    return !failed_ && count == 0;
  }
  const Block block{current_, count};
  current_ = nullptr;
  if (!writer_.joinable()) {
    lock.unlock();
    const bool ok = WriteOut(block.bytes, block.count);
    lock.lock();
    failed_ = !ok;
    free_.push_back(block.bytes);
    return ok;
  }
  queued_.push_back(block);
  changed_.notify_all();
  return true;
}

void PartFile::WriterLoop() {
  for (;;) {
    Block block;
    bool skip = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || !queued_.empty(); });
      if (stop_)
        return;
      block = queued_.front();
      queued_.erase(queued_.begin());
      writing_ = true;
      skip = failed_;
    }
    // After a failure nothing more is written: the file is abandoned.
    const bool ok = skip || WriteOut(block.bytes, block.count);
    std::lock_guard<std::mutex> lock(mutex_);
    writing_ = false;
    if (!ok)
      failed_ = true;
    free_.push_back(block.bytes);
    changed_.notify_all();
  }
}

bool PartFile::LeaveDirectIo() {
  if (!file_.SetDirect(false))
    return false;
  std::lock_guard<std::mutex> lock(mutex_);
  direct_ = false;
  return true;
}

bool PartFile::WriteOut(const char* bytes, std::size_t count) {
  while (count > 0) {
    bool direct = direct_;
    // A piece direct I/O cannot take (the tail of the body, or what is left
    // after a short write) and everything after it goes through the cache.
    if (direct &&
        (count % kAlignment != 0 || written_ % static_cast<std::int64_t>(kAlignment) != 0 ||
         reinterpret_cast<std::uintptr_t>(bytes) % kAlignment != 0)) {
      if (!LeaveDirectIo())
        return false;
      direct = false;
    }
    bool bad_request = false;
    const std::int64_t done = file_.Write(bytes, count, &bad_request);
    if (done < 0 && bad_request && direct) {
      // The file system wants a larger alignment than ours.
      if (!LeaveDirectIo())
        return false;
      continue;
    }
    if (done <= 0)
      return false;
    bytes += done;
    count -= static_cast<std::size_t>(done);
    written_ += done;
  }
  if (!direct_ && written_ - started_ >= kWriteBackEvery) {
    file_.StartWriteBack(started_, written_ - started_);
    started_ = written_;
  }
  return true;
}

void PartFile::StopWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (writer_.joinable())
    writer_.join();
}

bool PartFile::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return (queued_.empty() && !writing_) || failed_; });
  return !failed_;
}

bool PartFile::Finish() {
  if (!file_.is_open())
    return false;
  Wait();
  StopWriter();
  {
    // After a failure the writer leaves what was still queued.
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Block& block : queued_)
      free_.push_back(block.bytes);
    queued_.clear();
  }
  bool ok = !failed_;
  ok = file_.Sync() && ok;
  ok = file_.Close() && ok;
  return ok;
}

MoveResult PartFile::MoveTo(const std::string& destination, bool replace) {
  if (file_.is_open() || path_.empty() || failed_)
    return MoveResult::kFailed;
  const MoveResult moved = RenameDurably(path_, destination, replace, nullptr);
  if (moved == MoveResult::kMoved)
    path_.clear();
  return moved;
}

void PartFile::Discard() {
  StopWriter();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Block& block : queued_)
      free_.push_back(block.bytes);
    queued_.clear();
    if (current_ != nullptr)
      free_.push_back(current_);
    current_ = nullptr;
  }
  if (file_.is_open())
    file_.Close();
  if (!path_.empty())
    RemoveFile(path_);
  path_.clear();
}

bool PartFile::Keep() {
  if (path_.empty())
    return false;
  if ((file_.is_open() && !Finish()) || failed_) {
    Discard();
    return false;
  }
  path_.clear();
  return true;
}

bool PartFile::direct() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return direct_;
}

}  // namespace gantrell
