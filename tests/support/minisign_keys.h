#pragma once
// A throwaway minisign key pair made by Debian's minisign binary in a scratch folder, and
// signatures it makes: what a publisher's side produces, for the program to check.
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace rk5::test {

// Whether the minisign binary is there (the setup script installs it).
bool HaveMinisign();

class MinisignKeys {
 public:
  MinisignKeys();  // "minisign -G -W"; PublicKeyLine() is empty when that failed

  const std::string& PublicKeyLine() const { return public_key_; }
  std::string SecretKeyFile() const { return dir_.file("sec").string(); }
  // The ".minisig" of bytes: prehashed by default, legacy with `legacy`; a trusted comment
  // of its own when given (minisign's own carries the signing time).
  std::string Sign(const std::string& bytes, bool legacy = false,
                   const std::optional<std::string>& trusted_comment = std::nullopt) const;

 private:
  TempDir dir_;
  std::string public_key_;
};

}  // namespace rk5::test
