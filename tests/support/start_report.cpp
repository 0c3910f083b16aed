#include "support/start_report.h"

#include "support/event_wait.h"
#include "support/temp_dir.h"

namespace rk5::test {

std::optional<StartReport> AwaitStartReport(const std::filesystem::path& file) {
  if (!RunUntil([&] { return std::filesystem::exists(file); })) return std::nullopt;
  const std::string bytes = ReadFileBytes(file);
  std::vector<std::string> fields;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t end = bytes.find('\0', at);
    if (end == std::string::npos) return std::nullopt;
    fields.push_back(bytes.substr(at, end - at));
    at = end + 1;
  }
  if (fields.size() < 5) return std::nullopt;
  return StartReport{fields[0], fields[1], fields[2], fields[3],
                     std::vector<std::string>(fields.begin() + 4, fields.end())};
}

}  // namespace rk5::test
