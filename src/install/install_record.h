#pragma once
// What an installation records in "Local.ini": the five keys of the tool's section.
#include <string>

#include "ini/ini_file.h"

namespace rk5 {

struct InstallRecord {
  std::string section;
  std::string build;     // OBuild's text, copied as it stands ("007" stays "007")
  std::string path;      // the base folder + separator + section + separator
  std::string exe_name;  // OExeName's text
  std::string version;   // OVersion's text
};

// Build, Path, ExeName, Version and Installed = "1", in this order, as one batch.
IniBatch RecordBatch(const InstallRecord& record);

// The same five keys of section written empty, as one batch: the tool reads as not
// installed, and the catalogue's keys of the section stay.
IniBatch ClearedRecordBatch(const std::string& section);

}  // namespace rk5
