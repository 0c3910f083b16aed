#pragma once
// The archive as libzip reads it: opened read-only, its entries in central-directory
// order, and an entry's data unpacked block by block with its CRC-32 checked. Deflate
// entries go through this build's inflater (deflate_inflater.h), the others through libzip.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "install/archive_types.h"

struct zip;

namespace rk5 {

class DeflateInflater;

// One reader serves one thread at a time.
class ArchiveReader {
 public:
  // Opens the file for reading only (other programs may go on reading and writing it)
  // and reads its central directory. Throws ArchiveError when the file cannot be read,
  // is no ZIP archive (an empty file included) or its directory is damaged.
  explicit ArchiveReader(const std::string& path);
  ~ArchiveReader();
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  std::uint64_t Count() const { return count_; }
  // nullopt when the directory holds no usable record for that index.
  std::optional<ArchiveEntry> Entry(std::uint64_t index) const;

  enum class ReadOutcome {
    kComplete,          // all data read to its end, size and CRC-32 as stored
    kDamaged,           // unreadable, undecompressable, or shorter than declared
    kChecksumMismatch,  // read to its end, but the CRC-32 differs
    kEncrypted,         // needs a password
    kTooLarge,          // more data than declared; the excess was not passed on
    kSinkFailed,        // the sink refused a block
  };
  // Passes the entry's unpacked data to `sink` in blocks of at most buffer.size() bytes.
  // Always reads to the end of the data, since only then is the CRC-32 checked.
  using Sink = std::function<bool(const char* data, std::size_t size)>;
  ReadOutcome Read(const ArchiveEntry& entry, std::vector<char>& buffer, const Sink& sink);

 private:
  // A Deflate entry's stored bytes through this build's own inflater.
  ReadOutcome ReadDeflated(const ArchiveEntry& entry, std::uint32_t crc,
                           std::vector<char>& buffer, const Sink& sink);

  struct zip* zip_ = nullptr;
  std::uint64_t count_ = 0;
  std::unique_ptr<DeflateInflater> inflater_;
  std::vector<unsigned char> input_;
};

}  // namespace rk5
