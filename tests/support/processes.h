#pragma once
// The processes of this user that run a given executable, found through /proc: programs
// that a program under test started on its own and that the test must see and end.
#include <string>
#include <vector>

namespace rk5::test {

// Processes whose executable is the file at path (compared as the system resolves it).
std::vector<int> ProcessesRunning(const std::string& path);

// The arguments process pid was started with, its program's name first; empty when it
// is gone.
std::vector<std::string> CommandLineOf(int pid);

// Kills every process running path and waits until none is left; false when some stayed.
bool KillProcessesRunning(const std::string& path);

}  // namespace rk5::test
