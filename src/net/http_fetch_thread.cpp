#include "net/http_fetch_thread.h"

#include <QCoreApplication>
#include <QPointer>

#include <chrono>
#include <memory>
#include <optional>
#include <utility>

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

THttpFetchThread::THttpFetchThread(THttpFetch& component, THttpFetchSettings settings,
                                   bool to_file)
    : component_(component),
      settings_(std::move(settings)),
      to_file_(to_file),
      spare_wake_(new QEvent(ProgressEventType())),
      run_ended_(std::make_unique<QEvent>(RunEndedEventType())) {}

THttpFetchThread::~THttpFetchThread() {
  Cancel();
  abandoned_.store(true);
  progress_returned_.fetch_add(1);
  progress_returned_.notify_all();
  Join();
  delete spare_wake_.exchange(nullptr);
}

void THttpFetchThread::Resume() { thread_ = std::thread([this] { Run(); }); }

void THttpFetchThread::Cancel() {
  terminated_.store(true);
  success_.store(false);
}

void THttpFetchThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void THttpFetchThread::Run() {
  Execute();
  // The completion step joins this thread before it reads the outcome.
  QCoreApplication::postEvent(&component_, run_ended_.release());
}

void THttpFetchThread::RunReportProgress() {
  const std::uint32_t ticket = progress_returned_.load() + 1;
  if (abandoned_.load()) return;
  progress_asked_.store(ticket);
  // Either the GUI thread still watches and sees the ticket, or it has stopped watching
  // and a wake-up brings it back; when both happen, the wake-up finds nothing to answer.
  if (!gui_watching_.load()) {
    if (QEvent* wake = spare_wake_.exchange(nullptr)) {
      QCoreApplication::postEvent(&component_, wake);
    }
  }
  const auto returned = [&] {
    return progress_returned_.load(std::memory_order_acquire) != ticket - 1;
  };
  if (worker_watch_.For(returned)) return;
  progress_returned_.wait(ticket - 1, std::memory_order_acquire);
}

bool THttpFetchThread::ServeProgress() {
  if (spare_wake_.load() == nullptr) spare_wake_.store(new QEvent(ProgressEventType()));
  const auto start = std::chrono::steady_clock::now();
  const auto waiting = [&] {
    return progress_asked_.load() != progress_returned_.load(std::memory_order_relaxed);
  };
  // The handlers may destroy the component, and this worker with it.
  const QPointer<THttpFetch> component(&component_);
  gui_watching_.store(true);
  Answer answer;
  while ((answer = AnswerProgress(component)) == Answer::kAnswered &&
         std::chrono::steady_clock::now() - start < kSlice && gui_watch_.For(waiting)) {
  }
  if (answer == Answer::kGone) return false;
  gui_watching_.store(false);
  // Asked for just as the GUI thread stopped watching.
  return AnswerProgress(component) != Answer::kGone;
}

THttpFetchThread::Answer THttpFetchThread::AnswerProgress(
    const QPointer<THttpFetch>& component) {
  // A handler that runs a modal loop may meet a second event of this worker in it; the
  // report it would find is the one already being answered.
  if (answering_) return Answer::kNone;
  const std::uint32_t asked = progress_asked_.load();
  if (asked == progress_returned_.load(std::memory_order_relaxed)) return Answer::kNone;
  if (settings_.OnProgress) {
    // It runs from a copy, and nothing of this object is touched once the component is gone.
    const TOnProgressEvent handler = settings_.OnProgress;
    answering_ = true;
    handler(this, total_size_.load(), readed_.load());
    if (component.isNull()) return Answer::kGone;
    answering_ = false;
  }
  progress_returned_.store(asked, std::memory_order_release);
  progress_returned_.notify_one();
  return Answer::kAnswered;
}

void THttpFetchThread::Fail(TFetchFailure why) {
  failure_ = why;
  success_.store(false);
}

void THttpFetchThread::Execute() {
  try {
    const UrlParts url = SplitUrl(settings_.URL);
    if (Terminated()) return Fail(TFetchFailure::fCancelled);

    HttpConnection connection(settings_.Limits, &terminated_);
    HttpRequest request;
    request.agent = settings_.Agent;
    request.host = url.host;
    request.secure = url.secure;
    request.port = url.port;
    request.user_name = settings_.UserName;
    request.password = settings_.Password;
    request.verb = settings_.PostQuery.empty() ? "GET" : "POST";
    request.path = url.path;
    request.referrer = settings_.Referer;
    request.accept = "Accept: " + settings_.AcceptTypes;
    request.reload = !settings_.UseCache;
    if (!settings_.PostQuery.empty()) {
      request.extra_headers = kFormContentType;
      request.body = settings_.PostQuery;
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
    if (!length && settings_.BinaryData) return Fail(TFetchFailure::fBadReply);
    if (length) {
      const std::optional<std::int32_t> total = ParseContentLength(*length);
      if (!total) return Fail(TFetchFailure::fBadReply);
      if (settings_.SizeLimit > 0 && *total > settings_.SizeLimit) {
        return Fail(TFetchFailure::fTooLarge);
      }
      total_size_.store(*total);
    }

    readed_.store(0);
    std::optional<StagedTarget> target;
    if (to_file_) {
      std::unique_ptr<platform::StagedFile> staged =
          settings_.FileName.empty() ? nullptr : settings_.Stager->Stage(settings_.FileName);
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
    // Past what the events can report, or past what the owner takes.
    if (!AddReceived(readed, n) || (settings_.SizeLimit > 0 && readed > settings_.SizeLimit)) {
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
    if (settings_.OnProgress) RunReportProgress();
    if (overrun) {
      Fail(TFetchFailure::fBadReply);
      return false;
    }
  }
}

}  // namespace rk5
