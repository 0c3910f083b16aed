#include "net/http_fetch_thread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "net/fetch_size.h"
#include "net/http_connection.h"
#include "net/split_url.h"
#include "platform/staged_file.h"

namespace rk5 {

namespace {

// The largest piece read from the network, written and reported at a time.
constexpr std::size_t kChunk = 1025;
// The target file's write buffer: pieces reach the file in few system calls.
constexpr std::size_t kFileBuffer = 64 * 1024;
constexpr char kFormContentType[] = "Content-Type: application/x-www-form-urlencoded";
// The longest the GUI thread stays away from its event loop answering progress reports.
constexpr std::chrono::milliseconds kSlice{10};

// The workers that exist, for the exit; created and freed on the GUI thread only.
std::set<THttpFetchThread*>& LiveWorkers() {
  static std::set<THttpFetchThread*> workers;
  return workers;
}

}  // namespace

QEvent::Type THttpFetchThread::ProgressEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

QEvent::Type THttpFetchThread::RunEndedEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

// The body of a file fetch on its way to the target: written beside it in large pieces,
// moved over it only once the fetch has succeeded, removed with this object otherwise.
class StagedTarget {
 public:
  explicit StagedTarget(std::unique_ptr<platform::StagedFile> file) : file_(std::move(file)) {
    buffer_.reserve(kFileBuffer);
  }
  bool Write(const char* data, std::size_t size) {
    if (buffer_.size() + size > kFileBuffer && !Flush()) return false;
    buffer_.append(data, size);
    return true;
  }
  bool ReplaceTarget() { return Flush() && file_->Close() && file_->MoveOverTarget(); }

 private:
  bool Flush() {
    const bool ok = file_->Write(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
  }

  std::unique_ptr<platform::StagedFile> file_;
  std::string buffer_;
};

THttpFetchThread::THttpFetchThread(THttpFetch* owner, bool to_file)
    : owner_(owner), to_file_(to_file) {
  static const bool registered = (qAddPostRoutine(&THttpFetchThread::StopAllAtExit), true);
  static_cast<void>(registered);
  InitHttpLayer();  // here, on the GUI thread, rather than in the first worker
  LiveWorkers().insert(this);
}

THttpFetchThread::~THttpFetchThread() { LiveWorkers().erase(this); }

void THttpFetchThread::StopAllAtExit() {
  const std::vector<THttpFetchThread*> workers(LiveWorkers().begin(), LiveWorkers().end());
  for (THttpFetchThread* worker : workers) {
    worker->Terminate();
    worker->success_.store(false);
    worker->abandoned_.store(true);
    worker->progress_returned_.fetch_add(1);
    worker->progress_returned_.notify_all();
  }
  for (THttpFetchThread* worker : workers) {
    if (!worker->wait(QDeadlineTimer(kExitWait))) continue;  // left to the exit
    worker->run_ended_.load(std::memory_order_acquire);
    if (worker->owner_ != nullptr) worker->owner_->worker_ = nullptr;
    delete worker;
  }
}

void THttpFetchThread::run() {
  Execute();
  // This object lives on the GUI thread, so the completion step runs there. The event is
  // made before the end is published, like the progress wake-up before its ticket.
  auto ended = std::make_unique<QEvent>(RunEndedEventType());
  run_ended_.store(true, std::memory_order_release);
  QCoreApplication::postEvent(this, ended.release());
}

void THttpFetchThread::Finished() {
  wait();  // the few steps the thread takes after run(); the handlers see it ended
  if (owner_ != nullptr) owner_->FetchFinished(*this);
  delete this;
}

bool THttpFetchThread::event(QEvent* event) {
  // Pair with the stores that publish a ticket and the end of the run: an event made on the
  // worker before them is complete here. The queue's own lock orders the same, but inside
  // the toolkit, out of the sanitizer's view.
  progress_asked_.load(std::memory_order_acquire);
  run_ended_.load(std::memory_order_acquire);
  if (event->type() == ProgressEventType()) {
    ServeProgress();
  } else if (event->type() == RunEndedEventType()) {
    Finished();
  } else {
    return QThread::event(event);
  }
  return true;
}

void THttpFetchThread::RunReportProgress() {
  const std::uint32_t ticket = progress_returned_.load() + 1;
  if (abandoned_.load()) return;
  if (!wake_event_) wake_event_ = std::make_unique<QEvent>(ProgressEventType());
  progress_asked_.store(ticket);
  // Either the GUI thread still watches and sees the ticket, or it has stopped watching
  // and this event brings it back; when both happen, the event finds nothing to answer.
  if (!gui_watching_.load()) QCoreApplication::postEvent(this, wake_event_.release());
  const auto returned = [&] {
    return progress_returned_.load(std::memory_order_acquire) != ticket - 1;
  };
  if (worker_watch_.For(returned)) return;
  progress_returned_.wait(ticket - 1, std::memory_order_acquire);
}

void THttpFetchThread::ServeProgress() {
  const auto start = std::chrono::steady_clock::now();
  const auto waiting = [&] {
    return progress_asked_.load() != progress_returned_.load(std::memory_order_relaxed);
  };
  gui_watching_.store(true);
  while (AnswerProgress() && std::chrono::steady_clock::now() - start < kSlice &&
         gui_watch_.For(waiting)) {
  }
  gui_watching_.store(false);
  AnswerProgress();  // asked for just as the GUI thread stopped watching
}

bool THttpFetchThread::AnswerProgress() {
  // A handler that runs a modal loop may meet a second event of this worker in it; the
  // report it would find is the one already being answered.
  if (answering_) return false;
  const std::uint32_t asked = progress_asked_.load();
  if (asked == progress_returned_.load(std::memory_order_relaxed)) return false;
  answering_ = true;
  ReportProgress();
  answering_ = false;
  progress_returned_.store(asked, std::memory_order_release);
  progress_returned_.notify_one();
  return true;
}

void THttpFetchThread::ReportProgress() {
  // The handler belongs to the owner; once the component is gone, so may the owner be.
  if (owner_ != nullptr && on_progress_) {
    on_progress_(this, total_size_.load(), readed_.load());
  }
}

void THttpFetchThread::Fail(TFetchFailure why) {
  failure_ = why;
  success_.store(false);
}

void THttpFetchThread::Execute() {
  try {
    const UrlParts url = SplitUrl(url_);
    if (Terminated()) return Fail(TFetchFailure::fCancelled);

    HttpConnection connection(limits_, &terminated_);
    HttpRequest request;
    request.agent = agent_;
    request.host = url.host;
    request.secure = url.secure;
    request.port = url.port;
    request.user_name = user_name_;
    request.password = password_;
    request.verb = post_query_.empty() ? "GET" : "POST";
    request.path = url.path;
    request.referrer = referer_;
    request.accept = "Accept: " + accept_types_;
    request.reload = !use_cache_;
    if (!post_query_.empty()) {
      request.extra_headers = kFormContentType;
      request.body = post_query_;
    }
    connection.Send(request);  // a failed send shows as a reply without size or body
    if (Terminated()) return Fail(TFetchFailure::fCancelled);

    const std::optional<std::string> length = connection.ContentLength();
    success_.store(length.has_value());
    if (Terminated()) return Fail(TFetchFailure::fCancelled);
    // No reply at all is a failure, whatever BinaryData says: the target file keeps
    // what it held (the last good catalogue, say).
    if (!connection.ReplyArrived()) {
      return Fail(connection.TimedOut() ? TFetchFailure::fTimedOut : TFetchFailure::fNoReply);
    }
    if (!length && binary_data_) return Fail(TFetchFailure::fBadReply);
    if (length) {
      const std::optional<std::int32_t> total = ParseContentLength(*length);
      if (!total) return Fail(TFetchFailure::fBadReply);
      if (size_limit_ > 0 && *total > size_limit_) return Fail(TFetchFailure::fTooLarge);
      total_size_.store(*total);
    }

    readed_.store(0);
    std::optional<StagedTarget> target;
    if (to_file_) {
      std::unique_ptr<platform::StagedFile> staged =
          file_name_.empty() ? nullptr : platform::MakeFileStager()->Stage(file_name_);
      if (!staged) return Fail(TFetchFailure::fTargetNotWritten);
      target.emplace(std::move(staged));
    } else {
      result_.clear();
    }
    if (!ReadBody(connection, target ? &*target : nullptr)) return success_.store(false);
    if (to_file_ ? readed_.load() != total_size_.load() : readed_.load() == 0) {
      return Fail(TFetchFailure::fBadReply);
    }
    if (target && !target->ReplaceTarget()) return Fail(TFetchFailure::fTargetNotWritten);
    success_.store(true);
  } catch (...) {
    Fail(TFetchFailure::fBadReply);
  }
}

bool THttpFetchThread::ReadBody(HttpConnection& connection, StagedTarget* target) {
  char chunk[kChunk];
  std::int32_t readed = 0;
  const std::int32_t total = total_size_.load();
  for (;;) {
    if (Terminated()) {
      Fail(TFetchFailure::fCancelled);
      return false;
    }
    const std::size_t n = connection.Read(chunk, sizeof chunk);
    if (n == 0) {
      if (connection.Cancelled()) continue;  // the check point ends it
      if (connection.TimedOut()) Fail(TFetchFailure::fTimedOut);
      return !connection.TimedOut();
    }
    last_chunk_ = static_cast<std::uint32_t>(n);
    // Past what the events can report, or past what the owner takes.
    if (!AddReceived(readed, n) || (size_limit_ > 0 && readed > size_limit_)) {
      Fail(TFetchFailure::fTooLarge);
      return false;
    }
    // A file fetch succeeds only with the announced length: past it, nothing more can
    // save it, so an endless body ends here.
    const bool overrun = target != nullptr && readed > total;
    if (target != nullptr && !overrun && !target->Write(chunk, n)) {
      Fail(TFetchFailure::fTargetNotWritten);
      return false;
    }
    if (target == nullptr) result_.append(chunk, n);
    readed_.store(readed);
    if (on_progress_) RunReportProgress();
    if (overrun) {
      Fail(TFetchFailure::fBadReply);
      return false;
    }
  }
}

}  // namespace rk5
