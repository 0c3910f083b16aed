#pragma once
// Where each entry's bytes lie in the archive file. libzip reads an entry wherever its
// directory record points, whether or not another entry's bytes lie there too, so a small
// archive can declare one stored block a thousand times over. Entries that share bytes
// are damaged, whatever they unpack to.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rk5 {

// An entry as one of the archive's headers tells it, as stored: its central-directory
// record or its local header, and where that local header starts.
struct EntryRecord {
  std::string name;  // the stored bytes
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::uint64_t compressed_size = 0;
  std::uint64_t size = 0;
  std::uint64_t header_offset = 0;
};

// The central directory's records in directory order; nullopt when it cannot be walked
// (or does not hold `count` records).
std::optional<std::vector<EntryRecord>> DirectoryRecords(const std::string& archive_path,
                                                             std::uint64_t count);

// One flag per central-directory record, in directory order: true where the entry's local
// header and data overlap another entry's, or the directory itself. nullopt when the
// directory cannot be walked (or does not hold `count` records).
std::optional<std::vector<bool>> OverlappingEntries(const std::string& archive_path,
                                                    std::uint64_t count);

}  // namespace rk5
