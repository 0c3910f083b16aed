#include "gui/base/window_setup.h"

namespace rk5 {

THttpFetch* NewFetch(QObject* owner, const FetchSetup& setup) {
  auto* fetch = new THttpFetch(owner);
  fetch->Limits = setup.Limits;
  fetch->Stager = setup.Stager;
  return fetch;
}

}  // namespace rk5
