#pragma once
// Entries of one archive unpacked on several threads. Each worker reads the archive through
// its own reader (a libzip handle serves one thread only); an entry's unpacked data comes
// back to the caller block by block, in order, through its job. A job holds at most a few
// blocks at a time, so memory stays bounded however large the entries are: a worker waits
// until the caller has taken the blocks before it unpacks more.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "install/archive_reader.h"

namespace rk5 {

class InflatePool;

// One entry handed to the pool. Only its submitter takes its blocks.
class InflateJob {
 public:
  // The next block of unpacked data into `block` (swapped in); false once every block was
  // taken and the entry's reading ended, whose outcome Outcome() then tells.
  bool NextBlock(std::vector<char>& block);
  ArchiveReader::ReadOutcome Outcome() const { return outcome_; }
  // Stops the unpacking of this entry; blocks not yet taken are dropped.
  void Cancel();

 private:
  friend class InflatePool;
  explicit InflateJob(InflatePool& pool, ArchiveEntry entry) : pool_(pool), entry_(std::move(entry)) {}

  InflatePool& pool_;
  const ArchiveEntry entry_;
  // Guarded by the pool's lock.
  std::deque<std::vector<char>> blocks_;
  bool done_ = false;
  bool cancelled_ = false;
  ArchiveReader::ReadOutcome outcome_ = ArchiveReader::ReadOutcome::kDamaged;
};

class InflatePool {
 public:
  // `workers` threads (at least one) reading `archive_path`, each with a block of
  // `block_size` bytes; a job holds at most `blocks_per_job` unpacked blocks.
  InflatePool(std::string archive_path, unsigned workers, std::size_t block_size,
              std::size_t blocks_per_job);
  // Cancels every job not yet ended and waits for the workers.
  ~InflatePool();
  InflatePool(const InflatePool&) = delete;
  InflatePool& operator=(const InflatePool&) = delete;

  // Jobs start in the order they were submitted.
  std::shared_ptr<InflateJob> Submit(const ArchiveEntry& entry);

  // The threads worth starting on this machine.
  static unsigned WorkersForThisMachine();

 private:
  friend class InflateJob;
  void Work(ArchiveReader* reader);
  void Run(ArchiveReader* reader, std::vector<char>& buffer, InflateJob& job);

  const std::string archive_path_;
  const std::size_t block_size_;
  const std::size_t blocks_per_job_;
  std::mutex lock_;
  std::condition_variable work_changed_;  // workers wait for jobs and for room
  std::condition_variable data_changed_;  // the submitter waits for blocks
  std::deque<std::shared_ptr<InflateJob>> pending_;
  std::vector<std::vector<char>> spare_;  // blocks the submitter has written out
  bool stopping_ = false;
  std::vector<std::unique_ptr<ArchiveReader>> readers_;  // one per worker; null: unreadable
  std::vector<std::thread> threads_;
};

}  // namespace rk5
