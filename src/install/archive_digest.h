#pragma once
// The optional archive checksum: a tool section's key SHA256 names the SHA-256 digest
// its downloaded archive must have.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rk5 {

// The key's text as a digest: 64 hex digits, letter case ignored; lower case out.
std::optional<std::string> DigestFromKey(std::string_view key);

// The file's SHA-256 digest in lower-case hex, read in blocks; nullopt when it cannot be
// read to its end.
std::optional<std::string> Sha256OfFile(const std::string& file);

// The file's size and digest from the same single read.
struct FileDigest {
  std::uint64_t size = 0;
  std::string sha256;
};
std::optional<FileDigest> DigestOfFile(const std::string& file);
// Each file's, in the same order, read on up to `threads` threads at once.
std::vector<std::optional<FileDigest>> DigestsOfFiles(const std::vector<std::string>& files,
                                                      unsigned threads);

// False for a key that is no digest, a file that cannot be read, or another digest.
bool ArchiveMatchesDigest(const std::string& file, std::string_view key);

}  // namespace rk5
