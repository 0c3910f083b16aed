#include "platform/formats/icon_byte_source.h"

#include <cstring>

namespace rk5::platform {

std::optional<std::vector<uint8_t>> ByteSource::ReadBlock(uint64_t offset, uint64_t size,
                                                          uint64_t limit) const {
  // Checked before allocating, so a lying size costs nothing.
  if (size > limit || !Contains(offset, size)) return std::nullopt;
  std::vector<uint8_t> block(static_cast<size_t>(size));
  if (size != 0 && !Read(offset, block.data(), block.size())) return std::nullopt;
  return block;
}

std::optional<uint16_t> ByteSource::ReadU16(uint64_t offset) const {
  uint8_t b[2];
  if (!Read(offset, b, sizeof b)) return std::nullopt;
  return LoadU16(b);
}

std::optional<uint32_t> ByteSource::ReadU32(uint64_t offset) const {
  uint8_t b[4];
  if (!Read(offset, b, sizeof b)) return std::nullopt;
  return LoadU32(b);
}

bool MemoryByteSource::Read(uint64_t offset, void* out, size_t size) const {
  if (!Contains(offset, size)) return false;
  if (size != 0) std::memcpy(out, bytes_.data() + offset, size);
  return true;
}

}  // namespace rk5::platform
