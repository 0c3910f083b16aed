#include "gui/gauge/gauge_math.h"

namespace rk5 {
namespace {

struct U128 {
  uint64_t hi = 0;
  uint64_t lo = 0;
};

U128 Multiply(uint64_t a, uint64_t b) {
  const uint64_t a_lo = a & 0xffffffffu, a_hi = a >> 32;
  const uint64_t b_lo = b & 0xffffffffu, b_hi = b >> 32;
  const uint64_t p0 = a_lo * b_lo, p1 = a_lo * b_hi, p2 = a_hi * b_lo, p3 = a_hi * b_hi;
  const uint64_t mid = (p0 >> 32) + (p1 & 0xffffffffu) + (p2 & 0xffffffffu);
  return {p3 + (p1 >> 32) + (p2 >> 32) + (mid >> 32), (p0 & 0xffffffffu) | (mid << 32)};
}

int BitLength(uint64_t v) {
  int n = 0;
  while (v != 0) {
    ++n;
    v >>= 1;
  }
  return n;
}

// A positive value mantissa * 2^exponent with at most 64 significant bits.
struct Extended {
  uint64_t mantissa;
  int exponent;
};

// Rounds n * 2^exponent to 64 significant bits, to nearest with ties to even.
Extended RoundToExtended(U128 n, int exponent) {
  if (n.hi == 0) return {n.lo, exponent};
  const int shift = BitLength(n.hi);  // 1..64 bits above the lower word
  uint64_t mantissa = shift == 64 ? n.hi : (n.hi << (64 - shift)) | (n.lo >> shift);
  const uint64_t rest = shift == 64 ? n.lo : n.lo & ((uint64_t{1} << shift) - 1);
  const uint64_t half = uint64_t{1} << (shift - 1);
  int result_exponent = exponent + shift;
  if (rest > half || (rest == half && (mantissa & 1) != 0)) {
    if (mantissa == UINT64_MAX) {
      mantissa = uint64_t{1} << 63;
      ++result_exponent;
    } else {
      ++mantissa;
    }
  }
  return {mantissa, result_exponent};
}

uint64_t Magnitude(int32_t v) {
  return v < 0 ? uint64_t{0} - static_cast<uint64_t>(static_cast<int64_t>(v))
               : static_cast<uint64_t>(v);
}

}  // namespace

int64_t PercentOfRange(int64_t value, int64_t range) {
  if (range == 0) return 0;
  return value * 100 / range;
}

int64_t PercentDone(int32_t progress, int32_t min_value, int32_t max_value) {
  return PercentOfRange(int64_t{progress} - min_value, int64_t{max_value} - min_value);
}

int64_t SizeForPercent(int32_t percent, int32_t size) {
  if (percent == 0 || size == 0) return 0;
  const bool negative = (percent < 0) != (size < 0);
  const Extended share =
      RoundToExtended(Multiply(Magnitude(percent), kHundredthMantissa), kHundredthExponent);
  const Extended product =
      RoundToExtended(Multiply(Magnitude(size), share.mantissa), share.exponent);
  uint64_t whole = 0;
  if (product.exponent >= 0) {
    whole = product.mantissa << product.exponent;  // below 2^56 for 32-bit operands
  } else if (product.exponent > -64) {
    whole = product.mantissa >> -product.exponent;
  }
  const auto result = static_cast<int64_t>(whole);
  return negative ? -result : result;
}

}  // namespace rk5
