#include "install/inflate_pool.h"

#include <algorithm>

namespace rk5 {

ArchiveReader::ReadOutcome InflateJob::Wait() {
  std::unique_lock<std::mutex> hold(pool_.lock_);
  pool_.job_ended_.wait(hold, [this] { return done_; });
  return outcome_;
}

InflatePool::InflatePool(std::string archive_path, unsigned workers, std::size_t block_size)
    : archive_path_(std::move(archive_path)), block_size_(block_size) {
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
    stopping_.store(true);
    for (auto& job : pending_) job->done_ = true;
    pending_.clear();
  }
  work_changed_.notify_all();
  job_ended_.notify_all();
  for (std::thread& t : threads_) t.join();
}

std::shared_ptr<InflateJob> InflatePool::Submit(const ArchiveEntry& entry, ArchiveReader::Sink sink,
                                                std::function<bool()> close) {
  std::shared_ptr<InflateJob> job(new InflateJob(*this, entry, std::move(sink), std::move(close)));
  {
    std::lock_guard<std::mutex> hold(lock_);
    pending_.push_back(job);
  }
  work_changed_.notify_one();
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
      work_changed_.wait(hold, [this] { return stopping_.load() || !pending_.empty(); });
      if (stopping_.load()) return;
      job = std::move(pending_.front());
      pending_.pop_front();
    }
    const ArchiveReader::ReadOutcome outcome = Run(reader, buffer, *job);
    {
      std::lock_guard<std::mutex> hold(lock_);
      job->outcome_ = outcome;
      job->done_ = true;
    }
    job_ended_.notify_all();
  }
}

ArchiveReader::ReadOutcome InflatePool::Run(ArchiveReader* reader, std::vector<char>& buffer,
                                            InflateJob& job) {
  if (reader == nullptr) return ArchiveReader::ReadOutcome::kDamaged;
  const ArchiveReader::ReadOutcome outcome =
      reader->Read(job.entry_, buffer, [this, &job](const char* data, std::size_t size) {
        return !stopping_.load(std::memory_order_relaxed) && job.sink_(data, size);
      });
  if (outcome != ArchiveReader::ReadOutcome::kComplete) return outcome;
  if (stopping_.load() || (job.close_ && !job.close_())) return ArchiveReader::ReadOutcome::kSinkFailed;
  return outcome;
}

}  // namespace rk5
