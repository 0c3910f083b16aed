// Busy marks as named semaphores in this session's namespace ("Local\"): a mark exists
// exactly while a handle to it is open, and the system closes a process's handles when
// it ends however it ends, so a crashed copy frees its marks.
#include "platform/busy_marks.h"

#include <windows.h>

#include <vector>

#include "platform/formats/fnv_hash.h"
#include "platform/formats/mark_file_name.h"
#include "platform/text.h"
#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

constexpr char kNamespace[] = "Local\\rk5helper-";

// Any text, "\" included (which an object name may not hold), names one object, and
// letter case does not matter. The service goes in by its hash, so that a name for both
// stays below the 260 characters the system allows.
std::string ServicePart(const std::string& service) { return "s" + FnvHex(FoldCase(service)); }

std::wstring TopicName(const std::string& service, const std::string& topic) {
  return Widen(kNamespace + ServicePart(service) + "-" + MarkFileName('t', topic));
}

constexpr wchar_t kHeldSuffix[] = L"-held";

std::wstring RegistrationName(const std::string& service) {
  return Widen(kNamespace + ServicePart(service) + "-registered");
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
