#pragma once
// The HTTP layer beneath the fetch component, over libcurl: one request, its reply's
// headers, and its body read in pieces the caller sizes. Proxies come from the usual
// environment variables (http_proxy, no_proxy), redirects are followed, authentication
// answers the server's challenge. Used from one thread at a time.
#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "net/http_request.h"

namespace rk5 {

// Sets up libcurl once per process; the first connection does it otherwise. Call it on
// the main thread, before any worker needs it.
void InitHttpLayer();

class HttpConnection {
 public:
  // `cancelled`, when given, is polled while the layer waits for the network; once it is
  // set, waiting ends as if the peer had gone.
  explicit HttpConnection(HttpLimits limits, const std::atomic<bool>* cancelled = nullptr);
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // Sends the request and waits for the reply's headers (after redirects and
  // authentication). A host text that is no host name fails like an unreachable host.
  // Returns ReplyArrived().
  bool Send(const HttpRequest& request);

  // A reply came back: its status line and headers, or its body, arrived.
  bool ReplyArrived() const;

  // The reply's Content-Length as sent, without surrounding blanks; repeated headers with
  // different values come back joined by ", ". None when the reply had no such header.
  std::optional<std::string> ContentLength() const;

  // Copies up to `capacity` body bytes into `buffer`, waiting for them if need be.
  // 0 at the end of the body, and after any failure, time-out or cancellation.
  std::size_t Read(char* buffer, std::size_t capacity);

  // Waiting ended because the limits ran out (connecting, or no byte for too long).
  bool TimedOut() const;
  // Waiting ended because `cancelled` was set.
  bool Cancelled() const;

  struct State;

 private:
  void Pump(bool (*ready)(const State&));

  HttpLimits limits_;
  const std::atomic<bool>* cancelled_;
  std::unique_ptr<State> state_;
};

}  // namespace rk5
