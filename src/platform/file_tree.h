#pragma once
// What unpacking asks of the file system about the paths it writes: what already lies
// there, making folders, and whether an existing file may be replaced.
#include <memory>
#include <string>

namespace rk5::platform {

// The separator this system puts between folders in a path.
char PathSeparator();

class FileTree {
 public:
  virtual ~FileTree() = default;
  // A folder, or a link to one, is at path.
  virtual bool FolderExists(const std::string& path) = 0;
  // Anything is at path (a dangling link counts).
  virtual bool Exists(const std::string& path) = 0;
  // Makes path and every missing parent; true when path is a folder afterwards.
  virtual bool CreateFolders(const std::string& path) = 0;
  // Makes folder and every missing folder between base (which must exist) and it, each
  // step reached from the one before, so the cost grows with the steps, not with their
  // depth. Never follows a link below base: false when a step is one, or cannot be made.
  virtual bool CreateFoldersBelow(const std::string& base, const std::string& folder) = 0;
  // The existing file at path could be opened for writing right now: false for a
  // running program, a read-only file, a folder, or one we have no rights to.
  virtual bool CanOpenForWriting(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // A symbolic link is at folder or at any folder between base and it (base itself not
  // counted): whatever is written there would land wherever the link leads.
  virtual bool LinkBetween(const std::string& base, const std::string& folder) = 0;
};

std::unique_ptr<FileTree> MakeFileTree();

}  // namespace rk5::platform
