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

// One flag per central-directory record, in directory order: true where the entry's local
// header and data overlap another entry's, or the directory itself. nullopt when the
// directory cannot be walked (or does not hold `count` records).
std::optional<std::vector<bool>> OverlappingEntries(const std::string& archive_path,
                                                    std::uint64_t count);

}  // namespace rk5
