#pragma once
// The archive while it downloads: a stager for the fetch that passes everything to the
// stager it wraps and tells a reader on another thread where the bytes go and how many
// are there. The fetch writes only at the end of its temporary file, so every byte below
// the count is final.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "install/archive_digest.h"
#include "platform/staged_file.h"

namespace rk5 {

class ArrivingArchive final : public platform::FileStager {
 public:
  // with_digest: the SHA-256 of the bytes is computed as they go by (see Sha256).
  explicit ArrivingArchive(platform::FileStager& stager, bool with_digest = false)
      : stager_(stager), with_digest_(with_digest) {}

  // The fetch's side: its temporary file, whose writes are counted.
  std::unique_ptr<platform::StagedFile> Stage(const std::string& target) override;

  // The reader's side. Waits until at least `bytes` are in the file, or no more will come
  // (the file was closed or discarded, or Abandon was called); returns the count then.
  std::uint64_t WaitFor(std::uint64_t bytes);
  // The same, waiting no longer than at_most.
  std::uint64_t WaitFor(std::uint64_t bytes, std::chrono::steady_clock::duration at_most);
  // Exactly `count` bytes from `offset`, waiting for them; false when they never come.
  // Read through a descriptor of its own, opened when the file was staged, so the file's
  // move over the target does not matter. One reader at a time.
  bool Read(std::uint64_t offset, std::size_t count, std::vector<unsigned char>& out);
  // No more bytes are awaited: WaitFor returns at once from now on.
  void Abandon();
  // The SHA-256 of the bytes written, computed as they went by, once the file was staged
  // once and closed whole; nullopt otherwise, or without with_digest (the file must then
  // be read again).
  std::optional<std::string> Sha256();

 private:
  class Counted;
  void Published(std::uint64_t bytes, bool ended);
  void Wake();

  platform::FileStager& stager_;
  const bool with_digest_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::unique_ptr<std::ifstream> file_;  // set once, when the file is staged
  std::atomic<std::uint64_t> bytes_{0};
  std::atomic<bool> ended_{false};
  std::atomic<int> sleepers_{0};  // readers waiting for bytes, counted under the lock
  // The fetch's thread adds to it; read only after the file is closed.
  Sha256Stream digest_;
  int stagings_ = 0;
  bool closed_ = false;
};

}  // namespace rk5
