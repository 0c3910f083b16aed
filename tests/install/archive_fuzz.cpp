// libFuzzer target: arbitrary bytes are opened as an archive and unpacked, with and
// without stored paths, into a scratch base folder. Every path the extractor writes
// through must lie inside that folder; nothing else may appear in the scratch folder,
// no temporary file may be left behind, and progress must run up to 100 twice.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "install/archive_extractor.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Violation(const std::string& what, const std::string& path) {
  std::fprintf(stderr, "archive_fuzz: %s: %s\n", what.c_str(), path.c_str());
  std::abort();
}

struct Scratch {
  Scratch() {
    std::random_device rd;
    root = fs::temp_directory_path() / ("rk5-archive-fuzz-" + std::to_string(rd()));
    fs::create_directories(root);
    base = root / "base";
    archive = root / "archive.zip";
    canonical_base = (fs::create_directory(base), fs::canonical(base));
  }
  fs::path root, base, archive, canonical_base;
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

// Strictly below the base folder, by name and after resolving whatever exists of it.
void RequireInside(const std::string& path, const char* what) {
  const Scratch& s = TheScratch();
  fs::path p = fs::absolute(path).lexically_normal();
  fs::path rel = p.lexically_relative(s.base);
  if (rel.empty() || rel == "." || *rel.begin() == "..") Violation(what, path);
  std::error_code ec;
  fs::path real = fs::weakly_canonical(p, ec);
  if (ec) return;
  fs::path real_rel = real.lexically_relative(s.canonical_base);
  if (real_rel.empty() || *real_rel.begin() == "..") Violation(std::string(what) + " (resolved)", path);
}

class GuardedTree : public rk5::platform::FileTree {
 public:
  bool FolderExists(const std::string& p) override { return real_->FolderExists(p); }
  bool Exists(const std::string& p) override { return real_->Exists(p); }
  bool CreateFolders(const std::string& p) override {
    RequireInside(p, "folder created");
    return real_->CreateFolders(p);
  }
  bool CreateFoldersBelow(const std::string& base, const std::string& p) override {
    RequireInside(p, "folder created");
    return real_->CreateFoldersBelow(base, p);
  }
  bool CanOpenForWriting(const std::string& p) override {
    RequireInside(p, "file probed for writing");
    return real_->CanOpenForWriting(p);
  }
  bool RemoveFile(const std::string& p) override {
    RequireInside(p, "file removed");
    return real_->RemoveFile(p);
  }
  bool LinkBetween(const std::string& base, const std::string& p) override {
    return real_->LinkBetween(base, p);
  }

 private:
  std::unique_ptr<rk5::platform::FileTree> real_ = rk5::platform::MakeFileTree();
};

// Temporary files made during one input; none may still exist afterwards.
std::vector<std::string>& TempFiles() {
  static std::vector<std::string> temps;
  return temps;
}

class GuardedStager : public rk5::platform::FileStager {
 public:
  std::unique_ptr<rk5::platform::StagedFile> Stage(const std::string& target) override {
    RequireInside(target, "file written");
    auto staged = real_->Stage(target);
    if (staged) {
      RequireInside(staged->TempPath(), "temporary file");
      TempFiles().push_back(staged->TempPath());
    }
    return staged;
  }

 private:
  std::unique_ptr<rk5::platform::FileStager> real_ = rk5::platform::MakeFileStager();
};

class GuardedTimes : public rk5::platform::FileTimes {
 public:
  bool SetModificationTime(const std::string& p, std::int64_t s) override {
    RequireInside(p, "time set");
    return real_->SetModificationTime(p, s);
  }

 private:
  std::unique_ptr<rk5::platform::FileTimes> real_ = rk5::platform::MakeFileTimes();
};

class GuardedAttributes : public rk5::platform::FileAttributes {
 public:
  bool SetPermissionBits(const std::string& p, unsigned bits) override {
    RequireInside(p, "permissions set");
    return real_->SetPermissionBits(p, bits);
  }
  bool SetReadOnly(const std::string& p) override {
    RequireInside(p, "read-only set");
    return real_->SetReadOnly(p);
  }

 private:
  std::unique_ptr<rk5::platform::FileAttributes> real_ = rk5::platform::MakeFileAttributes();
};

rk5::ArchivePlatform Guarded() {
  rk5::ArchivePlatform p = rk5::ArchivePlatform::ThisSystem();
  p.tree = std::make_shared<GuardedTree>();
  p.stager = std::make_shared<GuardedStager>();
  p.times = std::make_shared<GuardedTimes>();
  p.attributes = std::make_shared<GuardedAttributes>();
  return p;
}

void ExtractOnce(bool restore_path) {
  const Scratch& s = TheScratch();
  rk5::TArchiveExtractor x(Guarded());
  x.ExtractOptions = restore_path ? rk5::TExtractOptions{rk5::eoCreateDirs, rk5::eoRestorePath}
                                  : rk5::TExtractOptions{rk5::eoCreateDirs};
  int last = -1, hundreds = 0;
  x.OnArchiveProgress = [&](rk5::TArchiveExtractor&, std::uint8_t p, bool&) {
    if (p < last || p > 100) Violation("progress went from " + std::to_string(last), std::to_string(p));
    last = p;
    if (p == 100) ++hundreds;
  };
  bool finished = false;
  try {
    x.SetFileName(s.archive.string());
    x.SetBaseDirectory(s.base.string());
    x.ExtractMatching("*.*");
    finished = true;
  } catch (const rk5::ArchiveError&) {
  }
  if (finished && hundreds < 1) Violation("no final progress report", "");
  if (finished && x.LastResult().entries > 0 && hundreds < 2) Violation("one hundred missing", "");
}

void CheckScratch() {
  const Scratch& s = TheScratch();
  for (const auto& e : fs::directory_iterator(s.root)) {
    if (e.path() != s.base && e.path() != s.archive) Violation("written outside", e.path().string());
  }
  for (const auto& e : fs::recursive_directory_iterator(s.base)) {
    if (e.is_symlink()) Violation("link created", e.path().string());
  }
  for (const std::string& temp : TempFiles()) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(temp, ec))) Violation("temporary file left", temp);
  }
  TempFiles().clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Scratch& s = TheScratch();
  {
    std::ofstream out(s.archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  ExtractOnce(true);
  ExtractOnce(false);
  CheckScratch();
  std::error_code ec;
  fs::remove_all(s.base, ec);
  fs::create_directory(s.base, ec);
  return 0;
}
