// A hostile or broken server cannot make a fetch run without end, grow without bound, or
// spoil the file it fetches into: the target changes only when the fetch succeeds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fetch_fixture.h"
#include "net/http_fetch.h"

namespace rk5::test {
namespace {

namespace fs = std::filesystem;

class HttpFetchBounds : public FetchTest {
 protected:
  // The folder holds the target (if any) and nothing else: no file beside it was left.
  std::size_t FilesInFolder() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()));
  }

  FetchEvents Run(const std::string& path, bool to_file, bool binary, std::int32_t limit,
                  TFetchFailure* failure = nullptr, const HttpLimits& limits = {}) {
    FetchEvents events;
    THttpFetch& fetch = Make(events, kHost + path);
    fetch.BinaryData = binary;
    fetch.SizeLimit = limit;
    fetch.Limits = limits;
    to_file ? fetch.FetchToFile() : fetch.FetchToString();
    Finish(fetch);
    if (failure != nullptr) *failure = fetch.Failure();
    return events;
  }
};

TEST_F(HttpFetchBounds, EndlessBodyEndsTheFetchAndLeavesTheTarget) {
  HttpReply no_length = WithoutLength("[Rk5Helper]\r\nBuild=9\r\n");
  no_length.fault = Fault::kEndless;
  HttpReply small_length = Ok("[Rk5Helper]\r\nBuild=9\r\n");
  small_length.fault = Fault::kEndless;
  server_.Route("/no-length", no_length);
  server_.Route("/small-length", small_length);
  for (const char* path : {"/no-length", "/small-length"}) {
    for (bool binary : {false, true}) {
      for (std::int32_t limit : {0, 1 << 20}) {
        PutOldTarget();
        TFetchFailure failure = TFetchFailure::fNone;
        const FetchEvents file = Run(path, true, binary, limit, &failure);
        EXPECT_EQ(file.errors, 1) << path << " binary " << binary << " limit " << limit;
        EXPECT_EQ(file.Ends(), 1);
        EXPECT_NE(failure, TFetchFailure::fNone);
        EXPECT_EQ(TargetBytes(), "last good content") << path;
        EXPECT_EQ(FilesInFolder(), 1u) << path;
        // The file fetch stops once the body passes what it may be, not at 2 GiB.
        if (!file.progress.empty()) {
          EXPECT_LE(file.progress.back().readed, 1 << 20) << path;
        }
      }
    }
  }
  // A string fetch takes at most its limit.
  for (const char* path : {"/no-length", "/small-length"}) {
    TFetchFailure failure = TFetchFailure::fNone;
    const FetchEvents text = Run(path, false, false, 256 * 1024, &failure);
    EXPECT_EQ(text.errors, 1) << path;
    EXPECT_EQ(failure, TFetchFailure::fTooLarge);
    EXPECT_TRUE(text.result.empty());
    ASSERT_FALSE(text.progress.empty());
    EXPECT_LE(text.progress.back().readed, 256 * 1024);
  }
  EXPECT_TRUE(server_.WaitForNoConnections());
}

TEST_F(HttpFetchBounds, AnnouncedLengthAboveTheLimitFailsBeforeTheBody) {
  const std::string body(5000, 'b');
  server_.Route("/big", Ok(body));
  for (bool to_file : {true, false}) {
    PutOldTarget();
    TFetchFailure failure = TFetchFailure::fNone;
    const FetchEvents events = Run("/big", to_file, true, 4999, &failure);
    EXPECT_EQ(events.errors, 1) << to_file;
    EXPECT_EQ(failure, TFetchFailure::fTooLarge);
    EXPECT_TRUE(events.progress.empty());
    EXPECT_EQ(TargetBytes(), "last good content");
  }
  // At the limit it arrives.
  const FetchEvents file = Run("/big", true, true, 5000);
  EXPECT_EQ(file.done_file, 1);
  EXPECT_EQ(TargetBytes(), body);
  EXPECT_EQ(Run("/big", false, true, 5000).result, body);
}

TEST_F(HttpFetchBounds, DripBelowTheLowSpeedLimitFailsAndLeavesTheTarget) {
  HttpReply drip = Ok(std::string(100000, 'd'));
  drip.fault = Fault::kDripAt;
  drip.fault_at = 10;
  drip.drip_every = std::chrono::milliseconds(50);  // 20 bytes a second
  server_.Route("/drip", drip);
  HttpLimits limits;
  limits.low_speed_bytes = 1000;
  limits.low_speed_time = std::chrono::seconds(1);
  for (bool to_file : {true, false}) {
    PutOldTarget();
    TFetchFailure failure = TFetchFailure::fNone;
    const FetchEvents events = Run("/drip", to_file, true, 0, &failure, limits);
    EXPECT_EQ(events.errors, 1) << to_file;
    EXPECT_EQ(failure, TFetchFailure::fTimedOut);
    EXPECT_FALSE(events.progress.empty());  // bytes came, but too few
    EXPECT_EQ(TargetBytes(), "last good content");
    EXPECT_EQ(FilesInFolder(), 1u);
  }
  // A body that keeps well above the limit arrives whole however long it takes.
  HttpReply moving = Ok(std::string(3000, 'm'));
  moving.fault = Fault::kDripAt;
  moving.fault_at = 2800;
  moving.drip_every = std::chrono::milliseconds(5);  // 200 bytes a second for a second
  server_.Route("/moving", moving);
  limits.low_speed_bytes = 10;
  const FetchEvents arrived = Run("/moving", true, true, 0, nullptr, limits);
  EXPECT_EQ(arrived.done_file, 1);
  EXPECT_EQ(TargetBytes(), std::string(3000, 'm'));
}

TEST_F(HttpFetchBounds, LinkAtTheTargetIsReplacedNeverFollowed) {
  server_.Route("/ok", Ok("fetched catalogue"));
  HttpReply dropped = Ok(std::string(3000, 'x'));
  dropped.fault = Fault::kCloseAt;
  dropped.fault_at = 1000;
  server_.Route("/dropped", dropped);
  const fs::path victim = dir_.file("victim.txt");
  WriteFileBytes(victim, "a file of the user");
  fs::create_symlink(victim, Target());

  // A failed fetch leaves the link and what it points at alone.
  EXPECT_EQ(FetchFile("/dropped", true).errors, 1);
  EXPECT_TRUE(fs::is_symlink(Target()));
  EXPECT_EQ(ReadFileBytes(victim), "a file of the user");

  // A good one puts a file of its own in the link's place.
  EXPECT_EQ(FetchFile("/ok", true).done_file, 1);
  EXPECT_FALSE(fs::is_symlink(Target()));
  EXPECT_EQ(TargetBytes(), "fetched catalogue");
  EXPECT_EQ(ReadFileBytes(victim), "a file of the user");
  EXPECT_EQ(FilesInFolder(), 2u);
}

}  // namespace
}  // namespace rk5::test
