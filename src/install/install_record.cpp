#include "install/install_record.h"

namespace rk5 {

IniBatch RecordBatch(const InstallRecord& record) {
  IniBatch batch;
  batch.WriteString(record.section, "Build", record.build);
  batch.WriteString(record.section, "Path", record.path);
  batch.WriteString(record.section, "ExeName", record.exe_name);
  batch.WriteString(record.section, "Version", record.version);
  batch.WriteString(record.section, "Installed", "1");
  return batch;
}

}  // namespace rk5
