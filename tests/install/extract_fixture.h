#pragma once
// Shared pieces of the extraction tests: a scratch base folder, an archive written into
// it, and a recorder of everything the extractor reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "install/archive_extractor.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace rk5 {
inline void PrintTo(ExtractFailure kind, std::ostream* os) { *os << DescribeFailure(kind); }
}  // namespace rk5

namespace rk5::test {

namespace fs = std::filesystem;

struct Reports {
  std::vector<int> progress;
  std::vector<std::pair<std::string, ExtractFailure>> failures;
  std::vector<std::string> confirm_names;

  void Attach(TArchiveExtractor& x) {
    x.OnArchiveProgress = [this](TArchiveExtractor&, std::uint8_t p, bool&) {
      progress.push_back(p);
    };
    x.OnProcessItemFailure = [this](TArchiveExtractor&, const ArchiveEntry& e, ExtractFailure k) {
      failures.emplace_back(e.name, k);
    };
    x.OnConfirmOverwrite = [this](std::string& name, bool&) { confirm_names.push_back(name); };
  }
};

inline std::int64_t ModifiedSeconds(const fs::path& file) {
  auto when = std::chrono::file_clock::to_sys(fs::last_write_time(file));
  return std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
}

// Every regular file below `root`, relative to it, sorted.
inline std::vector<std::string> FilesBelow(const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_directory()) names.push_back(fs::relative(e.path(), root).generic_string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A disk of `total` bytes with `available` of them free (a total of 0 asks no margin).
class FixedSpace : public platform::FreeSpace {
 public:
  explicit FixedSpace(std::uint64_t available, std::uint64_t total = 0)
      : available_(available), total_(total) {}
  std::optional<std::uint64_t> AvailableBytes(const std::string&) override { return available_; }
  std::optional<std::uint64_t> TotalBytes(const std::string&) override { return total_; }

 private:
  std::uint64_t available_;
  std::uint64_t total_;
};

class ExtractTest : public ::testing::Test {
 protected:
  ExtractTest() {
    fs::create_directory(base_);
    x_.ExtractOptions = {eoCreateDirs, eoRestorePath};
    reports_.Attach(x_);
  }

  // Writes the archive beside (not inside) the base folder and opens it.
  void Open(const std::string& bytes) {
    WriteFileBytes(archive_, bytes);
    x_.SetFileName(archive_.string());
    x_.SetBaseDirectory(base_.string());
  }
  void Open(const ZipBuilder& zip) { Open(zip.Bytes()); }

  ExtractResult ExtractAll() { return x_.ExtractMatching("*.*"); }

  std::string Read(const std::string& relative) { return ReadFileBytes(base_ / relative); }

  TempDir dir_;
  fs::path base_ = dir_.path() / "base";
  fs::path archive_ = dir_.path() / "tool.zip";
  TArchiveExtractor x_;
  Reports reports_;
};

}  // namespace rk5::test
