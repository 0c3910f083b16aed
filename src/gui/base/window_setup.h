#pragma once
// What every window of a run is given besides the services of its own: the run's title
// and how it fetches. The window factory makes one for the run; a test passes its own or
// none (the program's name as title, the fetch component's defaults).
#include <QObject>

#include "gui/base/run_title.h"
#include "net/http_fetch.h"
#include "net/http_request.h"
#include "platform/staged_file.h"

namespace rk5 {

// How the run's fetches differ from the fetch component's defaults.
struct FetchSetup {
  HttpLimits Limits;  // the program keeps the defaults; tests shorten them
  platform::FileStager* Stager = nullptr;  // what file fetches write through; none: their own
};

struct WindowSetup {
  RunTitle* Title = nullptr;  // none: the program's name on the task bar
  FetchSetup Fetch;
};

// A fetch component owned by owner, set up for this run; the caller sets what its own
// fetch needs beyond that (BinaryData, SizeLimit, the events).
THttpFetch* NewFetch(QObject* owner, const FetchSetup& setup);

}  // namespace rk5
