#include <zlib.h>

#include "install/deflate_inflater.h"

namespace rk5 {
namespace {

class ZlibInflater final : public DeflateInflater {
 public:
  ZlibInflater() { ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }  // raw Deflate
  ~ZlibInflater() override {
    if (ok_) inflateEnd(&stream_);
  }

  void Reset() override {
    if (ok_) ok_ = inflateReset(&stream_) == Z_OK;
    crc_ = crc32(0, nullptr, 0);
  }

  Step Inflate(const unsigned char*& in, std::size_t& in_size, char* out, std::size_t capacity,
               std::size_t& produced) override {
    if (!ok_) return Step::kDamaged;
    stream_.next_in = const_cast<Bytef*>(in);
    stream_.avail_in = static_cast<uInt>(in_size);
    stream_.next_out = reinterpret_cast<Bytef*>(out);
    stream_.avail_out = static_cast<uInt>(capacity);
    const int status = inflate(&stream_, Z_NO_FLUSH);
    in = stream_.next_in;
    in_size = stream_.avail_in;
    produced = capacity - stream_.avail_out;
    crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(out), static_cast<uInt>(produced));
    if (status == Z_STREAM_END) return Step::kEnd;
    return status == Z_OK || status == Z_BUF_ERROR ? Step::kMore : Step::kDamaged;
  }

  std::uint32_t Crc() const override { return static_cast<std::uint32_t>(crc_); }

 private:
  z_stream stream_{};
  bool ok_ = false;
  uLong crc_ = 0;
};

}  // namespace

std::unique_ptr<DeflateInflater> DeflateInflater::Make() {
  auto inflater = std::make_unique<ZlibInflater>();
  inflater->Reset();
  return inflater;
}

}  // namespace rk5
