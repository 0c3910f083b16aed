#include "install/archive_digest.h"

#include <QCryptographicHash>

#include "platform/file_blocks.h"

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
  QCryptographicHash hash(QCryptographicHash::Sha256);
  const bool read = platform::ReadFileBlocks(file, [&hash](const char* data, std::size_t size) {
    hash.addData(QByteArrayView(data, static_cast<qsizetype>(size)));
    return true;
  });
  if (!read) return std::nullopt;
  return hash.result().toHex().toStdString();
}

bool ArchiveMatchesDigest(const std::string& file, std::string_view key) {
  std::optional<std::string> expected = DigestFromKey(key);
  if (!expected) return false;
  std::optional<std::string> actual = Sha256OfFile(file);
  return actual && *actual == *expected;
}

}  // namespace rk5
