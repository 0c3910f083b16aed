#include "net/http_fetch.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>

#include "net/http_fetch_thread.h"

namespace rk5 {

THttpFetch::THttpFetch(QObject* owner) : QObject(owner) {}

THttpFetch::~THttpFetch() {
  Cancel();
  if (worker_ != nullptr) worker_->owner_ = nullptr;  // its late report goes nowhere
}

void THttpFetch::FetchToFile() { Start(true); }

void THttpFetch::FetchToString() { Start(false); }

void THttpFetch::Cancel() {
  if (worker_ == nullptr) return;
  worker_->Terminate();
  worker_->success_.store(false);
}

void THttpFetch::Start(bool to_file) {
  if (worker_ != nullptr) return;
  auto* worker = new THttpFetchThread(this, to_file);
  worker->accept_types_ = AcceptTypes;
  worker->agent_ = Agent;
  worker->url_ = URL;
  worker->file_name_ = FileName;
  worker->user_name_ = UserName;
  worker->password_ = Password;
  worker->post_query_ = PostQuery;
  worker->referer_ = Referer;
  worker->binary_data_ = BinaryData;
  worker->use_cache_ = UseCache;
  worker->on_progress_ = OnProgress;
  worker->limits_ = Limits;
  worker->max_string_size_ = MaxStringSize;
  worker_ = worker;
  worker->Resume();
  if (!WaitThread) return;
  // Blocks in the event queue between events, so the wait costs no processor time.
  QPointer<THttpFetch> self(this);
  while (self && self->worker_ != nullptr) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

void THttpFetch::FetchFinished(THttpFetchThread& worker) {
  // A handler may free this component; a copy keeps the handler alive while it runs.
  QPointer<THttpFetch> self(this);
  if (worker.success_.load()) {
    if (worker.to_file_) {
      if (TOnDoneFileEvent handler = OnDoneFile) {
        handler(this, worker.file_name_, worker.total_size_.load());
      }
    } else if (TOnDoneStringEvent handler = OnDoneString) {
      handler(this, worker.result_);
    }
  } else if (TNotifyEvent handler = OnError) {
    handler(this);
  }
  if (self) worker_ = nullptr;
}

}  // namespace rk5
