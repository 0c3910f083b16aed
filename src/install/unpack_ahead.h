#pragma once
// Unpacking while the archive arrives. A ZIP's local headers come before each entry's
// data, so entries can be written below the staging folder as their bytes come, on a
// thread of their own that runs only on idle processors. Nothing this pass writes is
// trusted: once the whole archive is there, the extractor checks every header the pass
// read against the central directory and keeps the files only when each is exactly what
// it would have written (ArrivedInPlace), unpacking the entries the pass did not reach;
// at any difference all of them are thrown away and the archive is unpacked from the file.
//
// The pass stops, leaving the rest to the normal unpacking, at anything it cannot settle
// by itself: an encrypted entry, sizes that follow the data, a method other than Stored
// or Deflate, a name that may not be written, a name met twice, data that does not match
// its header, or an entry that would cut into the disk's free-space margin; and when the
// archive comes faster than it unpacks.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "install/archive_digest.h"
#include "install/archive_layout.h"
#include "install/archive_platform.h"
#include "install/arriving_archive.h"

namespace rk5 {

// An entry the pass went past: its local header as it arrived.
struct ArrivedEntry {
  EntryRecord header;
  bool written = false;  // a file entry whose data matched its header, in place
  std::string path;      // where it was written
  std::optional<FileDigest> digest;  // of the bytes written, when it could be computed
};

class SpeculativeUnpack {
 public:
  // Makes the folder to write into, this run's own and empty, or tells there is none.
  // Called on the pass's thread, once, when the first file is about to be written, so
  // nothing is made while no byte of a file has arrived.
  using FolderMaker = std::function<std::optional<std::string>()>;
  // Starts at once.
  SpeculativeUnpack(ArrivingArchive& archive, ArchivePlatform platform, FolderMaker make_folder);
  // Stops waiting for bytes and waits for the thread.
  ~SpeculativeUnpack();
  SpeculativeUnpack(const SpeculativeUnpack&) = delete;
  SpeculativeUnpack& operator=(const SpeculativeUnpack&) = delete;

  // Stops the pass where it is and waits for its thread; the entries it went past, in the
  // archive's order, the last one possibly not written.
  const std::vector<ArrivedEntry>& Finish();
  // The pass's thread is through: before Finish, that is the pass having stopped by itself,
  // at the archive's end or at anything it cannot settle.
  bool Ended() const { return ended_.load(); }
  // The pass stops for good once it is this far behind the bytes that arrived.
  static constexpr std::uint64_t kBehindAtMost = 4 << 20;
  // How long the pass watches the first bytes come before it starts: more than
  // kBehindAtMost in that time (160 MiB/s) is more than it could follow.
  static constexpr std::chrono::milliseconds kPaceLook{25};

 private:
  void Run();
  bool FallenBehind();
  // Reads exactly `count` bytes at `offset`, waiting for them; false when they never come.
  bool ReadAt(std::uint64_t offset, std::size_t count, std::vector<unsigned char>& out);
  bool Unpack(ArrivedEntry& arrived, std::uint64_t data_offset);

  ArrivingArchive& archive_;
  ArchivePlatform platform_;
  FolderMaker make_folder_;
  std::string folder_;  // empty until made
  std::vector<ArrivedEntry> entries_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  std::atomic<std::uint64_t> reached_{0};  // the archive's bytes the pass is through
  std::thread thread_;
};

}  // namespace rk5
