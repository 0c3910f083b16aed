#pragma once
// THttpFetch: the component through which every download goes. Its owner (a window) sets
// the properties, calls FetchToFile or FetchToString, and receives on the GUI thread zero
// or more OnProgress events and then exactly one of OnDoneFile, OnDoneString or OnError.
// The download runs on a THttpFetchThread created for each fetch; at most one runs per
// component. Everything here is used from the GUI thread only.
//
// Events are std::function members, called on the GUI thread. A component destroyed
// while its worker runs cancels it and detaches from it: the worker's late progress and
// completion find no component and call nothing, so a handler bound to a dead owner is
// never reached. The worker then frees itself.
#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

#include "net/fetch_size.h"
#include "net/http_request.h"

namespace rk5 {

class THttpFetch;
class THttpFetchThread;

// Sender is the worker thread object; TotalSize is the announced length (0 when none was
// announced), Readed the bytes received so far.
using TOnProgressEvent =
    std::function<void(QObject* Sender, std::int32_t TotalSize, std::int32_t Readed)>;
// FileName as it was when the fetch started; FileSize the announced length, 0 when none.
using TOnDoneFileEvent =
    std::function<void(THttpFetch* Sender, const std::string& FileName, std::int32_t FileSize)>;
// Result holds the body's bytes unchanged.
using TOnDoneStringEvent = std::function<void(THttpFetch* Sender, const std::string& Result)>;
using TNotifyEvent = std::function<void(THttpFetch* Sender)>;

class THttpFetch : public QObject {
  Q_OBJECT

 public:
  explicit THttpFetch(QObject* owner = nullptr);
  ~THttpFetch() override;  // calls Cancel

  // Read when a fetch starts; changing them during a fetch does not affect it.
  std::string AcceptTypes = "*/*";
  std::string Agent = "Corvane HttpFetch";  // empty: no agent text is sent
  bool BinaryData = false;  // true: a reply without a content length fails at once
  std::string URL;          // "http://" is optional; always port 80
  bool UseCache = false;    // false: caches on the way are asked to reload
  std::string FileName;     // target of a file fetch, created or overwritten
  std::string UserName;     // server authentication
  std::string Password;
  std::string PostQuery;  // non-empty: a POST with this form-encoded body
  std::string Referer;
  // True: the start operation returns only after the completion event has returned,
  // dispatching events meanwhile. The string fetch waits like the file fetch.
  bool WaitThread = false;
  TOnProgressEvent OnProgress;  // copied at start
  TOnDoneFileEvent OnDoneFile;  // looked up when the fetch ends
  TOnDoneStringEvent OnDoneString;
  TNotifyEvent OnError;  // failed, cancelled, or no reply at all
  // A string fetch whose body (announced or received) is longer than this fails: what
  // one text may cost in memory.
  std::int32_t MaxStringSize = kMaxFetchSize;
  // Time-outs of the HTTP layer (the program keeps the defaults; tests shorten them).
  HttpLimits Limits;

  // Ignored, with no event, while a fetch runs (also from inside its own completion event).
  void FetchToFile();
  void FetchToString();
  // Asks the running worker to stop; it ends through OnError at its next check point.
  // Returns at once. Does nothing when idle.
  void Cancel();

  bool Running() const { return worker_ != nullptr; }
  THttpFetchThread* Worker() const { return worker_; }

 private:
  friend class THttpFetchThread;
  void Start(bool to_file);
  // The completion step, on the GUI thread once the worker's run has ended.
  void FetchFinished(THttpFetchThread& worker);

  THttpFetchThread* worker_ = nullptr;
};

}  // namespace rk5
