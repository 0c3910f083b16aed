// The install transaction on archives of odd shape: unpacking into the staging folder,
// then the final moves and the record, as the download window makes them.
//   install_transaction_bench deep [levels]   one file under `levels` one-letter folders
//                                             (default 1,900)
//   install_transaction_bench wide [entries]  `entries` small files in folders of 1,000
//                                             (default 100,000)
//   ... [count] [copy.zip]                    also writes the archive to copy.zip, for the
//                                             reference tool to unpack in the same run
// Prints the time of each step and the size of the journal the final moves wrote.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "install/tool_installation.h"
#include "platform/creation_mask.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The real file tree, noting the journal's size when the final moves make their first
// folder (the journal is written just before and removed at the end).
class JournalWatch : public rk5::platform::FileTree {
 public:
  explicit JournalWatch(std::string journal) : journal_(std::move(journal)) {}
  long long journal_bytes = -1;
  bool FolderExists(const std::string& path) override { return real_->FolderExists(path); }
  bool Exists(const std::string& path) override { return real_->Exists(path); }
  bool CreateFolders(const std::string& path) override {
    struct stat st {};
    if (journal_bytes < 0 && ::stat(journal_.c_str(), &st) == 0) journal_bytes = st.st_size;
    return real_->CreateFolders(path);
  }
  bool CreateFoldersBelow(const std::string& base, const std::string& folder) override {
    return real_->CreateFoldersBelow(base, folder);
  }
  bool CanOpenForWriting(const std::string& path) override { return real_->CanOpenForWriting(path); }
  bool RemoveFile(const std::string& path) override { return real_->RemoveFile(path); }
  bool LinkBetween(const std::string& base, const std::string& folder) override {
    return real_->LinkBetween(base, folder);
  }

 private:
  std::string journal_;
  std::unique_ptr<rk5::platform::FileTree> real_ = rk5::platform::MakeFileTree();
};

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string shape = argc > 1 ? argv[1] : "deep";
  rk5::test::TempDir dir;
  const fs::path base = dir.path() / "Rk5", program = base / "Helper";
  fs::create_directories(program);
  rk5::test::WriteFileBytes(program / "Local.ini", "[Foo]\r\nName=Foo\r\nOBuild=2\r\n");
  const fs::path archive = program / "Foo.zip";

  rk5::test::ZipBuilder zip;
  if (shape == "deep") {
    const int levels = argc > 2 ? std::atoi(argv[2]) : 1900;
    std::string path = "Foo";
    for (int i = 1; i < levels; ++i) path += "/a";
    zip.File(path + "/f", "deep");
  } else {
    const int entries = argc > 2 ? std::atoi(argv[2]) : 100000;
    for (int i = 0; i < entries; ++i) {
      zip.Stored("Foo/d" + std::to_string(i / 1000) + "/f" + std::to_string(i), std::to_string(i));
    }
  }
  zip.WriteTo(archive);
  if (argc > 3) zip.WriteTo(argv[3]);

  rk5::InstallPlatform platform = rk5::InstallPlatform::ThisSystem();
  auto watch = std::make_shared<JournalWatch>(
      (base / rk5::StagingFolderName("Foo", platform.process_id) / "journal").string());
  platform.tree = watch;
  // The mask read once, as main() does: the fresh set would read it at every file.
  const unsigned mask = rk5::platform::ReadCreationMaskAtStart();
  rk5::ArchivePlatform files = rk5::ArchivePlatform::ThisSystem();
  files.stager = rk5::platform::MakeFileStager(mask);
  files.attributes = rk5::platform::MakeFileAttributes(mask);
  rk5::TArchiveExtractor unzip(files);
  unzip.ExtractOptions = {rk5::eoCreateDirs, rk5::eoRestorePath};

  const Clock::time_point start = Clock::now();
  rk5::ToolInstallation installation(platform, base.string() + "/", "Foo");
  rk5::InstallStatus status = installation.Unpack(unzip, archive.string());
  const double unpacked = Seconds(start);
  double finished = 0;
  if (status) {
    rk5::IniFile local((program / "Local.ini").string());
    const Clock::time_point moves = Clock::now();
    status = installation.Finish(local, {"Foo", "2", base.string() + "/Foo/", "", ""});
    finished = Seconds(moves);
  }
  std::printf("%s %s: unpack %.3f s, moves and record %.3f s, total %.3f s, journal %lld bytes, %s\n",
              shape.c_str(), argc > 2 ? argv[2] : "(default)", unpacked, finished, Seconds(start),
              watch->journal_bytes, status ? "installed" : ("failed: " + status.detail).c_str());
  return 0;
}
