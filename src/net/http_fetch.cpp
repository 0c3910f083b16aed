#include "net/http_fetch.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>

#include "net/http_connection.h"
#include "net/http_fetch_thread.h"
#include "platform/staged_file.h"

namespace rk5 {

THttpFetch::THttpFetch(QObject* owner) : QObject(owner) {}

// Cancels first, so the join waits a tenth of a second at most; the events the worker
// posted go with this object.
THttpFetch::~THttpFetch() { worker_.reset(); }

void THttpFetch::FetchToFile() { Start(true); }

void THttpFetch::FetchToString() { Start(false); }

void THttpFetch::Cancel() {
  if (worker_ != nullptr) worker_->Cancel();
}

void THttpFetch::Start(bool to_file) {
  if (worker_ != nullptr) return;
  THttpFetchSettings settings = *this;
  if (to_file && settings.Stager == nullptr) {
    if (!own_stager_) own_stager_ = platform::MakeFileStager();
    settings.Stager = own_stager_.get();
  }
  InitHttpLayer();  // here, on the GUI thread, rather than in the first worker
  worker_ = std::make_unique<THttpFetchThread>(*this, std::move(settings), to_file);
  worker_->Resume();
  if (!WaitThread) return;
  // Blocks in the event queue between events, so the wait costs no processor time.
  QPointer<THttpFetch> self(this);
  while (self && self->worker_ != nullptr) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

bool THttpFetch::event(QEvent* event) {
  if (event->type() == THttpFetchThread::ProgressEventType()) {
    // A wake-up that outlived its worker found nothing to answer; its thread was joined.
    if (worker_ != nullptr) worker_->ServeProgress();
    return true;
  }
  if (event->type() == THttpFetchThread::RunEndedEventType()) {
    if (worker_ != nullptr) FetchFinished();
    return true;
  }
  return QObject::event(event);
}

void THttpFetch::FetchFinished() {
  THttpFetchThread& worker = *worker_;
  worker.Join();  // the handlers see the thread ended, and everything it wrote
  // A Cancel that cleared success after the worker's last check point still cancels.
  const bool success = worker.Succeeded();
  failure_ = success              ? TFetchFailure::fNone
             : worker.Terminated() ? TFetchFailure::fCancelled
                                   : worker.Failure();
  // A handler may free this component, and the worker with it: it runs from a copy, with
  // copies of the outcome.
  QPointer<THttpFetch> self(this);
  if (success) {
    if (worker.ToFile()) {
      if (TOnDoneFileEvent handler = OnDoneFile) {
        handler(this, std::string(worker.FileName()), worker.TotalSize());
      }
    } else if (TOnDoneStringEvent handler = OnDoneString) {
      handler(this, worker.TakeResult());
    }
  } else if (TNotifyEvent handler = OnError) {
    handler(this);
  }
  if (self) worker_.reset();
}

}  // namespace rk5
