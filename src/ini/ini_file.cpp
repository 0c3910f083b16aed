#include "ini/ini_file.h"

#include "platform/file_lock.h"

namespace rk5 {

void IniBatch::WriteString(std::string_view section, std::string_view key,
                           std::string_view value) {
  writes_.push_back({std::string(section), std::string(key), std::string(value), false});
}

void IniBatch::AddSection(std::string_view section) {
  writes_.push_back({std::string(section), {}, {}, true});
}

std::string UnableToWrite(std::string_view file_name) {
  return "Unable to write to " + std::string(file_name);
}

IniFile::IniFile(std::string file_name, std::chrono::milliseconds lock_wait)
    : file_name_(std::move(file_name)), lock_wait_(lock_wait) {}

std::shared_ptr<const IniDocument> IniFile::Snapshot() const {
  platform::FileStamp stamp = platform::StampOf(file_name_);
  if (cached_ && stamp == cached_stamp_) return cached_;
  auto bytes = stamp.exists ? platform::ReadWholeFile(file_name_, kMaxIniFileSize) : std::nullopt;
  cached_ = std::make_shared<const IniDocument>(IniDocument::Parse(bytes ? std::move(*bytes) : ""));
  cached_stamp_ = stamp;
  return cached_;
}

std::vector<std::string> IniFile::ReadSections() const { return Snapshot()->Sections(); }

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
  return Snapshot()->Keys(section);
}

bool IniFile::SectionExists(std::string_view section) const {
  return Snapshot()->HasSection(section);
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
  return Snapshot()->Value(section, key).has_value();
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
  return Snapshot()->ReadString(section, key, def);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  return Snapshot()->ReadInteger(section, key, def);
}

IniWriteResult IniFile::WriteString(std::string_view section, std::string_view key,
                                    std::string_view value) {
  IniBatch batch;
  batch.WriteString(section, key, value);
  return Commit(batch);
}

IniWriteResult IniFile::AddSection(std::string_view section) {
  IniBatch batch;
  batch.AddSection(section);
  return Commit(batch);
}

IniWriteResult IniFile::Failure() const {
  return IniWriteResult{false, UnableToWrite(file_name_)};
}

IniWriteResult IniFile::Commit(const IniBatch& batch) {
  // Without the lock nothing is written: another copy may be writing.
  platform::FileLock lock(file_name_, lock_wait_);
  if (!lock.held()) return Failure();
  // A writer killed between writing its temporary file and renaming it leaves the
  // temporary behind; every writer holds the lock while its temporary exists.
  platform::RemoveLeftoverTemporaries(file_name_);
  // Read afresh under the lock: another copy may have written since our last read.
  platform::FileStamp stamp = platform::StampOf(file_name_);
  std::optional<std::string> bytes;
  if (stamp.exists) {
    bytes = platform::ReadWholeFile(file_name_, kMaxIniFileSize);
    if (!bytes) return Failure();  // never replace a file we could not read
  }
  IniDocument doc = IniDocument::Parse(bytes ? std::move(*bytes) : "");
  bool refused = false;
  for (const IniBatch::Write& w : batch.writes_) {
    bool ok = w.section_only ? doc.AddSection(w.section) : doc.Write(w.section, w.key, w.value);
    refused = refused || !ok;
  }
  if (doc.Changed()) {
    // A file the program could no longer read would lose everything in it.
    std::string out = doc.Serialize();
    if (out.size() > kMaxIniFileSize || !platform::ReplaceFileAtomically(file_name_, out)) {
      return Failure();
    }
  }
  if (refused) return Failure();
  return {};
}

}  // namespace rk5
