#include "install/archive_reader.h"

#include <zip.h>

#include <memory>

#include "install/deflate_inflater.h"

namespace rk5 {
namespace {

struct FileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

constexpr std::size_t kInputBlock = 64 * 1024;

bool IsPasswordError(int code) {
  return code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP;
}

}  // namespace

ArchiveReader::ArchiveReader(const std::string& path) {
  zip_error_t error;
  zip_error_init(&error);
  auto fail = [&](const std::string& why) {
    zip_error_fini(&error);
    throw ArchiveError("Cannot open the archive " + path + ": " + why);
  };
  zip_source_t* source = zip_source_file_create(path.c_str(), 0, -1, &error);
  if (source == nullptr) fail(zip_error_strerror(&error));
  // libzip takes an empty file for an empty archive; for a download it means nothing came.
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_source_stat(source, &st) == 0 && (st.valid & ZIP_STAT_SIZE) != 0 && st.size == 0) {
    zip_source_free(source);
    fail("Not a zip archive");
  }
  zip_ = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (zip_ == nullptr) {
    zip_source_free(source);
    fail(zip_error_strerror(&error));
  }
  zip_error_fini(&error);
  zip_int64_t count = zip_get_num_entries(zip_, 0);
  count_ = count > 0 ? static_cast<std::uint64_t>(count) : 0;
  inflater_ = DeflateInflater::Make();
}

ArchiveReader::~ArchiveReader() {
  // Opened read-only: nothing is written back.
  zip_discard(zip_);
}

std::optional<ArchiveEntry> ArchiveReader::Entry(std::uint64_t index) const {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(zip_, index, 0, &st) != 0 || (st.valid & ZIP_STAT_NAME) == 0) {
    return std::nullopt;
  }
  ArchiveEntry entry;
  entry.index = index;
  entry.name = st.name;
  if ((st.valid & ZIP_STAT_MTIME) != 0) entry.modified = static_cast<std::int64_t>(st.mtime);
  if ((st.valid & ZIP_STAT_SIZE) != 0) entry.size = st.size;
  entry.encrypted =
      (st.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && st.encryption_method != ZIP_EM_NONE;
  zip_uint8_t host = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(zip_, index, 0, &host, &attributes) == 0) {
    entry.host_system = host;
    entry.attributes = attributes;
  }
  return entry;
}

ArchiveReader::ReadOutcome ArchiveReader::Read(const ArchiveEntry& entry,
                                               std::vector<char>& buffer, const Sink& sink) {
  zip_stat_t st;
  zip_stat_init(&st);
  constexpr zip_uint64_t kNeeded = ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC | ZIP_STAT_ENCRYPTION_METHOD;
  if (!entry.encrypted && zip_stat_index(zip_, entry.index, 0, &st) == 0 &&
      (st.valid & kNeeded) == kNeeded && st.comp_method == ZIP_CM_DEFLATE &&
      st.encryption_method == ZIP_EM_NONE) {
    return ReadDeflated(entry, st.crc, buffer, sink);
  }
  std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen_index(zip_, entry.index, 0));
  if (!file) {
    int code = zip_error_code_zip(zip_get_error(zip_));
    zip_error_clear(zip_);
    return IsPasswordError(code) ? ReadOutcome::kEncrypted : ReadOutcome::kDamaged;
  }
  std::uint64_t total = 0;
  for (;;) {
    zip_int64_t n = zip_fread(file.get(), buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0) {
      int code = zip_error_code_zip(zip_file_get_error(file.get()));
      return code == ZIP_ER_CRC ? ReadOutcome::kChecksumMismatch : ReadOutcome::kDamaged;
    }
    auto size = static_cast<std::uint64_t>(n);
    if (size > entry.size - total) return ReadOutcome::kTooLarge;
    total += size;
    if (!sink(buffer.data(), static_cast<std::size_t>(size))) return ReadOutcome::kSinkFailed;
  }
  return total == entry.size ? ReadOutcome::kComplete : ReadOutcome::kDamaged;
}

ArchiveReader::ReadOutcome ArchiveReader::ReadDeflated(const ArchiveEntry& entry, std::uint32_t crc,
                                                       std::vector<char>& buffer, const Sink& sink) {
  std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen_index(zip_, entry.index, ZIP_FL_COMPRESSED));
  if (!file) {
    zip_error_clear(zip_);
    return ReadOutcome::kDamaged;
  }
  if (input_.empty()) input_.resize(kInputBlock);
  inflater_->Reset();
  const unsigned char* in = input_.data();
  std::size_t in_size = 0;
  bool stored_end = false;  // every stored byte was taken from the archive
  std::uint64_t total = 0;
  for (;;) {
    if (in_size == 0 && !stored_end) {
      const zip_int64_t n = zip_fread(file.get(), input_.data(), input_.size());
      if (n < 0) return ReadOutcome::kDamaged;
      stored_end = n == 0;
      in = input_.data();
      in_size = static_cast<std::size_t>(n);
    }
    std::size_t produced = 0;
    const DeflateInflater::Step step =
        inflater_->Inflate(in, in_size, buffer.data(), buffer.size(), produced);
    if (step == DeflateInflater::Step::kDamaged) return ReadOutcome::kDamaged;
    if (produced > entry.size - total) return ReadOutcome::kTooLarge;
    total += produced;
    if (produced > 0 && !sink(buffer.data(), produced)) return ReadOutcome::kSinkFailed;
    if (step == DeflateInflater::Step::kEnd) break;
    // The stored bytes ended before the stream did.
    if (stored_end && in_size == 0 && produced == 0) return ReadOutcome::kDamaged;
  }
  if (inflater_->Crc() != crc) return ReadOutcome::kChecksumMismatch;
  return total == entry.size ? ReadOutcome::kComplete : ReadOutcome::kDamaged;
}

}  // namespace rk5
