#include "catalogue/minisign.h"

#include <openssl/evp.h>

#include <charconv>
#include <memory>
#include <vector>

namespace rk5 {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::string_view kTimestampField = "timestamp:";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict base64: whole groups of four, padding only at the end, no stray bits, and exactly
// `size` bytes out. A signature line with anything else in it is no signature.
template <std::size_t N>
std::optional<std::array<unsigned char, N>> DecodeBase64(std::string_view text) {
  constexpr std::size_t kEncoded = (N + 2) / 3 * 4;
  if (text.size() != kEncoded) return std::nullopt;
  const std::size_t padding = N % 3 == 0 ? 0 : 3 - N % 3;
  for (std::size_t i = kEncoded - padding; i < kEncoded; ++i) {
    if (text[i] != '=') return std::nullopt;
  }
  std::array<unsigned char, N> out{};
  std::size_t written = 0;
  std::uint32_t bits = 0;
  int held = 0;
  for (std::size_t i = 0; i < kEncoded - padding; ++i) {
    const int value = Base64Value(text[i]);
    if (value < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out[written++] = static_cast<unsigned char>(bits >> held);
      bits &= (1u << held) - 1;
    }
  }
  if (written != N || bits != 0) return std::nullopt;
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

// The next line without its line end (LF or CR LF); nullopt at the end of the text.
std::optional<std::string_view> NextLine(std::string_view& rest) {
  if (rest.empty()) return std::nullopt;
  const std::size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

bool Ed25519Verifies(const MinisignKey& key, std::string_view message,
                     const unsigned char* signature) {
  std::unique_ptr<EVP_PKEY, PkeyFree> pkey(EVP_PKEY_new_raw_public_key(
      EVP_PKEY_ED25519, nullptr, key.public_key.data(), key.public_key.size()));
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!pkey || !ctx) return false;
  if (EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) return false;
  return EVP_DigestVerify(ctx.get(), signature, 64,
                          reinterpret_cast<const unsigned char*>(message.data()),
                          message.size()) == 1;
}

std::optional<std::string> Blake2b512(std::string_view message) {
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_blake2b512(), nullptr) != 1 ||
      EVP_DigestUpdate(ctx.get(), message.data(), message.size()) != 1 ||
      EVP_DigestFinal_ex(ctx.get(), digest, &size) != 1 || size != 64) {
    return std::nullopt;
  }
  return std::string(reinterpret_cast<const char*>(digest), size);
}

}  // namespace

std::optional<MinisignKey> ParseMinisignKey(std::string_view line) {
  const auto raw = DecodeBase64<42>(TrimBlanks(line));
  if (!raw || (*raw)[0] != 'E' || (*raw)[1] != 'd') return std::nullopt;
  MinisignKey key;
  std::copy(raw->begin() + 2, raw->begin() + 10, key.key_id.begin());
  std::copy(raw->begin() + 10, raw->end(), key.public_key.begin());
  return key;
}

std::optional<VerifiedSignature> VerifyMinisign(const MinisignKey& key, std::string_view message,
                                                std::string_view signature_file) {
  std::string_view rest = signature_file;
  const auto untrusted = NextLine(rest);
  const auto signature_line = NextLine(rest);
  const auto trusted = NextLine(rest);
  const auto global_line = NextLine(rest);
  if (!global_line || untrusted->substr(0, kUntrustedPrefix.size()) != kUntrustedPrefix ||
      trusted->substr(0, kTrustedPrefix.size()) != kTrustedPrefix) {
    return std::nullopt;
  }
  // Nothing but blank lines may follow.
  while (const auto extra = NextLine(rest)) {
    if (!TrimBlanks(*extra).empty()) return std::nullopt;
  }
  const auto signature = DecodeBase64<74>(TrimBlanks(*signature_line));
  const auto global = DecodeBase64<64>(TrimBlanks(*global_line));
  if (!signature || !global) return std::nullopt;
  if (!std::equal(key.key_id.begin(), key.key_id.end(), signature->begin() + 2))
    return std::nullopt;

  const unsigned char* ed25519 = signature->data() + 10;
  const char a = static_cast<char>((*signature)[0]);
  const char b = static_cast<char>((*signature)[1]);
  if (a == 'E' && b == 'd') {
    if (!Ed25519Verifies(key, message, ed25519)) return std::nullopt;
  } else if (a == 'E' && b == 'D') {
    const auto digest = Blake2b512(message);
    if (!digest || !Ed25519Verifies(key, *digest, ed25519)) return std::nullopt;
  } else {
    return std::nullopt;
  }

  VerifiedSignature verified{std::string(trusted->substr(kTrustedPrefix.size()))};
  std::string signed_part(reinterpret_cast<const char*>(ed25519), 64);
  signed_part += verified.trusted_comment;
  if (!Ed25519Verifies(key, signed_part, global->data())) return std::nullopt;
  return verified;
}

std::optional<std::int64_t> TimestampOf(std::string_view trusted_comment) {
  std::string_view rest = trusted_comment;
  while (!rest.empty()) {
    const std::size_t tab = rest.find('\t');
    const std::string_view field = rest.substr(0, tab);
    rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab + 1);
    if (field.substr(0, kTimestampField.size()) != kTimestampField) continue;
    const std::string_view digits = field.substr(kTimestampField.size());
    std::int64_t seconds = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty() ||
        digits.front() == '-') {
      return std::nullopt;
    }
    return seconds;
  }
  return std::nullopt;
}

}  // namespace rk5
