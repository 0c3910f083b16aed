#include "install/install_record.h"

#include "catalogue/catalogue_keys.h"

namespace rk5 {

IniBatch RecordBatch(const InstallRecord& record) {
  IniBatch batch;
  batch.WriteString(record.section, tool_key::Build.name, record.build);
  batch.WriteString(record.section, tool_key::Path.name, record.path);
  batch.WriteString(record.section, tool_key::ExeName.name, record.exe_name);
  batch.WriteString(record.section, tool_key::Version.name, record.version);
  batch.WriteString(record.section, tool_key::Installed.name, "1");
  return batch;
}

IniBatch ClearedRecordBatch(const std::string& section) {
  IniBatch batch;
  for (std::string_view key : {tool_key::Build.name, tool_key::Path.name, tool_key::ExeName.name,
                               tool_key::Version.name, tool_key::Installed.name}) {
    batch.WriteString(section, key, "");
  }
  return batch;
}

}  // namespace rk5
