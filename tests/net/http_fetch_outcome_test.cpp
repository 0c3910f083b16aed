// How a fetch ends for each kind of reply: the event raised and what the target file holds.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fetch_fixture.h"
#include "net/http_fetch.h"
#include "platform/staged_file.h"

namespace rk5::test {
namespace {

class HttpFetchOutcome : public FetchTest {
 protected:
  // A body that ends too early: `sent` of the announced bytes, then the server closes.
  HttpReply Dropped(std::size_t announced, std::size_t sent) {
    HttpReply reply = Ok(std::string(announced, 'd'));
    reply.fault = Fault::kCloseAt;
    reply.fault_at = sent;
    return reply;
  }
};

TEST_F(HttpFetchOutcome, AnnouncedBodyArrivesWithProgressAfterEveryPiece) {
  const std::string body = BinaryBody(2000);
  server_.Route("/tool.zip", Ok(body));
  const FetchEvents events = FetchFile("/tool.zip", /*binary=*/true);
  ASSERT_EQ(events.done_file, 1);
  EXPECT_EQ(events.Ends(), 1);
  EXPECT_EQ(events.file_size, 2000);
  EXPECT_EQ(events.file_name, Target());
  EXPECT_EQ(TargetBytes(), body);
  ASSERT_GE(events.progress.size(), 2u);  // at most 1025 bytes a piece
  std::int32_t before = 0;
  for (const auto& report : events.progress) {
    EXPECT_EQ(report.total, 2000);
    EXPECT_GT(report.readed, before);
    EXPECT_LE(report.readed - before, 1025);
    EXPECT_NE(report.sender, nullptr);
    EXPECT_NE(report.sender, events.sender);  // progress comes from the worker
    before = report.readed;
  }
  EXPECT_EQ(events.progress.back().readed, 2000);
  EXPECT_EQ(events.progress_after_end, 0);
}

TEST_F(HttpFetchOutcome, StringFetchKeepsTheBytesUnchanged) {
  const std::string body = BinaryBody(5000);
  server_.Route("/text", Ok(body));
  for (bool binary : {false, true}) {
    const FetchEvents events = FetchString("/text", binary);
    EXPECT_EQ(events.done_string, 1);
    EXPECT_EQ(events.result, body);
    EXPECT_EQ(events.progress.back().readed, 5000);
  }
}

TEST_F(HttpFetchOutcome, ErrorPageWithItsLengthCountsAsSuccess) {
  server_.Route("/missing", Status(404, "Not Found", "<h1>no such tool</h1>"));
  const FetchEvents file = FetchFile("/missing", true);
  EXPECT_EQ(file.done_file, 1);
  EXPECT_EQ(TargetBytes(), "<h1>no such tool</h1>");
  EXPECT_EQ(FetchString("/missing").result, "<h1>no such tool</h1>");
}

TEST_F(HttpFetchOutcome, NoLengthWithBinaryDataFailsAndLeavesTheFile) {
  server_.Route("/x", WithoutLength("body without length"));
  PutOldTarget();
  const FetchEvents file = FetchFile("/x", /*binary=*/true);
  EXPECT_EQ(file.errors, 1);
  EXPECT_EQ(file.Ends(), 1);
  EXPECT_TRUE(file.progress.empty());
  EXPECT_EQ(TargetBytes(), "last good content");
  EXPECT_EQ(FetchString("/x", true).errors, 1);
}

TEST_F(HttpFetchOutcome, NoLengthWithoutBinaryDataTakesOnlyAnEmptyBody) {
  server_.Route("/body", WithoutLength("body without length"));
  server_.Route("/empty", WithoutLength(""));
  PutOldTarget();
  // Bytes without an announced size cannot be checked: the fetch fails, the file stays.
  const FetchEvents with_body = FetchFile("/body");
  EXPECT_EQ(with_body.errors, 1);
  EXPECT_EQ(TargetBytes(), "last good content");
  EXPECT_EQ(with_body.progress.back().total, 0);

  const FetchEvents empty = FetchFile("/empty");
  EXPECT_EQ(empty.done_file, 1);
  EXPECT_EQ(empty.file_size, 0);
  EXPECT_TRUE(TargetExists());
  EXPECT_EQ(TargetBytes(), "");

  const FetchEvents text = FetchString("/body");
  EXPECT_EQ(text.done_string, 1);
  EXPECT_EQ(text.result, "body without length");
  EXPECT_EQ(FetchString("/empty").errors, 1);
}

TEST_F(HttpFetchOutcome, NoReplyAtAllFailsAndLeavesTheFile) {
  HttpReply hang_up;
  hang_up.fault = Fault::kHangUp;
  server_.Route("/hangup", hang_up);
  const std::vector<std::string> urls = {
      "http://example.test/hangup",     // the server closes without a byte
      "http:///no-host",                // empty host
      "example.test",                   // no slash: empty host
      "http://example.test:8080/x",     // a port is no host name
      "http://user@example.test/x",     // nor is a user name
      "https://example.test/x",         // another scheme stays in front of the host
      "http://exa mple.test/x",         // a space in the host
      "http://" + std::string(10000, 'h') + "/x",
  };
  for (const std::string& url : urls) {
    for (bool binary : {false, true}) {
      PutOldTarget();
      FetchEvents file;
      THttpFetch& fetch = Make(file, url);
      fetch.BinaryData = binary;
      fetch.FetchToFile();
      Finish(fetch);
      EXPECT_EQ(file.errors, 1) << url << " binary " << binary;
      EXPECT_EQ(file.Ends(), 1);
      EXPECT_EQ(TargetBytes(), "last good content") << url;

      FetchEvents text;
      THttpFetch& string_fetch = Make(text, url);
      string_fetch.BinaryData = binary;
      string_fetch.FetchToString();
      Finish(string_fetch);
      EXPECT_EQ(text.errors, 1) << url;
      EXPECT_EQ(text.Ends(), 1);
    }
  }
  // Only the hang-up reached the server; bad host texts never left the machine.
  for (const RecordedRequest& request : server_.Requests()) EXPECT_EQ(request.Path(), "/hangup");
}

TEST_F(HttpFetchOutcome, UnreachableProxyIsNoReply) {
  std::string dead_proxy;
  {
    HttpTestServer gone;
    dead_proxy = gone.ProxyUrl();
  }
  EnvOverride proxy("http_proxy", dead_proxy);
  PutOldTarget();
  EXPECT_EQ(FetchFile("/x").errors, 1);
  EXPECT_EQ(TargetBytes(), "last good content");
  EXPECT_EQ(FetchString("/x").errors, 1);
}

TEST_F(HttpFetchOutcome, ShortBodyFailsTheFileAndLeavesTheTarget) {
  server_.Route("/dropped", Dropped(3000, 1500));
  PutOldTarget();
  const FetchEvents file = FetchFile("/dropped", true);
  EXPECT_EQ(file.errors, 1);
  EXPECT_EQ(TargetBytes(), "last good content");  // the last good file survives
  EXPECT_EQ(file.progress.back().readed, 1500);
  EXPECT_EQ(file.progress.back().total, 3000);

  const FetchEvents text = FetchString("/dropped", true);
  EXPECT_EQ(text.done_string, 1);
  EXPECT_EQ(text.result, std::string(1500, 'd'));
}

TEST_F(HttpFetchOutcome, HeadersWithoutBodyAreAReplyThatFails) {
  server_.Route("/headers-only", Dropped(3000, 0));
  PutOldTarget();
  EXPECT_EQ(FetchFile("/headers-only", true).errors, 1);
  EXPECT_EQ(TargetBytes(), "last good content");
  EXPECT_EQ(FetchString("/headers-only").errors, 1);
}

TEST_F(HttpFetchOutcome, LongBodyFailsTheFileAndLeavesTheTarget) {
  HttpReply reply = Ok(std::string(3000, 'l'));
  reply.length_text = "1000";
  server_.Route("/long", reply);
  PutOldTarget();
  const FetchEvents file = FetchFile("/long", true);
  EXPECT_EQ(file.errors, 1);
  EXPECT_EQ(TargetBytes(), "last good content");
  const FetchEvents text = FetchString("/long", true);
  EXPECT_EQ(text.done_string, 1);
  EXPECT_EQ(text.result, std::string(3000, 'l'));
}

TEST_F(HttpFetchOutcome, EmptyBodyWithLengthZero) {
  server_.Route("/zero", Ok(""));
  PutOldTarget();
  const FetchEvents file = FetchFile("/zero", true);
  EXPECT_EQ(file.done_file, 1);
  EXPECT_EQ(file.file_size, 0);
  EXPECT_TRUE(file.progress.empty());
  EXPECT_TRUE(TargetExists());
  EXPECT_EQ(TargetBytes(), "");
  EXPECT_EQ(FetchString("/zero", true).errors, 1);
}

TEST_F(HttpFetchOutcome, LengthThatIsNoNumberFailsBothKindsBeforeTheFile) {
  const std::vector<std::string> lengths = {"-5", "1e3", "99999999999", "2147483648", "abc", "0x10"};
  for (const std::string& length : lengths) {
    HttpReply reply = Ok("some body");
    reply.length_text = length;
    server_.Route("/bad", reply);
    PutOldTarget();
    const FetchEvents file = FetchFile("/bad");
    EXPECT_EQ(file.errors, 1) << length;
    EXPECT_EQ(file.Ends(), 1);
    EXPECT_EQ(TargetBytes(), "last good content") << length;
    EXPECT_EQ(FetchString("/bad").errors, 1) << length;
  }
}

TEST_F(HttpFetchOutcome, TwoDifferentLengthsFailAndTwoEqualOnesCount) {
  HttpReply two = Ok("nine byte");
  two.omit_length = true;
  two.headers = {{"Content-Length", "9"}, {"Content-Length", "20"}};
  server_.Route("/two", two);
  HttpReply same = two;
  same.headers[1].value = "9";
  server_.Route("/same", same);
  PutOldTarget();
  EXPECT_EQ(FetchFile("/two").errors, 1);
  EXPECT_EQ(TargetBytes(), "last good content");
  EXPECT_EQ(FetchString("/two").errors, 1);
  const FetchEvents file = FetchFile("/same", true);
  EXPECT_EQ(file.done_file, 1);
  EXPECT_EQ(file.file_size, 9);
}

TEST_F(HttpFetchOutcome, GarbageRepliesEndInOneEvent) {
  struct Case {
    std::string raw;
    std::string target_after;  // what the file fetch leaves in the target
  };
  const std::string untouched = "last good content";
  const std::vector<Case> cases = {
      // No status line is no reply at all.
      {"garbage without any structure\r\n\r\nbody", untouched},
      {std::string("\x00\xFF\x10\x80 binary noise\r\n\r\n", 21), untouched},
      {"HTTP/1.0 abc def\r\nContent-Length: 4\r\n\r\nbody", untouched},
      {"HTTP/1.0 200 OK\r\nthis line has no colon\r\nContent-Length: 4\r\n\r\nbody", untouched},
      // Headers cut off by the end of the connection: a reply without its body.
      {"HTTP/1.0 200 OK\r\nContent-Length: 4\r\n", untouched},
  };
  for (const Case& c : cases) {
    HttpReply reply;
    reply.raw = c.raw;
    server_.Route("/raw", reply);
    PutOldTarget();
    const FetchEvents file = FetchFile("/raw", true);
    EXPECT_EQ(file.errors, 1) << c.raw;
    EXPECT_EQ(file.Ends(), 1) << c.raw;
    EXPECT_EQ(TargetBytes(), c.target_after) << c.raw;
    const FetchEvents text = FetchString("/raw");
    EXPECT_EQ(text.errors, 1) << c.raw;
    EXPECT_EQ(text.Ends(), 1) << c.raw;
  }
  // Nothing but the target was written.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()), 1);
}

TEST_F(HttpFetchOutcome, TargetThatCannotBeCreatedFails) {
  server_.Route("/x", Ok("body"));
  FetchEvents events;
  THttpFetch& fetch = Make(events, "http://example.test/x");
  fetch.FileName = dir_.file("no-such-folder/target.bin").string();
  fetch.FetchToFile();
  Finish(fetch);
  EXPECT_EQ(events.errors, 1);
  EXPECT_EQ(fetch.Failure(), TFetchFailure::fTargetNotWritten);
  EXPECT_TRUE(events.progress.empty());
  fetch.FileName.clear();
  fetch.FetchToFile();
  Finish(fetch);
  EXPECT_EQ(events.errors, 2);
  EXPECT_EQ(fetch.Failure(), TFetchFailure::fTargetNotWritten);
  // The owner's stager is the one used: one that has no room fails a writable target.
  struct NoRoom : platform::FileStager {
    std::unique_ptr<platform::StagedFile> Stage(const std::string&) override { return nullptr; }
  } no_room;
  fetch.FileName = Target();
  fetch.Stager = &no_room;
  fetch.FetchToFile();
  Finish(fetch);
  EXPECT_EQ(events.errors, 3);
  EXPECT_EQ(fetch.Failure(), TFetchFailure::fTargetNotWritten);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(HttpFetchOutcome, SilentServerTimesOutWithAnError) {
  HttpReply silent;
  silent.fault = Fault::kSilent;
  server_.Route("/silent", silent);
  HttpReply stalled = WithoutLength(std::string(4000, 's'));
  stalled.fault = Fault::kStallAt;
  stalled.fault_at = 2000;
  server_.Route("/stalled", stalled);
  PutOldTarget();
  for (const char* path : {"/silent", "/stalled"}) {
    for (bool to_file : {true, false}) {
      FetchEvents events;
      THttpFetch& fetch = Make(events, std::string(kHost) + path);
      fetch.Limits.stall_limit = std::chrono::milliseconds(300);
      to_file ? fetch.FetchToFile() : fetch.FetchToString();
      Finish(fetch);
      // A string fetch with bytes in hand would count as success; a stall does not.
      EXPECT_EQ(events.errors, 1) << path << " file " << to_file;
      EXPECT_EQ(events.Ends(), 1);
    }
  }
  EXPECT_EQ(TargetBytes(), "last good content");
}

}  // namespace
}  // namespace rk5::test
