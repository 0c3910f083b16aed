#include "support/processes.h"

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace rk5::test {

std::vector<int> ProcessesRunning(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path wanted = fs::weakly_canonical(path, ec);
  std::vector<int> pids;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code link_ec;
    fs::path exe = fs::read_symlink(entry.path() / "exe", link_ec);
    if (link_ec) continue;
    // A file replaced while it runs shows as "<path> (deleted)": that is another file.
    if (exe == wanted) pids.push_back(std::atoi(name.c_str()));
  }
  return pids;
}

std::vector<std::string> CommandLineOf(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::vector<std::string> arguments;
  std::string argument;
  while (std::getline(in, argument, '\0')) arguments.push_back(argument);
  return arguments;
}

bool KillProcessesRunning(const std::string& path) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    std::vector<int> pids = ProcessesRunning(path);
    if (pids.empty()) return true;
    if (std::chrono::steady_clock::now() > limit) return false;
    for (int pid : pids) ::kill(pid, SIGKILL);
    // A killed process stays in /proc until it is reaped; it does not take long.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace rk5::test
