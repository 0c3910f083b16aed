#include "platform/busy_marks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/posix/mark_file.h"
#include "platform/posix/private_folder.h"

namespace rk5::platform {
namespace {

// Marks folder/rk5helper/s<service>/: t<topic> held by the copy working on the topic,
// "registered" shared by every running copy of the service.
constexpr char kProgramFolder[] = "rk5helper";
constexpr char kServiceKind = 's';
constexpr char kTopicKind = 't';
constexpr char kRegistration[] = "registered";

using Folder = std::shared_ptr<const FileDescriptor>;

// The runtime folder the session gives this user, when it is what it claims to be.
FileDescriptor SessionRuntimeFolder() {
  const char* folder = std::getenv("XDG_RUNTIME_DIR");
  if (folder == nullptr || folder[0] != '/') return {};
  return OpenPrivateFolder(AT_FDCWD, folder, false);
}

FileDescriptor MarksFolder(const std::string& runtime_folder) {
  FileDescriptor base;
  if (!runtime_folder.empty()) {
    base = OpenPrivateFolder(AT_FDCWD, runtime_folder, true);
  } else {
    base = SessionRuntimeFolder();
    // A name anyone could take first; a folder not made by this user is refused.
    if (!base.valid()) {
      base = OpenPrivateFolder(AT_FDCWD, "/tmp/rk5helper-" + std::to_string(::geteuid()), true);
    }
  }
  if (!base.valid()) return {};
  return OpenPrivateFolder(base.get(), kProgramFolder, true);
}

class PosixBusyMark final : public BusyMark {
 public:
  PosixBusyMark(Folder folder, std::string name, FileDescriptor fd)
      : folder_(std::move(folder)), name_(std::move(name)), fd_(std::move(fd)) {}
  ~PosixBusyMark() override {
    // A kept mark's lock stays with its open descriptor, which the kernel closes, and so
    // lets go of, when the process ends.
    if (kept_) {
      fd_.Release();
      return;
    }
    ReleaseExclusiveMark(folder_->get(), name_, fd_);
  }
  void KeepUntilExit() override { kept_ = true; }

 private:
  Folder folder_;
  std::string name_;
  FileDescriptor fd_;
  bool kept_ = false;
};

struct Registration {
  Folder folder;
  FileDescriptor fd;
};

class PosixBusyMarks final : public BusyMarks {
 public:
  explicit PosixBusyMarks(FileDescriptor marks) : marks_(std::move(marks)) {}
  ~PosixBusyMarks() override {
    for (Registration& registration : registrations_) {
      ReleaseSharedMark(registration.folder->get(), kRegistration, registration.fd);
    }
  }

  bool RegisterService(const std::string& service) override {
    Folder folder = ServiceFolder(service);
    if (!folder) return false;
    MarkFile mark = LockMarkFile(folder->get(), kRegistration, false);
    if (mark.state != MarkLock::kHeld) return false;
    registrations_.push_back({std::move(folder), std::move(mark.fd)});
    return true;
  }

  Hold TryHold(const std::string& service, const std::string& topic) override {
    Folder folder = ServiceFolder(service);
    if (!folder) return {};
    std::string name = MarkFileName(kTopicKind, topic);
    MarkFile mark = LockMarkFile(folder->get(), name, true);
    switch (mark.state) {
      case MarkLock::kHeld:
        return {Outcome::Taken, std::make_unique<PosixBusyMark>(std::move(folder), std::move(name),
                                                                std::move(mark.fd))};
      case MarkLock::kHeldElsewhere:
        return {Outcome::HeldElsewhere, nullptr};
      case MarkLock::kFailed:
        break;
    }
    return {};
  }

  bool IsHeld(const std::string& service, const std::string& topic) override {
    const Folder folder = ServiceFolder(service);
    return folder && IsMarkHeld(folder->get(), MarkFileName(kTopicKind, topic));
  }

 private:
  Folder ServiceFolder(const std::string& service) {
    if (!marks_.valid()) return nullptr;
    FileDescriptor folder =
        OpenPrivateFolder(marks_.get(), MarkFileName(kServiceKind, service), true);
    if (!folder.valid()) return nullptr;
    return std::make_shared<const FileDescriptor>(std::move(folder));
  }

  FileDescriptor marks_;
  std::vector<Registration> registrations_;
};

}  // namespace

std::unique_ptr<BusyMarks> MakeBusyMarks(const std::string& runtime_folder) {
  return std::make_unique<PosixBusyMarks>(MarksFolder(runtime_folder));
}

}  // namespace rk5::platform
