#pragma once
// The optional archive checksum: a tool section's key SHA256 names the SHA-256 digest
// its downloaded archive must have.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
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
// The same for a digest already computed (nullopt: none could be).
bool DigestMatchesKey(const std::optional<std::string>& digest, std::string_view key);

// A SHA-256 digest computed piece by piece, as the bytes go by.
class Sha256Stream {
 public:
  Sha256Stream();
  ~Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;
  void Add(const char* data, std::size_t size);
  // Lower-case hex of everything added; nullopt when the library failed on the way.
  std::optional<std::string> Hex();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
  bool failed_ = false;
};

// The size and digest of a file computed from the bytes written into it, so that a
// manifest of hundreds of MiB need not read them back.
class DigestOnTheWay {
 public:
  void Add(const char* data, std::size_t size) {
    stream_.Add(data, size);
    size_ += size;
  }
  // Once, when everything was added; nullopt when the library failed on the way.
  std::optional<FileDigest> Finish();

 private:
  Sha256Stream stream_;
  std::uint64_t size_ = 0;
};

// The digests of the files an unpacking wrote, by path. A path written twice keeps the
// later digest. A path is known only under the very spelling it was written with, since a
// file system that ignores letter case may keep the earlier one's.
class WrittenDigests {
 public:
  void Add(const std::string& path, FileDigest digest);
  void Merge(WrittenDigests&& other);
  const FileDigest* Find(const std::string& path) const;

 private:
  struct Written {
    std::string path;
    FileDigest digest;
  };
  std::unordered_map<std::string, Written> by_folded_path_;
};

}  // namespace rk5
