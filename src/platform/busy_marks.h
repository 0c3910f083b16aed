#pragma once
// Marks that running copies of the program leave for each other: each copy registers
// under its service name, and a copy working on a tool holds a topic named after the
// tool's section. A mark lives exactly as long as its holder: it vanishes when the holder
// lets go or ends, however it ends.
#include <memory>
#include <string>

namespace rk5::platform {

// Held while it exists; destroying it lets go.
class BusyMark {
 public:
  virtual ~BusyMark() = default;
  // From now on the mark goes only with the process, not with this object: for a copy
  // that must be seen as running until its very last step.
  virtual void KeepUntilExit() = 0;
};

class BusyMarks {
 public:
  virtual ~BusyMarks() = default;
  // Registers this copy under service (kept until the BusyMarks object is destroyed).
  // False when the marks folder cannot be used.
  virtual bool RegisterService(const std::string& service) = 0;
  // Probe and take in one step, so two copies can never both take a topic. Topics
  // compare without regard to ASCII letter case; no topic text can name a file outside
  // the marks folder.
  enum class Outcome { Taken, HeldElsewhere, Unavailable };
  struct Hold {
    Outcome outcome = Outcome::Unavailable;
    std::unique_ptr<BusyMark> mark;  // set when outcome is Taken
  };
  virtual Hold TryHold(const std::string& service, const std::string& topic) = 0;
  // Whether a live copy holds topic under service right now.
  virtual bool IsHeld(const std::string& service, const std::string& topic) = 0;
};

// Marks in runtime_folder; empty: $XDG_RUNTIME_DIR, or a private folder made for this
// user when that is unset or unusable (not this user's, or open to others). A
// runtime_folder others could enter is not used either: every call then fails.
std::unique_ptr<BusyMarks> MakeBusyMarks(const std::string& runtime_folder = {});

}  // namespace rk5::platform
