#pragma once
// THttpFetch: the component through which every download goes. Its owner (a window) sets
// the properties, calls FetchToFile or FetchToString, and receives on the GUI thread zero
// or more OnProgress events and then exactly one of OnDoneFile, OnDoneString or OnError.
// The download runs on a THttpFetchThread the component creates for each fetch and owns;
// at most one runs per component. Everything here is used from the GUI thread only.
//
// Events are std::function members, called on the GUI thread. Destroying the component
// cancels its worker and waits for its thread to end (a tenth of a second at most), also
// from inside one of its own handlers; a report still on its way is dropped with the
// component, so a handler bound to a dead owner is never reached.
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/fetch_size.h"
#include "net/http_request.h"

namespace rk5 {

namespace platform {
class FileStager;
}

class THttpFetch;
class THttpFetchThread;

// Sender is the worker object; TotalSize is the announced length (0 when none was
// announced), Readed the bytes received so far.
using TOnProgressEvent =
    std::function<void(QObject* Sender, std::int32_t TotalSize, std::int32_t Readed)>;
// FileName as it was when the fetch started; FileSize the announced length, 0 when none.
using TOnDoneFileEvent =
    std::function<void(THttpFetch* Sender, const std::string& FileName, std::int32_t FileSize)>;
// Result holds the body's bytes unchanged.
using TOnDoneStringEvent = std::function<void(THttpFetch* Sender, const std::string& Result)>;
using TNotifyEvent = std::function<void(THttpFetch* Sender)>;

// Why the last fetch ended in OnError; read it there to tell the user what happened.
enum class TFetchFailure {
  fNone,            // the last fetch succeeded, or none ended yet
  fCancelled,       // Cancel
  fNoReply,         // no reply at all: unreachable host or proxy, no host name
  fTimedOut,        // silent for too long, or slower than the low-speed limit
  fBadReply,        // the body does not match the announced length, or no length where
                    // one is needed
  fTooLarge,        // more than SizeLimit announced or sent
  fTargetNotWritten,  // the file fetch could not write its target (a read-only folder,
                      // a full disk)
};

// What a fetch is made of: read when it starts, handed to its worker as one copy, so
// changing them during a fetch does not affect it.
struct THttpFetchSettings {
  std::string AcceptTypes = "*/*";
  std::string Agent = "Corvane HttpFetch";  // empty: no agent text is sent
  bool BinaryData = false;  // true: a reply without a content length fails at once
  std::string URL;          // "http://" is optional; always port 80
  bool UseCache = false;    // false: caches on the way are asked to reload
  // Target of a file fetch. The body goes to a file beside it, which replaces the target
  // only when the fetch succeeds: on failure the target stays exactly as it was, and a
  // link at the target is replaced, never followed.
  std::string FileName;
  std::string UserName;     // server authentication
  std::string Password;
  std::string PostQuery;  // non-empty: a POST with this form-encoded body
  std::string Referer;
  // True: the start operation returns only after the completion event has returned,
  // dispatching events meanwhile. The string fetch waits like the file fetch.
  bool WaitThread = false;
  TOnProgressEvent OnProgress;
  // Time-outs of the HTTP layer (the program keeps the defaults; tests shorten them).
  HttpLimits Limits;
  // The most bytes a fetch takes; a larger announced length or body fails it. 0: no
  // limit besides the 2 GiB the events can count (tool archives).
  std::int32_t SizeLimit = 0;
  // Where a file fetch stages its body; it must outlive the fetch. Null: the component
  // uses one of its own.
  platform::FileStager* Stager = nullptr;
};

class THttpFetch : public QObject, public THttpFetchSettings {
  Q_OBJECT

 public:
  explicit THttpFetch(QObject* owner = nullptr);
  ~THttpFetch() override;  // cancels the running fetch and waits for its thread

  TOnDoneFileEvent OnDoneFile;  // looked up when the fetch ends
  TOnDoneStringEvent OnDoneString;
  TNotifyEvent OnError;  // failed, cancelled, or no reply at all

  // Ignored, with no event, while a fetch runs (also from inside its own completion event).
  void FetchToFile();
  void FetchToString();
  // Asks the running worker to stop; it ends through OnError at its next check point.
  // Returns at once. Does nothing when idle.
  void Cancel();

  bool Running() const { return worker_ != nullptr; }
  // Why the fetch that raised OnError failed; fNone after a success.
  TFetchFailure Failure() const { return failure_; }
  THttpFetchThread* Worker() const { return worker_.get(); }

 protected:
  // The worker's progress wake-ups and the end of its run arrive here.
  bool event(QEvent* event) override;

 private:
  void Start(bool to_file);
  // The completion step, on the GUI thread once the worker's run has ended.
  void FetchFinished();

  std::unique_ptr<platform::FileStager> own_stager_;  // made on first need
  std::unique_ptr<THttpFetchThread> worker_;  // declared after the stager it may use
  TFetchFailure failure_ = TFetchFailure::fNone;
};

}  // namespace rk5
