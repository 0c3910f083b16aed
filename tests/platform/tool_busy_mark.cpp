// A running copy for the busy-mark tests:
//   tool_busy_mark <runtime folder> <service> <topic in hex> [register] [keep]
// tries to hold the topic, prints "Taken", "HeldElsewhere" or "Unavailable" on a line of
// its own, then keeps what it holds until its input ends (or it is killed). With "keep" the
// mark is kept until the process ends and its object is freed at once.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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
  const std::vector<std::string> options(argv + 4, argv + argc);
  const auto has = [&options](const char* option) {
    return std::find(options.begin(), options.end(), option) != options.end();
  };
  if (has("register") && !marks->RegisterService(argv[2])) return 3;
  BusyMarks::Hold hold = marks->TryHold(argv[2], FromHex(argv[3]));
  if (hold.mark && has("keep")) {
    hold.mark->KeepUntilExit();
    hold.mark.reset();
  }
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
