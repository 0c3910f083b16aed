#include <isa-l/igzip_lib.h>

#include "install/deflate_inflater.h"

namespace rk5 {
namespace {

class IsalInflater final : public DeflateInflater {
 public:
  void Reset() override {
    isal_inflate_init(&state_);
    state_.crc_flag = ISAL_GZIP_NO_HDR;  // raw Deflate, with the CRC-32 of the output
  }

  Step Inflate(const unsigned char*& in, std::size_t& in_size, char* out, std::size_t capacity,
               std::size_t& produced) override {
    state_.next_in = const_cast<std::uint8_t*>(in);
    state_.avail_in = static_cast<std::uint32_t>(in_size);
    state_.next_out = reinterpret_cast<std::uint8_t*>(out);
    state_.avail_out = static_cast<std::uint32_t>(capacity);
    const int status = isal_inflate(&state_);
    in = state_.next_in;
    in_size = state_.avail_in;
    produced = capacity - state_.avail_out;
    if (status < 0 || status == ISAL_NEED_DICT) return Step::kDamaged;
    return state_.block_state == ISAL_BLOCK_FINISH ? Step::kEnd : Step::kMore;
  }

  std::uint32_t Crc() const override { return state_.crc; }

 private:
  inflate_state state_{};
};

}  // namespace

std::unique_ptr<DeflateInflater> DeflateInflater::Make() {
  auto inflater = std::make_unique<IsalInflater>();
  inflater->Reset();
  return inflater;
}

}  // namespace rk5
