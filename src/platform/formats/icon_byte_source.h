#pragma once
// Bounded random access to the bytes of a file being searched for its icon, so that only
// the few structures needed are read, never the whole of a large executable.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/formats/little_endian.h"

namespace rk5::platform {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Copies size bytes from offset; false when any of them lies outside the source or
  // cannot be read.
  virtual bool Read(uint64_t offset, void* out, size_t size) const = 0;

  // The range lies wholly inside the source (no overflow on the way).
  bool Contains(uint64_t offset, uint64_t size) const {
    return offset <= Size() && size <= Size() - offset;
  }
  // A copy of the range, or none when it does not lie inside the source or exceeds limit.
  std::optional<std::vector<uint8_t>> ReadBlock(uint64_t offset, uint64_t size,
                                                uint64_t limit) const;
  std::optional<uint16_t> ReadU16(uint64_t offset) const;
  std::optional<uint32_t> ReadU32(uint64_t offset) const;
};

// Bytes held in memory (a fuzzer's input, an icon file's image).
class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool Read(uint64_t offset, void* out, size_t size) const override;

 private:
  std::span<const uint8_t> bytes_;
};

}  // namespace rk5::platform
