#pragma once
// The inflater of Deflate entries, with the CRC-32 of what it gives: ISA-L where the build
// has it (about twice zlib's speed on the benchmark archive, CRC-32 included), zlib
// otherwise. Entries of other methods are left to libzip.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace rk5 {

class DeflateInflater {
 public:
  static std::unique_ptr<DeflateInflater> Make();
  virtual ~DeflateInflater() = default;

  // Starts a new raw Deflate stream.
  virtual void Reset() = 0;
  enum class Step { kMore, kEnd, kDamaged };
  // Takes what it can of `in` (advanced past what was taken) and writes at most `capacity`
  // bytes to `out`, `produced` of them. kEnd once the stream's last block is out.
  virtual Step Inflate(const unsigned char*& in, std::size_t& in_size, char* out,
                       std::size_t capacity, std::size_t& produced) = 0;
  // The CRC-32 of everything produced since Reset.
  virtual std::uint32_t Crc() const = 0;
};

}  // namespace rk5
