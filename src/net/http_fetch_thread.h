#pragma once
// THttpFetchThread: the worker of one fetch. Created suspended and filled with copies of
// the component's settings, it runs the request on its own thread, reports progress on
// the GUI thread while it waits, has the completion step run on the GUI thread after its
// run, and then frees itself. Nobody else frees it.
#include <QEvent>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "net/http_fetch.h"
#include "net/http_request.h"
#include "net/watch.h"

namespace rk5 {

class HttpConnection;
class StagedTarget;

class THttpFetchThread : public QThread {
  Q_OBJECT

 public:
  THttpFetchThread(THttpFetch* owner, bool to_file);
  ~THttpFetchThread() override;

  void Resume() { start(); }
  // When the application object goes, workers still running are told to stop, their
  // waits for the GUI thread released, and each is given kExitWait to end; those that
  // ended are freed. Without this their threads would run on into the process's exit.
  static constexpr std::chrono::seconds kExitWait{2};
  static void StopAllAtExit();
  // The cooperative stop, polled at the check points.
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  // The two events the worker posts to this object on the GUI thread.
  static QEvent::Type ProgressEventType();
  static QEvent::Type RunEndedEventType();

 protected:
  void run() override;
  bool event(QEvent* event) override;

 private:
  friend class THttpFetch;

  void Execute();
  // Reads the body into the staged target or the result text; false when it must end in
  // failure (the reason in failure_).
  bool ReadBody(HttpConnection& connection, StagedTarget* target);
  void Fail(TFetchFailure why);
  // Worker side of a progress report: hands ReportProgress to the GUI thread and waits
  // until it has returned.
  void RunReportProgress();
  // GUI thread: answers the waiting report, then goes on answering while reports follow
  // closely, so that a fast download does not pay a trip through the event queue and two
  // thread wake-ups per piece. Back to the event loop when they pause or after kSlice.
  void ServeProgress();
  bool AnswerProgress();  // false when no report waits
  void ReportProgress();
  void Finished();        // GUI thread: completion step, then self-destruction

  // Settings, copied when the fetch starts.
  std::string accept_types_, agent_, url_, file_name_, user_name_, password_, post_query_,
      referer_;
  bool binary_data_ = false;
  bool use_cache_ = false;
  TOnProgressEvent on_progress_;
  HttpLimits limits_;
  std::int32_t size_limit_ = 0;

  THttpFetch* owner_;  // GUI thread only; null once the component is gone
  const bool to_file_;

  std::atomic<bool> terminated_{false};
  std::atomic<bool> success_{false};
  std::atomic<std::int32_t> total_size_{0};
  std::atomic<std::int32_t> readed_{0};
  std::uint32_t last_chunk_ = 0;
  std::string result_;
  TFetchFailure failure_ = TFetchFailure::fNone;  // read by the completion step
  // Publishes the run's results to the completion step.
  std::atomic<bool> run_ended_{false};
  // The progress hand-off: the worker numbers its report, the GUI thread echoes the number
  // once ReportProgress has returned and says whether it still watches for the next one.
  std::atomic<std::uint32_t> progress_asked_{0};
  std::atomic<std::uint32_t> progress_returned_{0};
  std::atomic<bool> gui_watching_{false};
  std::atomic<bool> abandoned_{false};  // no GUI thread will answer any more
  // Worker thread only: the event that wakes the GUI thread, made before the ticket is
  // published so that the GUI thread's reading of the ticket orders it after the making.
  std::unique_ptr<QEvent> wake_event_;
  Watch worker_watch_;  // worker thread only
  Watch gui_watch_;     // GUI thread only
  bool answering_ = false;  // GUI thread only
};

}  // namespace rk5
