#include "install/archive_types.h"

namespace rk5 {

const char* DescribeFailure(ExtractFailure kind) {
  switch (kind) {
    case ExtractFailure::kOutsideBaseFolder:
      return "outside the base folder";
    case ExtractFailure::kFolderNotCreated:
      return "folder not created";
    case ExtractFailure::kFileNotCreated:
      return "file not created";
    case ExtractFailure::kDataDamaged:
      return "data damaged";
    case ExtractFailure::kChecksumMismatch:
      return "checksum mismatch";
    case ExtractFailure::kEncrypted:
      return "encrypted";
    case ExtractFailure::kLinkEntry:
      return "link entry";
    case ExtractFailure::kLinkOnPath:
      return "link on the path";
    case ExtractFailure::kTooLarge:
      return "too large";
  }
  return "unknown";
}

}  // namespace rk5
