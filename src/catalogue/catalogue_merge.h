#pragma once
// The refresh merge: every key of every section of the fetched catalogue, in file order,
// written under the same section and key into the local catalogue. Nothing is compared;
// local-only sections and keys stay; a name or value that cannot be stored on one line is
// left out. One lock, one atomic replace: all of it or nothing.
#include "ini/ini_document.h"
#include "ini/ini_file.h"

namespace rk5 {

IniBatch MergeBatch(const IniDocument& remote);

inline IniWriteResult MergeCatalogue(const IniDocument& remote, IniFile& local) {
  return local.Commit(MergeBatch(remote));
}

}  // namespace rk5
