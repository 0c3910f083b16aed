#pragma once
// What the fetch tests share: a loopback server reached through http_proxy (every fetch
// goes to port 80), a scratch folder, a record of the events a component raised, and an
// event-driven wait.
#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/http_fetch.h"
#include "support/event_wait.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace rk5::test {

struct FetchEvents {
  struct Progress {
    QObject* sender;
    std::int32_t total;
    std::int32_t readed;
  };
  std::vector<Progress> progress;
  int done_file = 0;
  int done_string = 0;
  int errors = 0;
  THttpFetch* sender = nullptr;
  std::string file_name;
  std::int32_t file_size = -1;
  std::string result;
  int progress_after_end = 0;

  int Ends() const { return done_file + done_string + errors; }
};

class FetchTest : public ::testing::Test {
 protected:
  static constexpr const char* kHost = "http://example.test";

  FetchTest()
      : proxy_("http_proxy", server_.ProxyUrl()),
        no_proxy_("no_proxy", std::nullopt),
        no_proxy_upper_("NO_PROXY", std::nullopt),
        all_proxy_("all_proxy", std::nullopt),
        all_proxy_upper_("ALL_PROXY", std::nullopt) {}

  ~FetchTest() override {
    // A test that left a fetch running must not leak it into the next one.
    for (auto& fetch : fetches_) {
      if (fetch) {
        fetch->Cancel();
        RunUntil([&] { return !fetch->Running(); });
      }
    }
  }

  // A component for `url` with every event bound to `events`; a file fetch goes to Target().
  THttpFetch& Make(FetchEvents& events, const std::string& url = {}) {
    fetches_.push_back(std::make_unique<THttpFetch>());
    THttpFetch& fetch = *fetches_.back();
    fetch.URL = url;
    fetch.FileName = Target();
    fetch.OnProgress = [&events](QObject* sender, std::int32_t total, std::int32_t readed) {
      if (events.Ends() > 0) ++events.progress_after_end;
      events.progress.push_back({sender, total, readed});
    };
    fetch.OnDoneFile = [&events](THttpFetch* sender, const std::string& name, std::int32_t size) {
      ++events.done_file;
      events.sender = sender;
      events.file_name = name;
      events.file_size = size;
    };
    fetch.OnDoneString = [&events](THttpFetch* sender, const std::string& result) {
      ++events.done_string;
      events.sender = sender;
      events.result = result;
    };
    fetch.OnError = [&events](THttpFetch* sender) {
      ++events.errors;
      events.sender = sender;
    };
    return fetch;
  }

  // Runs a fetch to its end: the completion event has returned and the worker is gone.
  static void Finish(THttpFetch& fetch) {
    ASSERT_TRUE(RunUntil([&] { return !fetch.Running(); })) << "the fetch never ended";
  }

  // Fetches `path` of the fake host into the target file, or as text.
  FetchEvents FetchFile(const std::string& path, bool binary = false) { return Fetch(path, true, binary); }
  FetchEvents FetchString(const std::string& path, bool binary = false) {
    return Fetch(path, false, binary);
  }
  FetchEvents Fetch(const std::string& path, bool to_file, bool binary) {
    FetchEvents events;
    THttpFetch& fetch = Make(events, kHost + path);
    fetch.BinaryData = binary;
    to_file ? fetch.FetchToFile() : fetch.FetchToString();
    Finish(fetch);
    return events;
  }

  std::string Target() const { return dir_.file("target.bin").string(); }
  std::string TargetBytes() const { return ReadFileBytes(Target()); }
  bool TargetExists() const { return std::filesystem::exists(Target()); }
  void PutOldTarget() { WriteFileBytes(Target(), "last good content"); }
  RecordedRequest OnlyRequest() const {
    const auto requests = server_.Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? RecordedRequest{} : requests.front();
  }

  HttpTestServer server_;
  TempDir dir_;

 private:
  EnvOverride proxy_, no_proxy_, no_proxy_upper_, all_proxy_, all_proxy_upper_;
  std::vector<std::unique_ptr<THttpFetch>> fetches_;
};

// A body of `size` bytes that holds every byte value, line ends and NULs included.
inline std::string BinaryBody(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  return body;
}

}  // namespace rk5::test
