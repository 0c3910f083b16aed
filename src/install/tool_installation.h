#pragma once
// Installing one tool so that it can't half-happen. The archive is unpacked first into a
// hidden staging folder inside the base folder (same file system, named after the section
// and the process); only when every entry is complete are the files moved into place,
// each replaced file kept aside, and then the record goes to "Local.ini" in one batch. A
// failure at any step puts back what was moved, so the older installation stays as it
// was and nothing is recorded. A journal in the staging folder lets the next start of the
// same tool finish or undo final moves that a killed copy left half done; it goes before
// anything staged is removed. An archive may not put files into the program's folder or
// another installed tool's, nor through a link below the base folder.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ini/ini_file.h"
#include "install/archive_digest.h"
#include "install/archive_extractor.h"
#include "install/install_record.h"
#include "platform/file_moves.h"
#include "platform/file_tree.h"
#include "platform/services.h"

namespace rk5 {

// The services an installation works through; tests hand in their own.
struct InstallPlatform {
  std::shared_ptr<platform::FileTree> tree;
  std::shared_ptr<platform::FileMoves> moves;
  std::uint64_t process_id = 0;
  char separator = '/';

  static InstallPlatform ThisSystem();
  // The run's services, which must outlive every installation given them.
  static InstallPlatform From(platform::Services& services);
};

enum class InstallFailure {
  kNone,
  kArchiveUnreadable,  // no readable ZIP archive
  kBaseUnusable,       // the base folder is missing or cannot take a staging folder
  kEntryFailed,        // an entry could not be unpacked completely
  kNotPlaceable,       // a file where a folder must go or the reverse, a link on the way, or
                       // a place inside the program's folder or another tool's
  kMoveFailed,         // a file could not be kept aside or moved into place
  kRecordNotWritten,   // "Local.ini" refused the record
  kRepairIncomplete,   // what a killed copy left could not be put right
};

struct InstallStatus {
  InstallFailure failure = InstallFailure::kNone;
  std::string detail;  // for diagnostics: the entry, file or message concerned
  explicit operator bool() const { return failure == InstallFailure::kNone; }
};

// The hidden staging folder's name for a section and a process.
std::string StagingFolderName(const std::string& section, std::uint64_t process_id);

class ToolInstallation {
 public:
  // install_base as the program computes it (trailing separator allowed).
  ToolInstallation(InstallPlatform platform, std::string install_base, std::string section);
  // Removes the staging folder unless a journal must stay there for the next start.
  ~ToolInstallation();
  ToolInstallation(const ToolInstallation&) = delete;
  ToolInstallation& operator=(const ToolInstallation&) = delete;

  // Makes the staging folder, so that unpacking may start while the archive arrives;
  // Unpack does it otherwise. Nothing is made when it fails.
  InstallStatus Begin();
  // Where the files are unpacked: inside the staging folder, once Begin succeeded.
  std::string UnpackFolder() const;

  // Opens archive_file in unzip, sets its BaseDirectory to the base folder, and unpacks
  // every entry ("*.*", with unzip's options and handlers) into the staging folder. What a
  // pass over the arriving archive wrote there (`arrived`) is taken when the extractor
  // finds it exact, and thrown away otherwise. Afterwards unzip's BaseDirectory reads the
  // normalised base folder again.
  InstallStatus Unpack(TArchiveExtractor& unzip, const std::string& archive_file,
                       const std::vector<ArrivedEntry>* arrived = nullptr);

  // Moves the unpacked files into place and writes record to local. On failure every
  // moved file is put back and nothing is written.
  InstallStatus Finish(IniFile& local, const InstallRecord& record);

 private:
  InstallPlatform platform_;
  std::string install_base_;
  std::string section_;
  std::string base_;     // normalised, as the extractor holds it
  std::string staging_;  // empty until made
  WrittenDigests written_;  // of the unpacked files, for the manifest
  bool unpacked_ = false;
  bool keep_staging_ = false;
};

// Puts right what killed installations of section (letter case ignored) left under
// install_base: final moves that all ended are recorded in local, any others are undone,
// and staging folders are removed. Call it while holding the tool's busy mark, before
// anything else is done for the tool. Fails, leaving the journal for a later try, when
// something could not be put back.
InstallStatus RepairInterruptedInstall(const InstallPlatform& platform,
                                       const std::string& install_base,
                                       const std::string& section, IniFile& local);

}  // namespace rk5
