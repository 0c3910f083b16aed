#include "platform/formats/icon_dib.h"

#include <vector>

#include "platform/formats/little_endian.h"

namespace rk5::platform {
namespace {

constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

uint64_t RowBytes(uint64_t width, uint64_t bits) { return (width * bits + 31) / 32 * 4; }

uint32_t Opaque(uint8_t blue, uint8_t green, uint8_t red) {
  return 0xFF000000u | (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
}

}  // namespace

std::optional<IconPicture> DecodeDibIcon(std::span<const uint8_t> data) {
  if (data.size() < kInfoHeaderBytes) return std::nullopt;
  const uint32_t header_bytes = LoadU32(&data[0]);
  const auto width = static_cast<int32_t>(LoadU32(&data[4]));
  const auto both_heights = static_cast<int32_t>(LoadU32(&data[8]));  // colour rows + mask rows
  const uint32_t bits = LoadU16(&data[14]);
  const uint32_t compression = LoadU32(&data[16]);
  const uint32_t colours_used = LoadU32(&data[32]);
  if (header_bytes < kInfoHeaderBytes || header_bytes > data.size()) return std::nullopt;
  if (width < 1 || width > kMaxDibIconSide) return std::nullopt;
  if (both_heights < 2 || both_heights / 2 > kMaxDibIconSide) return std::nullopt;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return std::nullopt;
  // Bit fields are the plain 8-bit channels in every icon that uses them.
  if (compression != kBiRgb && !(compression == kBiBitfields && bits == 32)) return std::nullopt;
  const int height = both_heights / 2;

  uint64_t table_at = header_bytes;
  if (compression == kBiBitfields && header_bytes == kInfoHeaderBytes) table_at += 12;
  const uint64_t palette_size = bits <= 8 ? (uint64_t{1} << bits) : 0;
  if (colours_used > 256) return std::nullopt;
  const uint64_t table_entries = colours_used != 0 ? colours_used : palette_size;
  const uint64_t pixels_at = table_at + 4 * table_entries;
  const uint64_t row_bytes = RowBytes(width, bits);
  const uint64_t mask_row_bytes = RowBytes(width, 1);
  const uint64_t mask_at = pixels_at + row_bytes * height;
  if (mask_at > data.size()) return std::nullopt;
  const bool has_mask = mask_at + mask_row_bytes * height <= data.size();

  std::vector<uint32_t> palette(palette_size, 0xFF000000u);
  for (uint64_t i = 0; i < palette_size && i < table_entries; ++i) {
    const uint8_t* q = &data[table_at + 4 * i];
    palette[i] = Opaque(q[0], q[1], q[2]);
  }

  IconPicture picture;
  picture.width = width;
  picture.height = height;
  picture.pixels.resize(static_cast<size_t>(width) * height);
  bool any_alpha = false;
  for (int row = 0; row < height; ++row) {
    const uint8_t* in = &data[pixels_at + row_bytes * row];
    uint32_t* out = &picture.pixels[static_cast<size_t>(height - 1 - row) * width];
    for (int x = 0; x < width; ++x) {
      switch (bits) {
        case 32: {
          const uint8_t* p = in + 4 * x;
          out[x] = (uint32_t{p[3]} << 24) | (Opaque(p[0], p[1], p[2]) & 0xFFFFFFu);
          any_alpha = any_alpha || p[3] != 0;
          break;
        }
        case 24: {
          const uint8_t* p = in + 3 * x;
          out[x] = Opaque(p[0], p[1], p[2]);
          break;
        }
        default: {
          const int per_byte = 8 / static_cast<int>(bits);
          const int shift = 8 - static_cast<int>(bits) * (x % per_byte + 1);
          const uint32_t index = (in[x / per_byte] >> shift) & ((1u << bits) - 1);
          out[x] = palette[index];
          break;
        }
      }
    }
  }
  if (any_alpha) return picture;

  for (int row = 0; row < height; ++row) {
    const uint8_t* mask = has_mask ? &data[mask_at + mask_row_bytes * row] : nullptr;
    uint32_t* out = &picture.pixels[static_cast<size_t>(height - 1 - row) * width];
    for (int x = 0; x < width; ++x) {
      const bool transparent = mask != nullptr && ((mask[x / 8] >> (7 - x % 8)) & 1) != 0;
      out[x] = transparent ? (out[x] & 0xFFFFFFu) : (out[x] | 0xFF000000u);
    }
  }
  return picture;
}

}  // namespace rk5::platform
