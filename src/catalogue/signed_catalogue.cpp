#include "catalogue/signed_catalogue.h"

#include <charconv>

#include "catalogue/catalogue_keys.h"
#include "catalogue/minisign.h"
#include "catalogue/program_files.h"
#include "ini/ini_file.h"
#include "platform/atomic_file.h"
#include "platform/text.h"
#include "catalogue/messages.h"

namespace rk5 {
namespace {

// The key a publisher built in (CMake's RK5_PUBLIC_KEY); empty: none.
constexpr std::string_view kBuiltInPublicKey = RK5_PUBLIC_KEY;
constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;
// A ".minisig" is four short lines; a kept one larger than this is none.
constexpr std::size_t kMaxKeptSignature = 64 * 1024;

std::string SignatureFileOf(const std::string& program_folder) {
  return InFolder(program_folder, kCatalogueFile) + std::string(kSignatureSuffix);
}

std::int64_t AcceptedTimestamp(const IniFile& accepted) {
  const std::string text = Read(*accepted.Snapshot(), kAcceptedSection, accepted_key::Timestamp);
  std::int64_t seconds = 0;
  std::from_chars(text.data(), text.data() + text.size(), seconds);
  return seconds;
}

// The signing time when signature vouches for catalogue under policy's key.
std::optional<std::int64_t> SignedAt(const CataloguePolicy& policy, const std::string& catalogue,
                                     const std::string& signature) {
  const std::optional<MinisignKey> key = ParseMinisignKey(policy.public_key);
  if (!key) return std::nullopt;
  const std::optional<VerifiedSignature> verified = VerifyMinisign(*key, catalogue, signature);
  if (!verified) return std::nullopt;
  return TimestampOf(verified->trusted_comment);
}

}  // namespace

CataloguePolicy ReadCataloguePolicy(const IniDocument& settings) {
  CataloguePolicy policy;
  policy.public_key =
      std::string(platform::Trim(Read(settings, kServerSection, server_key::PublicKey), " \t"));
  if (policy.public_key.empty()) policy.public_key = std::string(kBuiltInPublicKey);
  policy.max_age_days = std::max(0, Read(settings, kServerSection, server_key::MaxAge));
  return policy;
}

CataloguePolicy ReadCataloguePolicy(const std::string& program_folder) {
  return ReadCataloguePolicy(*IniFile(InFolder(program_folder, kSettingsFile)).Snapshot());
}

CatalogueAcceptance AcceptSignedCatalogue(const std::string& program_folder,
                                          const CataloguePolicy& policy,
                                          const std::string& catalogue,
                                          const std::string& signature, std::int64_t now) {
  CatalogueAcceptance refused{nullptr, kSignatureNotValidText};
  const std::optional<std::int64_t> signed_at = SignedAt(policy, catalogue, signature);
  if (!signed_at) return refused;
  IniFile accepted(InFolder(program_folder, kAcceptedFile));
  if (*signed_at < AcceptedTimestamp(accepted)) return refused;  // rolled back
  if (policy.max_age_days > 0 && now - *signed_at > policy.max_age_days * kSecondsPerDay) {
    return refused;  // frozen: the publisher signs more often than this
  }

  // The time first: a catalogue kept without it could be rolled back behind.
  if (IniWriteResult written = accepted.WriteString(kAcceptedSection, accepted_key::Timestamp.name,
                                                    std::to_string(*signed_at));
      !written) {
    return {nullptr, written.message};
  }
  const std::string signature_file = SignatureFileOf(program_folder);
  if (!platform::ReplaceFileAtomically(signature_file, signature)) {
    return {nullptr, UnableToWrite(signature_file)};
  }
  const std::string catalogue_file = InFolder(program_folder, kCatalogueFile);
  if (!platform::ReplaceFileAtomically(catalogue_file, catalogue)) {
    return {nullptr, UnableToWrite(catalogue_file)};
  }
  return {std::make_shared<const IniDocument>(IniDocument::Parse(catalogue)), {}};
}

std::shared_ptr<const IniDocument> TrustedCatalogue(const std::string& program_folder,
                                                    const CataloguePolicy& policy) {
  const std::optional<std::string> catalogue =
      platform::ReadWholeFile(InFolder(program_folder, kCatalogueFile), kMaxIniFileSize);
  if (!catalogue) return nullptr;
  if (policy.Signed()) {
    const std::optional<std::string> signature =
        platform::ReadWholeFile(SignatureFileOf(program_folder), kMaxKeptSignature);
    if (!signature || !SignedAt(policy, *catalogue, *signature)) return nullptr;
  }
  return std::make_shared<const IniDocument>(IniDocument::Parse(*catalogue));
}

std::optional<std::string> SignedDigest(const std::string& program_folder,
                                        const CataloguePolicy& policy, const std::string& section) {
  const std::shared_ptr<const IniDocument> trusted = TrustedCatalogue(program_folder, policy);
  if (!trusted) return std::nullopt;
  const std::optional<std::string_view> digest = trusted->Value(section, tool_key::SHA256.name);
  if (!digest || digest->empty()) return std::nullopt;
  return std::string(*digest);
}

}  // namespace rk5
