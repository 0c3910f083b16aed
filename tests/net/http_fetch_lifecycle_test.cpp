// The component's life: defaults, one fetch at a time, waiting, cancelling, and being
// destroyed while its worker still runs.
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>
#include <string>

#include "fetch_fixture.h"
#include "net/http_fetch.h"
#include "net/http_fetch_thread.h"

namespace rk5::test {
namespace {

class HttpFetchLifecycle : public FetchTest {
 protected:
  // `size` bytes of which `first` arrive, then the server waits at `gate`.
  void RouteGated(const std::string& path, std::size_t size, std::size_t first, const std::string& gate) {
    HttpReply reply = Ok(std::string(size, 'g'));
    reply.fault = Fault::kGateAt;
    reply.fault_at = first;
    reply.gate = gate;
    server_.Route(path, reply);
  }
};

TEST_F(HttpFetchLifecycle, PropertiesAtCreation) {
  THttpFetch fetch;
  EXPECT_EQ(fetch.AcceptTypes, "*/*");
  EXPECT_EQ(fetch.Agent, "Corvane HttpFetch");
  EXPECT_FALSE(fetch.BinaryData);
  EXPECT_TRUE(fetch.URL.empty());
  EXPECT_FALSE(fetch.UseCache);
  EXPECT_TRUE(fetch.FileName.empty());
  EXPECT_TRUE(fetch.UserName.empty());
  EXPECT_TRUE(fetch.Password.empty());
  EXPECT_TRUE(fetch.PostQuery.empty());
  EXPECT_TRUE(fetch.Referer.empty());
  EXPECT_FALSE(fetch.WaitThread);
  EXPECT_FALSE(fetch.OnProgress || fetch.OnDoneFile || fetch.OnDoneString || fetch.OnError);
  EXPECT_FALSE(fetch.Running());
  fetch.Cancel();  // idle: nothing to do
  EXPECT_FALSE(fetch.Running());
}

TEST_F(HttpFetchLifecycle, SecondStartWhileRunningIsIgnored) {
  server_.Route("/x", Ok("once"));
  FetchEvents events;
  THttpFetch& fetch = Make(events, "http://example.test/x");
  fetch.FetchToFile();
  fetch.FetchToFile();
  fetch.FetchToString();
  Finish(fetch);
  EXPECT_EQ(events.Ends(), 1);
  EXPECT_EQ(events.done_file, 1);
  EXPECT_EQ(server_.RequestCount(), 1u);
}

TEST_F(HttpFetchLifecycle, StartFromInsideTheCompletionEventIsIgnored) {
  server_.Route("/x", Ok("body"));
  FetchEvents events;
  THttpFetch& fetch = Make(events, "http://example.test/x");
  bool running_inside = false;
  fetch.OnDoneFile = [&](THttpFetch* sender, const std::string&, std::int32_t) {
    ++events.done_file;
    running_inside = sender->Running();
    sender->FetchToFile();
  };
  fetch.FetchToFile();
  Finish(fetch);
  EXPECT_TRUE(running_inside);
  EXPECT_EQ(events.done_file, 1);
  EXPECT_EQ(server_.RequestCount(), 1u);
  // Once the event has returned the component is idle and starts again.
  fetch.FetchToFile();
  Finish(fetch);
  EXPECT_EQ(events.done_file, 2);
  EXPECT_EQ(server_.RequestCount(), 2u);
}

TEST_F(HttpFetchLifecycle, CompletionHandlersAreLookedUpWhenTheFetchEnds) {
  RouteGated("/x", 100, 10, "g");
  FetchEvents events;
  THttpFetch& fetch = Make(events, "http://example.test/x");
  fetch.FetchToFile();
  ASSERT_TRUE(server_.WaitAtGate("g"));
  int late_handler = 0;
  fetch.OnDoneFile = [&](THttpFetch*, const std::string&, std::int32_t) { ++late_handler; };
  server_.OpenGate("g");
  Finish(fetch);
  EXPECT_EQ(late_handler, 1);
  EXPECT_EQ(events.done_file, 0);
}

TEST_F(HttpFetchLifecycle, WaitThreadReturnsAfterTheCompletionEvent) {
  server_.Route("/x", Ok(std::string(5000, 'w')));
  FetchEvents events;
  THttpFetch& fetch = Make(events, "http://example.test/x");
  fetch.WaitThread = true;
  fetch.FetchToFile();
  EXPECT_EQ(events.done_file, 1);  // already raised, and returned, on return
  EXPECT_FALSE(fetch.Running());
  EXPECT_FALSE(events.progress.empty());  // progress was dispatched during the wait
  fetch.FetchToString();
  EXPECT_EQ(events.done_string, 1);
  EXPECT_EQ(events.result, std::string(5000, 'w'));
  fetch.URL = "http:///nowhere";
  fetch.FetchToFile();
  EXPECT_EQ(events.errors, 1);
}

TEST_F(HttpFetchLifecycle, ProgressHandlerMayRunAModalLoop) {
  server_.Route("/x", Ok(std::string(50000, 'm')));
  FetchEvents events;
  THttpFetch& fetch = Make(events, "http://example.test/x");
  std::vector<std::int32_t> readed;
  int depth = 0;
  int deepest = 0;
  fetch.OnProgress = [&](QObject*, std::int32_t, std::int32_t value) {
    ++depth;
    deepest = std::max(deepest, depth);
    readed.push_back(value);
    if (readed.size() % 3 == 1) {  // as a message window would, now and then
      QEventLoop modal;
      QTimer::singleShot(0, &modal, &QEventLoop::quit);
      modal.exec();
    }
    --depth;
  };
  fetch.FetchToFile();
  Finish(fetch);
  EXPECT_EQ(events.done_file, 1);
  EXPECT_EQ(deepest, 1);  // never re-entered for a report
  ASSERT_FALSE(readed.empty());
  EXPECT_TRUE(std::is_sorted(readed.begin(), readed.end()) &&
              std::adjacent_find(readed.begin(), readed.end()) == readed.end());
  EXPECT_EQ(readed.back(), 50000);
}

TEST_F(HttpFetchLifecycle, CancelInTheReadLoopLeavesTheTargetAndNoPartialFile) {
  RouteGated("/big", 10000, 3000, "g");
  PutOldTarget();
  FetchEvents events;
  THttpFetch& fetch = Make(events, "http://example.test/big");
  fetch.BinaryData = true;
  fetch.FetchToFile();
  ASSERT_TRUE(RunUntil([&] { return !events.progress.empty() && events.progress.back().readed == 3000; }));
  fetch.Cancel();
  Finish(fetch);  // the worker stops waiting for the stalled server
  EXPECT_EQ(events.errors, 1);
  EXPECT_EQ(events.Ends(), 1);
  EXPECT_EQ(fetch.Failure(), TFetchFailure::fCancelled);
  EXPECT_EQ(TargetBytes(), "last good content");
  // The bytes that had arrived went to a file beside the target, which is gone.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()), 1);
  EXPECT_TRUE(server_.WaitForNoConnections());
}

TEST_F(HttpFetchLifecycle, CancelWhileWaitingForTheReplyEndsInError) {
  HttpReply silent;
  silent.fault = Fault::kSilent;
  server_.Route("/silent", silent);
  for (bool to_file : {true, false}) {
    FetchEvents events;
    THttpFetch& fetch = Make(events, "http://example.test/silent");
    to_file ? fetch.FetchToFile() : fetch.FetchToString();
    ASSERT_TRUE(server_.WaitForRequests(to_file ? 1 : 2));
    fetch.Cancel();
    Finish(fetch);
    EXPECT_EQ(events.errors, 1);
    EXPECT_EQ(events.Ends(), 1);
  }
  EXPECT_FALSE(TargetExists());
}

TEST_F(HttpFetchLifecycle, DestroyedMidFetchEndsItsThreadAndDropsTheLateReport) {
  RouteGated("/body", 10000, 2000, "g");
  HttpReply silent;
  silent.fault = Fault::kSilent;
  server_.Route("/silent", silent);
  struct Case {
    const char* path;
    bool from_progress;  // destroyed by its own first progress handler
    int calls;           // events raised before the component is destroyed
  };
  for (const Case& c :
       {Case{"/body", false, 2}, Case{"/silent", false, 0}, Case{"/body", true, 1}}) {
    SCOPED_TRACE(std::string(c.path) + (c.from_progress ? " from its progress handler" : ""));
    auto fetch = std::make_unique<THttpFetch>();
    int calls = 0;
    fetch->OnProgress = [&](QObject*, std::int32_t, std::int32_t) {
      if (++calls == 1 && c.from_progress) fetch.reset();
    };
    fetch->OnDoneFile = [&](THttpFetch*, const std::string&, std::int32_t) { ++calls; };
    fetch->OnError = [&](THttpFetch*) { ++calls; };
    fetch->URL = std::string(kHost) + c.path;
    fetch->FileName = Target();
    const std::size_t requests = server_.RequestCount();
    fetch->FetchToFile();
    if (c.from_progress) {
      ASSERT_TRUE(RunUntil([&] { return fetch == nullptr; }));
    } else {
      // 2000 bytes: two pieces; or the request is at the silent server.
      ASSERT_TRUE(c.calls > 0 ? RunUntil([&] { return calls == c.calls; })
                              : server_.WaitForRequests(requests + 1));
      fetch.reset();
    }
    // The thread has ended on return: the partial body beside the target is gone.
    EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
    EXPECT_TRUE(server_.WaitForNoConnections());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(calls, c.calls);
  }
}

// Destroyed by its owner as an event of the chosen kind arrives, before handling it: a
// worker waiting for its progress report to be answered, or one whose run has ended.
class DestroyedOnArrival : public THttpFetch {
 public:
  DestroyedOnArrival(std::unique_ptr<THttpFetch>& self, QEvent::Type type)
      : self_(self), type_(type) {}

 protected:
  bool event(QEvent* event) override {
    if (event->type() != type_) return THttpFetch::event(event);
    self_.reset();
    return true;
  }

 private:
  std::unique_ptr<THttpFetch>& self_;
  const QEvent::Type type_;
};

TEST_F(HttpFetchLifecycle, ReportsUnderWayWhenDestroyedGoNowhere) {
  server_.Route("/x", Ok(std::string(3000, 'x')));
  for (bool with_progress : {true, false}) {
    std::unique_ptr<THttpFetch> fetch;
    fetch = std::make_unique<DestroyedOnArrival>(
        fetch, with_progress ? THttpFetchThread::ProgressEventType()
                             : THttpFetchThread::RunEndedEventType());
    int calls = 0;
    if (with_progress) fetch->OnProgress = [&](QObject*, std::int32_t, std::int32_t) { ++calls; };
    fetch->OnDoneFile = [&](THttpFetch*, const std::string&, std::int32_t) { ++calls; };
    fetch->OnError = [&](THttpFetch*) { ++calls; };
    fetch->URL = "http://example.test/x";
    fetch->FileName = Target();
    fetch->FetchToFile();
    ASSERT_TRUE(RunUntil([&] { return fetch == nullptr; })) << with_progress;
    EXPECT_EQ(calls, 0) << with_progress;
  }
}

TEST_F(HttpFetchLifecycle, DestroyedFromItsOwnHandlers) {
  server_.Route("/x", Ok(std::string(4000, 'x')));
  // From the progress handler: later pieces and the completion go nowhere.
  auto fetch = std::make_unique<THttpFetch>();
  int progress = 0;
  int ends = 0;
  fetch->OnProgress = [&](QObject*, std::int32_t, std::int32_t) {
    ++progress;
    fetch.reset();
  };
  fetch->OnError = [&](THttpFetch*) { ++ends; };
  fetch->URL = "http://example.test/x";
  fetch->FileName = Target();
  fetch->FetchToFile();
  QPointer<THttpFetchThread> worker = fetch->Worker();
  ASSERT_TRUE(RunUntil([&] { return worker.isNull(); }));
  EXPECT_EQ(progress, 1);
  EXPECT_EQ(ends, 0);

  // From the completion handler, also while WaitThread waits for it.
  auto second = std::make_unique<THttpFetch>();
  int done = 0;
  second->OnDoneString = [&](THttpFetch*, const std::string&) {
    ++done;
    second.reset();
  };
  second->URL = "http://example.test/x";
  second->WaitThread = true;
  second->FetchToString();
  EXPECT_EQ(done, 1);
  EXPECT_EQ(second, nullptr);
}

TEST_F(HttpFetchLifecycle, ProgramExitsWhileAWorkerRuns) {
  RouteGated("/x", 10000, 2000, "never");
  for (const char* mode : {"keep", "destroy"}) {
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("http_proxy", QString::fromStdString(server_.ProxyUrl()));
    tool.setProcessEnvironment(env);
    tool.start(RK5_TEST_BINARY_DIR "/tests/tool_fetch_exit",
               {"http://example.test/x", QString::fromStdString(Target()), mode});
    ASSERT_TRUE(tool.waitForFinished(20000)) << mode << " hangs at exit";
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit) << mode;
    EXPECT_EQ(tool.exitCode(), 0) << mode << tool.readAllStandardError().toStdString();
  }
}

}  // namespace
}  // namespace rk5::test
