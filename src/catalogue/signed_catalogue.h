#pragma once
// Signed catalogues: with a publisher's key in force, a fetched catalogue is used only when
// its minisign signature verifies, its signing time is not older than the newest one this
// program folder has taken (no rollback), nor older than MaxAge days (no freeze). The
// catalogue and its signature are then kept beside the program, so that later steps
// (a download, the hand-over of a new build, the next start) can check again what they
// rely on.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ini/ini_document.h"

namespace rk5 {

// How far catalogues are trusted, from "Settings.ini" [Server] and the built-in key.
struct CataloguePolicy {
  std::string public_key;         // as configured; empty: catalogues are taken unsigned
  std::int32_t max_age_days = 0;  // 0: no limit
  bool Signed() const { return !public_key.empty(); }
};

CataloguePolicy ReadCataloguePolicy(const IniDocument& settings);
// From the "Settings.ini" in program_folder.
CataloguePolicy ReadCataloguePolicy(const std::string& program_folder);

// The outcome of taking a fetched catalogue: the parsed catalogue to merge, or the message
// the user is told (the signature is not valid, or a file beside the program could not be
// written).
struct CatalogueAcceptance {
  std::shared_ptr<const IniDocument> catalogue;
  std::string message;
  explicit operator bool() const { return catalogue != nullptr; }
};

// Checks catalogue and signature as fetched; when they pass, records the signing time
// and keeps both as "rk5h.ini" and "rk5h.ini.minisig". Nothing is written otherwise.
// now: seconds since the epoch.
CatalogueAcceptance AcceptSignedCatalogue(const std::string& program_folder,
                                          const CataloguePolicy& policy,
                                          const std::string& catalogue,
                                          const std::string& signature, std::int64_t now);

// The last catalogue a refresh kept, as later steps may rely on it: without a key,
// "rk5h.ini" as it lies; with one, only when it still verifies against the signature kept
// beside it. nullptr otherwise (also when there is none).
std::shared_ptr<const IniDocument> TrustedCatalogue(const std::string& program_folder,
                                                    const CataloguePolicy& policy);

// With a key in force, a fetched archive or build is used only when its section is in the
// trusted catalogue and names a SHA256 key there: that key; nullopt refuses it. Sections
// merged from an older unsigned catalogue stay in "Local.ini" but get nothing here.
std::optional<std::string> SignedDigest(const std::string& program_folder,
                                        const CataloguePolicy& policy, const std::string& section);

}  // namespace rk5
