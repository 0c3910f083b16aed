#include "install/archive_digest.h"

#include <openssl/evp.h>

#include <atomic>
#include <memory>
#include <thread>

#include "platform/file_blocks.h"
#include "platform/text.h"

namespace rk5 {

std::optional<std::string> DigestFromKey(std::string_view key) {
  if (key.size() != 64) return std::nullopt;
  std::string digest(key);
  for (char& c : digest) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
  }
  return digest;
}

std::optional<std::string> Sha256OfFile(const std::string& file) {
  std::optional<FileDigest> digest = DigestOfFile(file);
  if (!digest) return std::nullopt;
  return std::move(digest->sha256);
}

// libcrypto (already in the process for HTTPS) hashes with the processor's SHA
// instructions where it has them: a 200 MiB archive in a fraction of a second.
struct Sha256Stream::Context {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
};

Sha256Stream::Sha256Stream() : context_(std::make_unique<Context>()) {
  failed_ = !context_->md || EVP_DigestInit_ex(context_->md.get(), EVP_sha256(), nullptr) != 1;
}

Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::Add(const char* data, std::size_t size) {
  failed_ = failed_ || EVP_DigestUpdate(context_->md.get(), data, size) != 1;
}

std::optional<std::string> Sha256Stream::Hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (failed_ || EVP_DigestFinal_ex(context_->md.get(), digest, &length) != 1) return std::nullopt;
  failed_ = true;  // finished: nothing more can be added
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xf];
  }
  return hex;
}

std::optional<FileDigest> DigestOfFile(const std::string& file) {
  Sha256Stream stream;
  FileDigest result;
  const bool read = platform::ReadFileBlocks(file, [&](const char* data, std::size_t size) {
    result.size += size;
    stream.Add(data, size);
    return true;
  });
  std::optional<std::string> hex = stream.Hex();
  if (!read || !hex) return std::nullopt;
  result.sha256 = std::move(*hex);
  return result;
}

std::vector<std::optional<FileDigest>> DigestsOfFiles(const std::vector<std::string>& files,
                                                      unsigned threads) {
  std::vector<std::optional<FileDigest>> digests(files.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < files.size();) digests[i] = DigestOfFile(files[i]);
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads && t < files.size(); ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  return digests;
}

bool ArchiveMatchesDigest(const std::string& file, std::string_view key) {
  return DigestFromKey(key) && DigestMatchesKey(Sha256OfFile(file), key);
}

bool DigestMatchesKey(const std::optional<std::string>& digest, std::string_view key) {
  std::optional<std::string> expected = DigestFromKey(key);
  return expected && digest && *digest == *expected;
}

std::optional<FileDigest> DigestOnTheWay::Finish() {
  std::optional<std::string> hex = stream_.Hex();
  if (!hex) return std::nullopt;
  return FileDigest{size_, std::move(*hex)};
}

void WrittenDigests::Add(const std::string& path, FileDigest digest) {
  by_folded_path_.insert_or_assign(platform::FoldCase(path), Written{path, std::move(digest)});
}

void WrittenDigests::Merge(WrittenDigests&& other) {
  for (auto& [folded, written] : other.by_folded_path_) {
    by_folded_path_.insert_or_assign(folded, std::move(written));
  }
  other.by_folded_path_.clear();
}

const FileDigest* WrittenDigests::Find(const std::string& path) const {
  const auto found = by_folded_path_.find(platform::FoldCase(path));
  return found != by_folded_path_.end() && found->second.path == path ? &found->second.digest : nullptr;
}

}  // namespace rk5
