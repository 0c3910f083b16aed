#include "catalogue/catalogue_merge.h"

namespace rk5 {

IniBatch MergeBatch(const IniDocument& remote) {
  IniBatch batch;
  for (const std::string& section : remote.Sections()) {
    for (const std::string& key : remote.Keys(section)) {
      batch.WriteString(section, key, remote.ReadString(section, key, "0"));
    }
  }
  return batch;
}

}  // namespace rk5
