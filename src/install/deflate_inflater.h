#pragma once
// A faster inflater than libzip's (zlib) for Deflate entries, where the build has one
// (ISA-L: about twice zlib's speed on the benchmark archive, CRC-32 included). Without it
// the archive reader lets libzip unpack every entry, as it does entries of other methods.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace rk5 {

class DeflateInflater {
 public:
  // nullptr when this build has no inflater of its own.
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
