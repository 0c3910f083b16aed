#pragma once
// Minisign's key and detached signature formats, checked with libcrypto's Ed25519 and
// BLAKE2b-512. Key making and signing stay with the minisign tool; this side only reads.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rk5 {

struct MinisignKey {
  std::array<unsigned char, 8> key_id{};
  std::array<unsigned char, 32> public_key{};
};

// The base64 line of a ".pub" file (blanks around it ignored): "Ed", the key id and the
// Ed25519 public key. nullopt for anything else.
std::optional<MinisignKey> ParseMinisignKey(std::string_view line);

// What a signature that verified vouches for: the trusted comment's text, after
// "trusted comment: ".
struct VerifiedSignature {
  std::string trusted_comment;
};

// Checks a ".minisig" file against message and key: the untrusted comment line, the
// signature line (algorithm "Ed" over the message itself or "ED" over its BLAKE2b-512
// digest, the key's id), the trusted comment line and the global signature over
// signature and trusted comment. nullopt when any part is missing, malformed or wrong.
std::optional<VerifiedSignature> VerifyMinisign(const MinisignKey& key, std::string_view message,
                                                std::string_view signature_file);

// The "timestamp:<seconds>" field of a trusted comment (fields are separated by tabs);
// nullopt without one, or with one that is no number.
std::optional<std::int64_t> TimestampOf(std::string_view trusted_comment);

}  // namespace rk5
