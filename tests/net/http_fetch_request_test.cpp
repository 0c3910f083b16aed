// The request a fetch sends, as the server receives it.
#include <gtest/gtest.h>

#include "net/http_fetch.h"
#include "fetch_fixture.h"

namespace rk5::test {
namespace {

class HttpFetchRequest : public FetchTest {};

TEST_F(HttpFetchRequest, DefaultsSendAPlainHttp10GetWithAgentAcceptAndNoCache) {
  server_.Route("/cat/rk5h.ini", Ok("[Settings]\n"));
  const FetchEvents events = FetchFile("/cat/rk5h.ini?build=2");
  EXPECT_EQ(events.done_file, 1);
  const RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.version, "HTTP/1.0");
  EXPECT_EQ(request.target, "http://example.test/cat/rk5h.ini?build=2");
  EXPECT_EQ(request.Header("Host"), "example.test");
  EXPECT_EQ(request.Header("User-Agent"), "Corvane HttpFetch");
  EXPECT_EQ(request.HeaderCount("Accept"), 1u);
  EXPECT_EQ(request.Header("Accept"), "*/*");
  EXPECT_EQ(request.Header("Pragma"), "no-cache");
  EXPECT_EQ(request.Header("Cache-Control"), "no-cache");
  EXPECT_EQ(request.HeaderCount("Referer"), 0u);
  EXPECT_EQ(request.HeaderCount("Authorization"), 0u);
  EXPECT_EQ(request.HeaderCount("Content-Type"), 0u);
  EXPECT_EQ(request.HeaderCount("Proxy-Connection"), 0u);
  EXPECT_TRUE(request.body.empty());
}

TEST_F(HttpFetchRequest, SettingsGoIntoTheRequest) {
  server_.Route("/x", Ok("x"));
  FetchEvents events;
  THttpFetch& fetch = Make(events, "example.test/x");
  fetch.UseCache = true;
  fetch.Agent = "Other Agent/1.0";
  fetch.AcceptTypes = "text/plain";
  fetch.Referer = "http://referrer.test/page";
  fetch.FetchToFile();
  Finish(fetch);
  const RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.Header("User-Agent"), "Other Agent/1.0");
  EXPECT_EQ(request.Header("Accept"), "text/plain");
  EXPECT_EQ(request.Header("Referer"), "http://referrer.test/page");
  EXPECT_EQ(request.HeaderCount("Pragma"), 0u);
  EXPECT_EQ(request.HeaderCount("Cache-Control"), 0u);
}

TEST_F(HttpFetchRequest, EmptyAgentAndAcceptTypesSendNeither) {
  server_.Route("/x", Ok("x"));
  FetchEvents events;
  THttpFetch& fetch = Make(events, "http://example.test/x");
  fetch.Agent.clear();
  fetch.AcceptTypes.clear();
  fetch.FetchToString();
  Finish(fetch);
  EXPECT_EQ(events.done_string, 1);
  const RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.HeaderCount("User-Agent"), 0u);
  EXPECT_EQ(request.HeaderCount("Accept"), 0u);
}

TEST_F(HttpFetchRequest, PostQueryMakesAFormPostAndEmptyOneAGet) {
  server_.Route("/form", Ok("thanks"));
  FetchEvents events;
  THttpFetch& fetch = Make(events, "http://example.test/form");
  fetch.PostQuery = "name=Rk5+Helper&build=2";
  fetch.FetchToString();
  Finish(fetch);
  fetch.PostQuery.clear();
  fetch.FetchToString();
  Finish(fetch);
  ASSERT_EQ(events.done_string, 2);
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].HeaderCount("Content-Type"), 1u);
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[0].Header("Content-Length"), "23");
  EXPECT_EQ(requests[0].body, "name=Rk5+Helper&build=2");
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(requests[1].HeaderCount("Content-Type"), 0u);
  EXPECT_TRUE(requests[1].body.empty());
}

TEST_F(HttpFetchRequest, CredentialsAnswerTheServersChallenge) {
  server_.Route("/private", [](const RecordedRequest& request) {
    // "tool:s3cret" in base64
    if (request.Header("Authorization") == "Basic dG9vbDpzM2NyZXQ=") return Ok("secret body");
    HttpReply challenge = Status(401, "Unauthorized", "who are you?");
    challenge.headers.push_back({"WWW-Authenticate", "Basic realm=\"tools\""});
    return challenge;
  });
  FetchEvents events;
  THttpFetch& fetch = Make(events, "http://example.test/private");
  fetch.UserName = "tool";
  fetch.Password = "s3cret";
  fetch.FetchToString();
  Finish(fetch);
  EXPECT_EQ(events.done_string, 1);
  EXPECT_EQ(events.result, "secret body");
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].HeaderCount("Authorization"), 0u);
  EXPECT_EQ(requests[1].Header("Authorization"), "Basic dG9vbDpzM2NyZXQ=");
}

TEST_F(HttpFetchRequest, RedirectsAreFollowed) {
  server_.Route("/old", Redirect(302, "http://example.test/new?moved=1"));
  server_.Route("/new", Ok("new place"));
  server_.Route("/post-old", Redirect(303, "/post-new"));
  server_.Route("/post-new", Ok("after post"));
  EXPECT_EQ(FetchString("/old").result, "new place");

  FetchEvents events;
  THttpFetch& fetch = Make(events, "http://example.test/post-old");
  fetch.PostQuery = "a=1";
  fetch.FetchToString();
  Finish(fetch);
  EXPECT_EQ(events.result, "after post");
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[1].target, "http://example.test/new?moved=1");
  EXPECT_EQ(requests[2].method, "POST");
  EXPECT_EQ(requests[3].method, "GET");
  EXPECT_EQ(requests[3].Path(), "/post-new");
}

TEST_F(HttpFetchRequest, SpacesAndControlBytesInThePathAreEncoded) {
  server_.Route("/My%20Tool.zip", Ok("zip"));
  EXPECT_EQ(FetchString("/My Tool.zip").result, "zip");
  FetchString("/a\r\nX-Injected: 1\r\n\r\nGET /b");
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].target, "http://example.test/a%0D%0AX-Injected:%201%0D%0A%0D%0AGET%20/b");
  EXPECT_EQ(requests[1].HeaderCount("X-Injected"), 0u);
}

TEST_F(HttpFetchRequest, LongUrlIsSentWhole) {
  const std::string path = "/long/" + std::string(10000, 'q');
  server_.Route(path, Ok("long"));
  const FetchEvents events = FetchString(path);
  EXPECT_EQ(events.done_string, 1);
  EXPECT_EQ(events.result, "long");
  EXPECT_EQ(OnlyRequest().Path(), path);
}

TEST_F(HttpFetchRequest, SettingsChangedDuringAFetchDoNotAffectIt) {
  HttpReply reply = Ok("0123456789");
  reply.fault = Fault::kGateAt;
  reply.fault_at = 4;
  reply.gate = "half";
  server_.Route("/x", reply);
  FetchEvents events;
  THttpFetch& fetch = Make(events, "http://example.test/x");
  fetch.FetchToFile();
  ASSERT_TRUE(server_.WaitAtGate("half"));
  const std::string first_target = Target();
  fetch.URL = "http://example.test/other";
  fetch.FileName = dir_.file("other.bin").string();
  fetch.OnProgress = nullptr;
  server_.OpenGate("half");
  Finish(fetch);
  EXPECT_EQ(events.done_file, 1);
  EXPECT_EQ(events.file_name, first_target);
  EXPECT_EQ(TargetBytes(), "0123456789");
  EXPECT_FALSE(std::filesystem::exists(dir_.file("other.bin")));
  EXPECT_FALSE(events.progress.empty());  // the handler captured at start still ran
}

}  // namespace
}  // namespace rk5::test
