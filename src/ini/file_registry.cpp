#include "ini/file_registry.h"

#include <filesystem>

#include "ini/ini_file.h"
#include "platform/text.h"
#include "platform/user_folders.h"

namespace rk5 {
namespace {

using platform::FoldCase;
using platform::RegistryKey;
using platform::RegistryRoot;

std::string SectionFor(RegistryRoot root, std::string_view path) {
  path = platform::Trim(path, "\\");
  std::string section(platform::RootName(root));
  if (!path.empty()) section += "\\" + std::string(path);
  return section;
}

// Values the system itself provides on Windows.
std::string WellKnownValue(const std::string& section, std::string_view name) {
  const std::string s = FoldCase(section), n = FoldCase(name);
  if (s == FoldCase(SectionFor(RegistryRoot::LocalMachine, platform::kWindowsKey)) &&
      n == FoldCase(platform::kProgramFilesValue)) {
    return platform::ProgramFilesFolder();
  }
  if (s == FoldCase(SectionFor(RegistryRoot::CurrentUser, platform::kShellFoldersKey))) {
    if (n == FoldCase(platform::kDesktopValue)) return platform::DesktopFolder();
    if (n == FoldCase(platform::kProgramsValue)) return platform::ApplicationsFolder();
  }
  return {};
}

class FileRegistryKey : public RegistryKey {
 public:
  FileRegistryKey(std::shared_ptr<IniFile> file, std::string section)
      : file_(std::move(file)), section_(std::move(section)) {}

  bool ValueExists(std::string_view name) const override {
    return file_->ValueExists(section_, name) || !WellKnownValue(section_, name).empty();
  }

  std::string ReadString(std::string_view name) const override {
    auto doc = file_->Snapshot();
    if (auto value = doc->Value(section_, name)) return std::string(*value);
    return WellKnownValue(section_, name);
  }

  void WriteString(std::string_view name, std::string_view value) override {
    if (!file_->WriteString(section_, name, value)) throw platform::RegistryError(std::string(name));
  }

 private:
  std::shared_ptr<IniFile> file_;
  std::string section_;
};

class FileRegistry : public platform::Registry {
 public:
  explicit FileRegistry(const std::string& file) : file_(std::make_shared<IniFile>(file)) {}

  std::unique_ptr<RegistryKey> OpenKey(RegistryRoot root, std::string_view path) override {
    std::string section = SectionFor(root, path);
    if (!file_->SectionExists(section)) {
      std::error_code ec;
      std::filesystem::create_directories(std::filesystem::path(file_->FileName()).parent_path(),
                                          ec);
      if (!file_->AddSection(section)) return nullptr;
    }
    return std::make_unique<FileRegistryKey>(file_, std::move(section));
  }

 private:
  std::shared_ptr<IniFile> file_;
};

}  // namespace

std::unique_ptr<platform::Registry> RegistryInFile(const std::string& file) {
  return std::make_unique<FileRegistry>(file);
}

}  // namespace rk5
