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

namespace rk5 {

namespace {

// The largest piece read from the network, written and reported at a time.
constexpr std::size_t kChunk = 1025;
// The target file's write buffer: pieces reach the file in few system calls.
constexpr std::size_t kFileBuffer = 64 * 1024;
constexpr char kFormContentType[] = "Content-Type: application/x-www-form-urlencoded";
// The longest the GUI thread stays away from its event loop answering progress reports.
constexpr std::chrono::milliseconds kSlice{10};

QEvent::Type ProgressEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The workers that exist, for the exit; created and freed on the GUI thread only.
std::set<THttpFetchThread*>& LiveWorkers() {
  static std::set<THttpFetchThread*> workers;
  return workers;
}

}  // namespace

THttpFetchThread::THttpFetchThread(THttpFetch* owner, bool to_file)
    : owner_(owner), to_file_(to_file) {
  // This object lives on the GUI thread, so the completion step runs there, after run().
  connect(this, &QThread::finished, this, &THttpFetchThread::Finished, Qt::QueuedConnection);
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
  run_ended_.store(true, std::memory_order_release);
}

void THttpFetchThread::Finished() {
  run_ended_.load(std::memory_order_acquire);
  if (owner_ != nullptr) owner_->FetchFinished(*this);
  // ~QThread waits for the few steps the thread takes after emitting finished.
  delete this;
}

bool THttpFetchThread::event(QEvent* event) {
  if (event->type() != ProgressEventType()) return QThread::event(event);
  ServeProgress();
  return true;
}

void THttpFetchThread::RunReportProgress() {
  const std::uint32_t ticket = progress_returned_.load() + 1;
  if (abandoned_.load()) return;
  progress_asked_.store(ticket);
  // Either the GUI thread still watches and sees the ticket, or it has stopped watching
  // and this event brings it back; when both happen, the event finds nothing to answer.
  if (!gui_watching_.load()) QCoreApplication::postEvent(this, new QEvent(ProgressEventType()));
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

void THttpFetchThread::Execute() {
  try {
    const UrlParts url = SplitUrl(url_);
    if (Terminated()) return success_.store(false);

    HttpConnection connection(limits_, &terminated_);
    HttpRequest request;
    request.agent = agent_;
    request.host = url.host;
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
    if (Terminated()) return success_.store(false);

    const std::optional<std::string> length = connection.ContentLength();
    success_.store(length.has_value());
    if (Terminated()) return success_.store(false);
    // No reply at all is a failure, whatever BinaryData says: the target file keeps
    // what it held (the last good catalogue, say).
    if (!connection.ReplyArrived() || (!length && binary_data_)) return success_.store(false);
    if (length) {
      const std::optional<std::int32_t> total = ParseContentLength(*length);
      if (!total || (!to_file_ && *total > max_string_size_)) return success_.store(false);
      total_size_.store(*total);
    }

    readed_.store(0);
    FilePtr file;
    if (to_file_) {
      file.reset(std::fopen(file_name_.c_str(), "wb"));
      if (!file) return success_.store(false);
      // The C library only honours the size with a buffer of our own.
      file_buffer_ = std::make_unique<char[]>(kFileBuffer);
      std::setvbuf(file.get(), file_buffer_.get(), _IOFBF, kFileBuffer);
    } else {
      result_.clear();
    }
    if (!ReadBody(connection, file.get())) return success_.store(false);
    success_.store(to_file_ ? readed_.load() == total_size_.load() : readed_.load() != 0);
    if (file && std::fclose(file.release()) != 0) success_.store(false);
  } catch (...) {
    success_.store(false);
  }
}

bool THttpFetchThread::ReadBody(HttpConnection& connection, std::FILE* file) {
  char chunk[kChunk];
  std::int32_t readed = 0;
  for (;;) {
    if (Terminated()) return false;
    const std::size_t n = connection.Read(chunk, sizeof chunk);
    if (n == 0) {
      if (connection.Cancelled()) continue;  // the check point ends it
      return !connection.TimedOut();
    }
    last_chunk_ = static_cast<std::uint32_t>(n);
    if (!AddReceived(readed, n)) return false;  // past what the events can report
    if (file == nullptr && readed > max_string_size_) return false;
    if (file != nullptr) {
      if (std::fwrite(chunk, 1, n, file) != n) return false;
    } else {
      result_.append(chunk, n);
    }
    readed_.store(readed);
    if (on_progress_) RunReportProgress();
  }
}

}  // namespace rk5
