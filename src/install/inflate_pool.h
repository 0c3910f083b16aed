#pragma once
// Entries of one archive unpacked on several threads. Each worker reads the archive through
// its own reader (a libzip handle serves one thread only) and hands an entry's unpacked
// data, block by block and in order, to the sink its submitter gave: the writing, not only
// the inflating, is spread over the cores. Memory stays bounded however large the entries
// are: a worker holds one block.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "install/archive_reader.h"

namespace rk5 {

class InflatePool;

// One entry handed to the pool.
class InflateJob {
 public:
  // Waits until the entry was read to its end, or stopped; how that went.
  ArchiveReader::ReadOutcome Wait();

 private:
  friend class InflatePool;
  InflateJob(InflatePool& pool, ArchiveEntry entry, ArchiveReader::Sink sink,
             std::function<bool()> close)
      : pool_(pool), entry_(std::move(entry)), sink_(std::move(sink)), close_(std::move(close)) {}

  InflatePool& pool_;
  const ArchiveEntry entry_;
  const ArchiveReader::Sink sink_;
  const std::function<bool()> close_;
  // Guarded by the pool's lock.
  bool done_ = false;
  ArchiveReader::ReadOutcome outcome_ = ArchiveReader::ReadOutcome::kDamaged;
};

class InflatePool {
 public:
  // `workers` threads (at least one) reading `archive_path`, each with a block of
  // `block_size` bytes.
  InflatePool(std::string archive_path, unsigned workers, std::size_t block_size);
  // Stops every job not yet ended (their sinks see no more data) and waits for the workers.
  ~InflatePool();
  InflatePool(const InflatePool&) = delete;
  InflatePool& operator=(const InflatePool&) = delete;

  // Jobs start in the order they were submitted. `sink` and then, once every byte went
  // through it with size and CRC-32 as stored, `close` run on a worker; a false from
  // either makes the outcome kSinkFailed.
  std::shared_ptr<InflateJob> Submit(const ArchiveEntry& entry, ArchiveReader::Sink sink,
                                     std::function<bool()> close);

  // The threads worth starting on this machine.
  static unsigned WorkersForThisMachine();

 private:
  friend class InflateJob;
  void Work(ArchiveReader* reader);
  ArchiveReader::ReadOutcome Run(ArchiveReader* reader, std::vector<char>& buffer, InflateJob& job);

  const std::string archive_path_;
  const std::size_t block_size_;
  std::mutex lock_;
  std::condition_variable work_changed_;  // workers wait for jobs
  std::condition_variable job_ended_;     // the submitter waits for a job's end
  std::deque<std::shared_ptr<InflateJob>> pending_;
  std::atomic<bool> stopping_{false};
  std::vector<std::unique_ptr<ArchiveReader>> readers_;  // one per worker; null: unreadable
  std::vector<std::thread> threads_;
};

}  // namespace rk5
