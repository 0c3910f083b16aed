#pragma once
// THttpFetchThread: the worker of one fetch, owned by its component. It runs the request
// on a thread of its own with a copy of the component's settings, has the GUI thread run
// OnProgress after every piece while it waits, and posts the end of its run to the
// component, whose completion step runs on the GUI thread. Destroying it stops the thread
// and waits for it; its posted events die with the component.
#include <QEvent>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "net/http_fetch.h"
#include "net/watch.h"

namespace rk5 {

class HttpConnection;
class StagedTarget;

class THttpFetchThread : public QObject {
 public:
  // `component` receives the posted events and outlives this object. A file fetch needs
  // settings.Stager.
  THttpFetchThread(THttpFetch& component, THttpFetchSettings settings, bool to_file);
  // Cancels, releases a progress report the GUI thread will no longer answer, and joins.
  ~THttpFetchThread() override;
  THttpFetchThread(const THttpFetchThread&) = delete;
  THttpFetchThread& operator=(const THttpFetchThread&) = delete;

  void Resume();
  // The cooperative stop, polled at the check points; clears the success flag as well.
  void Cancel();
  bool Terminated() const { return terminated_.load(); }

  // The two events the worker posts to its component.
  static QEvent::Type ProgressEventType();
  static QEvent::Type RunEndedEventType();

  // GUI thread, on a progress event: answers the waiting report, then goes on answering
  // while reports follow closely, so that a fast download does not pay a trip through
  // the event queue and two thread wake-ups per piece. Back to the event loop when they
  // pause or after kSlice. False when a handler destroyed the component, and this with it.
  bool ServeProgress();
  // GUI thread, on the end of the run: waits for the thread's last steps.
  void Join();

  // The outcome, for the completion step once the run has ended.
  bool ToFile() const { return to_file_; }
  bool Succeeded() const { return success_.load(); }
  TFetchFailure Failure() const { return failure_; }
  const std::string& FileName() const { return settings_.FileName; }
  std::int32_t TotalSize() const { return total_size_.load(); }
  std::string TakeResult() { return std::move(result_); }

 private:
  void Run();
  void Execute();
  // Reads the body into the staged target or the result text; false when it must end in
  // failure (the reason in failure_).
  bool ReadBody(HttpConnection& connection, StagedTarget* target);
  void Fail(TFetchFailure why);
  // Worker side of a progress report: wakes the GUI thread and waits until OnProgress
  // has returned.
  void RunReportProgress();
  enum class Answer { kNone, kAnswered, kGone };
  Answer AnswerProgress(const QPointer<THttpFetch>& component);

  THttpFetch& component_;
  const THttpFetchSettings settings_;
  const bool to_file_;

  std::atomic<bool> terminated_{false};
  std::atomic<bool> success_{false};
  std::atomic<std::int32_t> total_size_{0};
  std::atomic<std::int32_t> readed_{0};
  std::string result_;
  TFetchFailure failure_ = TFetchFailure::fNone;  // read by the completion step
  // The progress hand-off: the worker numbers its report, the GUI thread echoes the number
  // once OnProgress has returned and says whether it still watches for the next one.
  std::atomic<std::uint32_t> progress_asked_{0};
  std::atomic<std::uint32_t> progress_returned_{0};
  std::atomic<bool> gui_watching_{false};
  std::atomic<bool> abandoned_{false};  // no GUI thread will answer any more
  // The events posted to the component are made on the GUI thread, which reads and frees
  // them too: the worker only hands them over. It posts the spare wake-up; the GUI thread
  // makes the next one when that arrives, before it answers. No spare means one is on its
  // way, and it answers every report asked meanwhile.
  std::atomic<QEvent*> spare_wake_;
  std::unique_ptr<QEvent> run_ended_;  // posted by the worker at the end of its run
  Watch worker_watch_;  // worker thread only
  Watch gui_watch_;     // GUI thread only
  bool answering_ = false;  // GUI thread only
  std::thread thread_;  // joined by the destructor, before any member goes
};

}  // namespace rk5
