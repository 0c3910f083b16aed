// A running copy for the busy-mark tests:
//   tool_busy_mark <runtime folder> <service> <topic in hex> [register]
// tries to hold the topic, prints "Taken", "HeldElsewhere" or "Unavailable" on a line of
// its own, then keeps what it holds until its input ends (or it is killed).
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/busy_marks.h"

namespace {

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  using rk5::platform::BusyMarks;
  std::unique_ptr<BusyMarks> marks = rk5::platform::MakeBusyMarks(argv[1]);
  if (argc > 4 && std::string(argv[4]) == "register" && !marks->RegisterService(argv[2])) {
    return 3;
  }
  const BusyMarks::Hold hold = marks->TryHold(argv[2], FromHex(argv[3]));
  const char* outcome = hold.outcome == BusyMarks::Outcome::Taken           ? "Taken"
                        : hold.outcome == BusyMarks::Outcome::HeldElsewhere ? "HeldElsewhere"
                                                                             : "Unavailable";
  std::printf("%s\n", outcome);
  std::fflush(stdout);
  char buffer[256];
  while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
  }
  return 0;
}
