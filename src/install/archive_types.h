#pragma once
// What the archive extraction reports: entries, failed entries, the outcome of one
// unpacking run, and the errors it raises to its caller.
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "install/archive_digest.h"

namespace rk5 {

// One entry of an open archive, as its central directory describes it.
struct ArchiveEntry {
  std::uint64_t index = 0;
  std::string name;               // stored name; a folder entry ends in a separator
  std::int64_t modified = 0;      // stored DOS date and time read as local time, Unix seconds
  std::uint8_t host_system = 0;   // system the archive was made on (high byte of "made by")
  std::uint32_t attributes = 0;   // stored external attributes
  bool encrypted = false;
  std::uint64_t size = 0;         // declared unpacked size
};

// Why an entry could not be unpacked.
enum class ExtractFailure {
  kOutsideBaseFolder,  // ".." step, absolute name or drive letter
  kFolderNotCreated,   // the target folder is missing and could not (or may not) be made
  kFileNotCreated,     // no file could be written there, or the old one cannot be replaced
  kDataDamaged,        // the data cannot be read or decompressed, is shorter than declared,
                       // or shares its bytes in the archive with another entry
  kChecksumMismatch,   // the unpacked data does not match the stored CRC-32
  kEncrypted,          // no password is ever given
  kLinkEntry,          // symbolic links are never created
  kLinkOnPath,         // a folder on the way below the base folder is a link: never followed
  kTooLarge,           // more data than declared, or more than the disk has room for
};

const char* DescribeFailure(ExtractFailure kind);

struct FailedEntry {
  std::uint64_t index = 0;
  std::string name;
  ExtractFailure kind = ExtractFailure::kDataDamaged;
};

// The outcome of one ExtractMatching call.
struct ExtractResult {
  std::uint64_t entries = 0;    // entries in the archive
  std::uint64_t matched = 0;    // entries the mask took
  std::uint64_t extracted = 0;  // files written
  std::uint64_t declined = 0;   // existing files the overwrite handler kept
  std::vector<FailedEntry> failures;
  WrittenDigests digests;  // with DigestWrittenFiles

  // Every matched entry was written or deliberately kept.
  bool Complete() const { return failures.empty(); }
};

enum TExtractOption { eoCreateDirs, eoRestorePath };

// A set of TExtractOption values.
class TExtractOptions {
 public:
  TExtractOptions() = default;
  TExtractOptions(std::initializer_list<TExtractOption> options) {
    for (TExtractOption o : options) bits_ |= Bit(o);
  }
  bool Has(TExtractOption o) const { return (bits_ & Bit(o)) != 0; }
  bool operator==(const TExtractOptions&) const = default;

 private:
  static unsigned Bit(TExtractOption o) { return 1u << static_cast<unsigned>(o); }
  unsigned bits_ = 0;
};

// Raised to the caller: an archive that cannot be opened, a base folder that does not
// exist, or unpacking without an open archive.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised by ExtractMatching when a progress handler set Abort.
class ArchiveAborted : public ArchiveError {
 public:
  ArchiveAborted() : ArchiveError("Unpacking was aborted") {}
};

}  // namespace rk5
