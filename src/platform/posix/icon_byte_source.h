#pragma once
// Bounded random access to the bytes of a file being searched for its icon, so that only
// the few structures needed are read, never the whole of a large executable.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

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

// Little-endian fields of a buffer already checked to be long enough.
inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace rk5::platform
