#include "catalogue/update_hand_over.h"

#include <thread>

#include "catalogue/program_files.h"

namespace rk5 {
namespace {

// The mark lives under the installed executable's service, whatever the new build is
// called; no catalogue section can be named like its topic, so no tool's download
// collides with it.
constexpr std::string_view kService = kExecutableName;
constexpr std::string_view kTopic = "/update";

}  // namespace

std::unique_ptr<platform::BusyMark> HoldHandOver(platform::BusyMarks& marks) {
  platform::BusyMarks::Hold hold = marks.TryHold(std::string(kService), std::string(kTopic));
  return hold.outcome == platform::BusyMarks::Outcome::Taken ? std::move(hold.mark) : nullptr;
}

bool WaitForHandOver(platform::BusyMarks& marks, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // The old copy ends within moments of starting us; a short poll costs nothing here.
  constexpr auto kPoll = std::chrono::milliseconds(20);
  while (marks.IsHeld(std::string(kService), std::string(kTopic))) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(kPoll, deadline - now));
  }
  return true;
}

}  // namespace rk5
