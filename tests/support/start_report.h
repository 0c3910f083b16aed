#pragma once
// What tests/tool_start_report saw when a program under test started it: the report it
// writes to $RK5_START_REPORT.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rk5::test {

struct StartReport {
  std::string folder;       // its working folder
  std::string descriptors;  // its open descriptors, blank-separated
  std::string session_role; // "leader" or "member"
  std::string session;
  std::vector<std::string> argv;
};

// The report in file once it is there (it is renamed into place whole); nullopt when it
// does not come (a hang guard) or is not a report.
std::optional<StartReport> AwaitStartReport(const std::filesystem::path& file);

}  // namespace rk5::test
