#include "install/arriving_archive.h"

namespace rk5 {

class ArrivingArchive::Counted final : public platform::StagedFile {
 public:
  Counted(std::unique_ptr<platform::StagedFile> file, ArrivingArchive& owner)
      : file_(std::move(file)), owner_(owner) {}
  ~Counted() override { owner_.Published(written_, true); }
  const std::string& TempPath() const override { return file_->TempPath(); }
  const std::string& Target() const override { return file_->Target(); }
  bool Write(const char* data, std::size_t size) override {
    if (!file_->Write(data, size)) {
      owner_.Published(written_, true);
      return false;
    }
    if (owner_.with_digest_) owner_.digest_.Add(data, size);
    written_ += size;
    owner_.Published(written_, false);
    return true;
  }
  bool Close() override {
    owner_.Published(written_, true);
    const bool closed = file_->Close();
    std::lock_guard<std::mutex> hold(owner_.lock_);
    owner_.closed_ = closed;
    return closed;
  }
  bool MoveOverTarget() override { return file_->MoveOverTarget(); }
  void Discard() override {
    owner_.Published(written_, true);
    file_->Discard();
  }

 private:
  std::unique_ptr<platform::StagedFile> file_;
  ArrivingArchive& owner_;
  std::uint64_t written_ = 0;
};

std::unique_ptr<platform::StagedFile> ArrivingArchive::Stage(const std::string& target) {
  std::unique_ptr<platform::StagedFile> file = stager_.Stage(target);
  if (!file) {
    Published(0, true);
    return nullptr;
  }
  auto reader = std::make_unique<std::ifstream>(file->TempPath(), std::ios::binary);
  {
    std::lock_guard<std::mutex> hold(lock_);
    ++stagings_;
    if (!file_ && *reader) file_ = std::move(reader);
  }
  return std::make_unique<Counted>(std::move(file), *this);
}

void ArrivingArchive::Published(std::uint64_t bytes, bool ended) {
  if (ended_.load()) return;  // a second staging (a retried fetch) is not followed
  bytes_.store(bytes);
  if (ended) ended_.store(true);
  Wake();
}

void ArrivingArchive::Wake() {
  // The lock only when a reader sleeps: the reader runs on idle processors only, and the
  // fetch must never wait for it to be given one to let go of the lock.
  if (sleepers_.load() == 0) return;
  std::lock_guard<std::mutex> hold(lock_);
  changed_.notify_all();
}

std::uint64_t ArrivingArchive::WaitFor(std::uint64_t bytes) {
  return WaitFor(bytes, std::chrono::steady_clock::duration::max());
}

std::uint64_t ArrivingArchive::WaitFor(std::uint64_t bytes,
                                       std::chrono::steady_clock::duration at_most) {
  const auto there = [&] { return ended_.load() || bytes_.load() >= bytes; };
  if (!there()) {
    std::unique_lock<std::mutex> hold(lock_);
    ++sleepers_;
    if (at_most == std::chrono::steady_clock::duration::max()) {
      changed_.wait(hold, there);
    } else {
      changed_.wait_for(hold, at_most, there);
    }
    --sleepers_;
  }
  return bytes_.load();
}

bool ArrivingArchive::Read(std::uint64_t offset, std::size_t count, std::vector<unsigned char>& out) {
  if (WaitFor(offset + count) < offset + count) return false;
  std::ifstream* file = nullptr;
  {
    std::lock_guard<std::mutex> hold(lock_);
    file = file_.get();
  }
  if (file == nullptr) return false;
  out.resize(count);
  file->clear();
  return file->seekg(static_cast<std::streamoff>(offset)) &&
         file->read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(count));
}

std::optional<std::string> ArrivingArchive::Sha256() {
  std::lock_guard<std::mutex> hold(lock_);
  // A second staging (a retried fetch) wrote into the same digest.
  if (!with_digest_ || stagings_ != 1 || !closed_) return std::nullopt;
  return digest_.Hex();
}

void ArrivingArchive::Abandon() {
  ended_.store(true);
  Wake();
}

}  // namespace rk5
