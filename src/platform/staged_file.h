#pragma once
// A file written under a temporary name beside its target and moved over the target in
// one step, so that the target is always either the old file or the complete new one.
#include <cstddef>
#include <memory>
#include <string>

namespace rk5::platform {

class StagedFile {
 public:
  // Discards the temporary file unless it was moved over the target.
  virtual ~StagedFile() = default;
  virtual const std::string& TempPath() const = 0;
  virtual const std::string& Target() const = 0;
  // False when the bytes could not all be written (a full disk, an I/O error).
  virtual bool Write(const char* data, std::size_t size) = 0;
  // Ends writing; false when written data may be lost. Times and attributes are set on
  // TempPath() after this and before MoveOverTarget().
  virtual bool Close() = 0;
  // Renames the closed temporary file over the target.
  virtual bool MoveOverTarget() = 0;
  // Removes the temporary file; the target is left as it was.
  virtual void Discard() = 0;
};

class FileStager {
 public:
  virtual ~FileStager() = default;
  // A new empty temporary file in target's folder, or nullptr when none can be made.
  virtual std::unique_ptr<StagedFile> Stage(const std::string& target) = 0;
};

// New files get 0666 less creation_mask (see creation_mask.h).
std::unique_ptr<FileStager> MakeFileStager(unsigned creation_mask);
// With the mask as the system tells it at each file, which is safe from any thread.
std::unique_ptr<FileStager> MakeFileStager();

}  // namespace rk5::platform
