// The bound on a string fetch (a licence text): a text up to SizeLimit arrives whole, a
// longer one fails, whether the server announces its length or not.
#include <gtest/gtest.h>

#include <string>

#include "fetch_fixture.h"
#include "net/http_fetch.h"

namespace rk5::test {
namespace {

class HttpFetchBound : public FetchTest {
 protected:
  static constexpr std::int32_t kBound = 3000;

  FetchEvents Bounded(const std::string& path) {
    FetchEvents events;
    THttpFetch& fetch = Make(events, kHost + path);
    fetch.SizeLimit = kBound;
    fetch.FetchToString();
    Finish(fetch);
    return events;
  }
};

TEST_F(HttpFetchBound, TextUpToTheBoundArrivesLongerFails) {
  const std::string fits = BinaryBody(kBound);
  const std::string over = BinaryBody(kBound + 1);
  server_.Route("/fits", Ok(fits));
  server_.Route("/fits-unannounced", WithoutLength(fits));
  server_.Route("/over", Ok(over));
  server_.Route("/over-unannounced", WithoutLength(over));

  for (const char* path : {"/fits", "/fits-unannounced"}) {
    const FetchEvents events = Bounded(path);
    EXPECT_EQ(events.done_string, 1) << path;
    EXPECT_EQ(events.result, fits) << path;
  }
  for (const char* path : {"/over", "/over-unannounced"}) {
    const FetchEvents events = Bounded(path);
    EXPECT_EQ(events.errors, 1) << path;
    EXPECT_EQ(events.Ends(), 1) << path;
  }
  // An announced length over the bound fails before any of the body is taken.
  FetchEvents announced;
  THttpFetch& fetch = Make(announced, std::string(kHost) + "/over");
  fetch.SizeLimit = kBound;
  fetch.OnProgress = [&announced](QObject*, std::int32_t, std::int32_t) {
    announced.progress.push_back({});
  };
  fetch.FetchToString();
  Finish(fetch);
  EXPECT_EQ(announced.errors, 1);
  EXPECT_TRUE(announced.progress.empty());
}

}  // namespace
}  // namespace rk5::test
