#pragma once
// A scratch folder for one test, removed with everything in it when the test ends.
#include <filesystem>
#include <string>
#include <string_view>

namespace rk5::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder as the program names folders: with a trailing separator.
  std::string folder() const { return path_.string() + "/"; }
  std::filesystem::path file(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Whole-file helpers for fixtures and checks.
std::string ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, std::string_view bytes);

}  // namespace rk5::test
