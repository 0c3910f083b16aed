// Busy marks as named semaphores in this session's namespace ("Local\"): a mark exists
// exactly while a handle to it is open, and the system closes a process's handles when
// it ends however it ends, so a crashed copy frees its marks.
#include "platform/busy_marks.h"

#include <windows.h>

#include <vector>

#include "platform/text.h"
#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

constexpr char kNamespace[] = "Local\\rk5helper-";
// Texts up to this length are named by all their bytes; longer ones by a head, their
// length and a hash, so that a name for both stays below the 260 characters the system
// allows.
constexpr std::size_t kWholeTextBytes = 50;
constexpr std::size_t kHeadBytes = 20;

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::uint64_t Fnv1a(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3ULL;
  return hash;
}

// Any text, "\" included (which an object name may not hold), names one object; letter
// case does not matter.
std::string Encoded(std::string_view text) {
  const std::string folded = FoldCase(text);
  if (folded.size() <= kWholeTextBytes) return Hex(folded);
  std::string length_and_hash = std::to_string(folded.size()) + "-";
  const std::uint64_t hash = Fnv1a(folded);
  for (int shift = 56; shift >= 0; shift -= 8) length_and_hash += Hex(std::string(1, char(hash >> shift)));
  return Hex(folded.substr(0, kHeadBytes)) + "-" + length_and_hash;
}

std::wstring TopicName(const std::string& service, const std::string& topic) {
  return Widen(kNamespace + Encoded(service) + "-t" + Encoded(topic));
}

constexpr wchar_t kHeldSuffix[] = L"-held";

std::wstring RegistrationName(const std::string& service) {
  return Widen(kNamespace + Encoded(service) + "-registered");
}

// A semaphore of one: unlike a mutex it has no owning thread, so a second take in the
// same process fails as one in another process does, and the mark outlives the thread
// that took it. Beside it the holder keeps an event open that says so, since a
// semaphore's count cannot be read without taking it.
class Win32BusyMark final : public BusyMark {
 public:
  Win32BusyMark(HANDLE semaphore, HANDLE held) : semaphore_(semaphore), held_(held) {}
  ~Win32BusyMark() override {
    if (kept_) return;  // the system closes both handles when the process ends
    ::CloseHandle(held_);
    ::ReleaseSemaphore(semaphore_, 1, nullptr);
    ::CloseHandle(semaphore_);
  }
  void KeepUntilExit() override { kept_ = true; }

 private:
  HANDLE semaphore_;
  HANDLE held_;
  bool kept_ = false;
};

class Win32BusyMarks final : public BusyMarks {
 public:
  ~Win32BusyMarks() override {
    for (HANDLE registration : registrations_) ::CloseHandle(registration);
  }

  bool RegisterService(const std::string& service) override {
    const HANDLE registration = ::CreateSemaphoreW(nullptr, 1, 1, RegistrationName(service).c_str());
    if (registration == nullptr) return false;
    registrations_.push_back(registration);
    return true;
  }

  // Opened (made when missing) and taken in one step: the wait takes its one count.
  Hold TryHold(const std::string& service, const std::string& topic) override {
    const std::wstring name = TopicName(service, topic);
    const HANDLE semaphore = ::CreateSemaphoreW(nullptr, 1, 1, name.c_str());
    if (semaphore == nullptr) return {};
    const DWORD waited = ::WaitForSingleObject(semaphore, 0);
    if (waited != WAIT_OBJECT_0) {
      ::CloseHandle(semaphore);
      return {waited == WAIT_TIMEOUT ? Outcome::HeldElsewhere : Outcome::Unavailable, nullptr};
    }
    const HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, (name + kHeldSuffix).c_str());
    if (held == nullptr) {
      ::ReleaseSemaphore(semaphore, 1, nullptr);
      ::CloseHandle(semaphore);
      return {};
    }
    return {Outcome::Taken, std::make_unique<Win32BusyMark>(semaphore, held)};
  }

  // Asked of the holder's event, never of the semaphore, so a probe cannot make another
  // copy's take fail. The event exists while a holder (or a probe right now) has it open.
  bool IsHeld(const std::string& service, const std::string& topic) override {
    const std::wstring name = TopicName(service, topic) + kHeldSuffix;
    const HANDLE held = ::OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
    if (held == nullptr) return false;
    ::CloseHandle(held);
    return true;
  }

 private:
  std::vector<HANDLE> registrations_;
};

}  // namespace

// The session's namespace replaces a runtime folder here.
std::unique_ptr<BusyMarks> MakeBusyMarks(const std::string& /*runtime_folder*/) {
  return std::make_unique<Win32BusyMarks>();
}

}  // namespace rk5::platform
