// Starts a file fetch and ends the program once the first piece has arrived, while the
// worker still waits for the rest. Arguments: URL, target file, and "keep" (the
// component lives on to the end) or "destroy" (it is destroyed first).
#include <QCoreApplication>
#include <QTimer>

#include <cstring>

#include "net/http_fetch.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 4) return 2;
  const bool destroy = std::strcmp(argv[3], "destroy") == 0;
  auto* fetch = new rk5::THttpFetch(&app);
  fetch->URL = argv[1];
  fetch->FileName = argv[2];
  fetch->OnProgress = [&](QObject*, std::int32_t, std::int32_t) {
    if (destroy && fetch != nullptr) {
      delete fetch;
      fetch = nullptr;
    }
    app.quit();
  };
  fetch->OnError = [&](rk5::THttpFetch*) { app.exit(3); };
  fetch->FetchToFile();
  return app.exec();
}
