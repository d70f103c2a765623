// The file an item is downloaded into: created beside its destination,
// written behind the download on a thread of its own, and moved onto the
// destination only when the caller says the bytes are good.
//
// The caller fills one buffer at a time (Buffer) and hands it over
// (Commit); the writer thread puts it on disk while the caller receives and
// digests the next, so the network, the digest and the disk work at once.
// Writes go straight to the disk (O_DIRECT) where the file system allows
// it: a download of any size then neither copies its bytes into the page
// cache nor pushes the user's cached files out of memory, and the fsync
// before the rename finds nothing left to write. Where it does not, or for
// a write that direct I/O refuses (a tail shorter than a block), the bytes
// go through the page cache and write-back is started every few MiB.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_move.h"
#include "platform/output_file.h"

namespace gantrell {

class PartFile {
 public:
  // Buffers of `block_size` bytes (rounded up to a multiple of 4096),
  // `buffers` of them (at least 2: one filled while the others are
  // written). `direct`: try direct I/O at all; `behind`: write on a thread
  // of its own (tests turn these off to cover the other paths).
  explicit PartFile(std::size_t block_size = 1 << 20, int buffers = 3, bool direct = true,
                    bool behind = true);
  ~PartFile();  // Discard()

  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  // Creates "<destination>.part-XXXXXX" with a new file's usual mode (0666
  // less the umask) and starts the writer. False when no such file can be
  // made (empty destination, missing folder, no permission), and for a
  // second call: each object makes one file.
  bool Create(const std::string& destination);
  // Opens the part file at `path` to continue it after its first `offset`
  // bytes (cutting off anything beyond them), or creates it when missing
  // (offset 0). The same rules as Create otherwise.
  bool Continue(const std::string& path, std::int64_t offset);

  // The buffer to fill next, block_size() bytes, suitably aligned. Waits
  // while every buffer is still queued for writing. Valid until Commit.
  char* Buffer();
  // Queues the first `count` bytes of Buffer() (at most block_size()) to
  // be written after what was committed before (without a writer thread:
  // writes them). False once any write has failed; nothing more is written
  // then, and the caller should Discard.
  bool Commit(std::size_t count);

  // Waits until what was committed is written; false if any write failed.
  bool Wait();
  // Waits for the queued writes, flushes the file to disk and closes it;
  // false if any of that failed.
  bool Finish();
  // Renames the finished file onto `destination` and flushes the folder,
  // so that the file is there after a power cut. With `replace` false a
  // file already at the destination stays (kExists) and so does the part
  // file, which may be moved again.
  MoveResult MoveTo(const std::string& destination, bool replace);
  bool MoveTo(const std::string& destination) {
    return MoveTo(destination, true) == MoveResult::kMoved;
  }
  // Stops the writer (a write under way completes), closes and deletes the
  // file. Safe to call at any time, more than once.
  void Discard();
  // Writes out what was committed, flushes and closes the file (unless
  // Finish did) and leaves it on disk for a later Continue; false if any
  // write failed (the file is deleted then).
  bool Keep();

  std::size_t block_size() const { return block_size_; }
  const std::string& path() const { return path_; }
  // True while writes go straight to the disk; after Finish, whether the
  // last write did. False before Create.
  bool direct() const;

 private:
  struct Block {
    char* bytes = nullptr;
    std::size_t count = 0;
  };

  void WriterLoop();
  bool WriteOut(const char* bytes, std::size_t count);
  // Turns direct I/O off for the rest of the file; false if it cannot.
  bool LeaveDirectIo();
  // What Create and Continue share once the file is open.
  void StartWriting(std::int64_t offset);
  void StopWriter();

  const std::size_t block_size_;
  const bool try_direct_;
  const bool behind_;
  std::unique_ptr<char, void (*)(void*)> memory_;
  std::string path_;
  OutputFile file_;

  // Shared with the writer thread, under mutex_.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<char*> free_;    // buffers the caller may fill
  std::vector<Block> queued_;  // committed, oldest first, not yet written
  bool writing_ = false;       // the writer holds a block it took from queued_
  bool failed_ = false;
  bool stop_ = false;
  bool direct_ = false;
  std::thread writer_;

  // The writer's own, or the caller's once the writer is joined.
  std::int64_t written_ = 0;  // bytes written so far
  std::int64_t started_ = 0;  // write-back has been started for the bytes before this

  char* current_ = nullptr;  // the caller's buffer between Buffer and Commit
};

}  // namespace gantrell
