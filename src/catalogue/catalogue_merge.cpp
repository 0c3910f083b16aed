#include "catalogue/catalogue_merge.h"

namespace rk5 {

IniBatch MergeBatch(const IniDocument& remote) {
  IniBatch batch;
  for (const std::string& section : remote.Sections()) {
    for (const std::string& key : remote.Keys(section)) {
      // A name or value that cannot be stored on one line (a stray carriage return) is
      // left out: no real catalogue has one, and the rest still merges.
      const std::string value = remote.ReadString(section, key, "0");
      if (IniDocument::FitsOneLine(section, key, value)) batch.WriteString(section, key, value);
    }
  }
  return batch;
}

}  // namespace rk5
