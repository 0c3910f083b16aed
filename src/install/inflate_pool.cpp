#include "install/inflate_pool.h"

#include <algorithm>

namespace rk5 {

bool InflateJob::NextBlock(std::vector<char>& block) {
  std::unique_lock<std::mutex> hold(pool_.lock_);
  pool_.data_changed_.wait(hold, [this] { return !blocks_.empty() || done_; });
  if (blocks_.empty()) return false;
  // The caller's spent block goes back for a worker to fill, so no block is allocated
  // (and its pages touched anew) per read.
  if (block.capacity() != 0) pool_.spare_.push_back(std::move(block));
  block = std::move(blocks_.front());
  blocks_.pop_front();
  pool_.work_changed_.notify_all();
  return true;
}

void InflateJob::Cancel() {
  std::lock_guard<std::mutex> hold(pool_.lock_);
  cancelled_ = true;
  blocks_.clear();
  pool_.work_changed_.notify_all();
}

InflatePool::InflatePool(std::string archive_path, unsigned workers, std::size_t block_size,
                         std::size_t blocks_per_job)
    : archive_path_(std::move(archive_path)),
      block_size_(block_size),
      blocks_per_job_(std::max<std::size_t>(blocks_per_job, 1)) {
  const unsigned count = std::max(workers, 1u);
  // The readers are opened here, one after the other: opening one is not safe on several
  // threads at once (libzip sets the time zone up as it reads the directory).
  readers_.resize(count);
  for (std::unique_ptr<ArchiveReader>& reader : readers_) {
    try {
      reader = std::make_unique<ArchiveReader>(archive_path_);
    } catch (const ArchiveError&) {
      // The file changed under the extractor: every entry this worker takes is damaged.
    }
  }
  threads_.reserve(count);
  for (unsigned i = 0; i < count; ++i) threads_.emplace_back([this, i] { Work(readers_[i].get()); });
}

InflatePool::~InflatePool() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
    for (auto& job : pending_) {
      job->cancelled_ = true;
      job->done_ = true;
    }
    pending_.clear();
  }
  work_changed_.notify_all();
  for (std::thread& t : threads_) t.join();
}

std::shared_ptr<InflateJob> InflatePool::Submit(const ArchiveEntry& entry) {
  std::shared_ptr<InflateJob> job(new InflateJob(*this, entry));
  {
    std::lock_guard<std::mutex> hold(lock_);
    pending_.push_back(job);
  }
  work_changed_.notify_all();
  return job;
}

unsigned InflatePool::WorkersForThisMachine() {
  // Unpacking is bound by the processor; more threads than cores only add switches, and
  // past four the disk rather than inflating sets the pace.
  return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

void InflatePool::Work(ArchiveReader* reader) {
  std::vector<char> buffer(block_size_);
  for (;;) {
    std::shared_ptr<InflateJob> job;
    {
      std::unique_lock<std::mutex> hold(lock_);
      work_changed_.wait(hold, [this] { return stopping_ || !pending_.empty(); });
      if (stopping_) return;
      job = std::move(pending_.front());
      pending_.pop_front();
    }
    Run(reader, buffer, *job);
  }
}

void InflatePool::Run(ArchiveReader* reader, std::vector<char>& buffer, InflateJob& job) {
  ArchiveReader::ReadOutcome outcome = ArchiveReader::ReadOutcome::kDamaged;
  if (reader != nullptr) {
    outcome = reader->Read(job.entry_, buffer, [this, &job](const char* data, std::size_t size) {
      std::unique_lock<std::mutex> hold(lock_);
      work_changed_.wait(hold, [this, &job] {
        return stopping_ || job.cancelled_ || job.blocks_.size() < blocks_per_job_;
      });
      if (stopping_ || job.cancelled_) return false;
      std::vector<char> block;
      if (!spare_.empty()) {
        block = std::move(spare_.back());
        spare_.pop_back();
      }
      block.assign(data, data + size);
      job.blocks_.push_back(std::move(block));
      data_changed_.notify_all();
      return true;
    });
  }
  std::lock_guard<std::mutex> hold(lock_);
  job.outcome_ = outcome;
  job.done_ = true;
  data_changed_.notify_all();
}

}  // namespace rk5
