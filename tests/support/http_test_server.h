#pragma once
// A loopback HTTP server for tests of any subsystem. It listens on 127.0.0.1 on a free
// port and serves on a thread of its own, so a test may block (waiting for a child
// process, say) while it answers. Each path gets a fixed reply or a handler; replies can
// omit or lie about Content-Length, drop the connection, stall, wait at a gate the test
// opens, never end, drip, or be raw bytes. Every complete request is recorded.
//
// Request lines in absolute form ("GET http://example.test/x HTTP/1.0") are served by
// path, so a program that fetches from port 80 reaches this server through http_proxy
// (set it to ProxyUrl()).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace rk5::test {

struct HttpHeader {
  std::string name;
  std::string value;
};

struct RecordedRequest {
  std::string request_line;  // without its line end
  std::string method;
  std::string target;   // as sent: "/x?q", or "http://host/x?q" through a proxy
  std::string version;  // "HTTP/1.0"
  std::vector<HttpHeader> headers;  // in the order received
  std::string body;

  std::string Path() const;   // the target without scheme, host and query: "/x"
  std::string Query() const;  // after the first "?", or empty
  // The first header of that name, letter case ignored; empty when there is none.
  std::string Header(std::string_view name) const;
  std::size_t HeaderCount(std::string_view name) const;
};

enum class Fault {
  kNone,     // the whole reply, then the server closes the connection
  kCloseAt,  // close after `fault_at` body bytes
  kStallAt,  // after `fault_at` body bytes send nothing more; close when the client does
  kGateAt,   // after `fault_at` body bytes wait until OpenGate(`gate`), then the rest
  kHangUp,   // close without sending a byte
  kSilent,   // send nothing and keep the connection open
  kEndless,  // the whole reply, then filler bytes without end, as fast as the client reads
  kDripAt,   // after `fault_at` body bytes the rest one byte every `drip_every`, then close
};

struct HttpReply {
  int status = 200;
  std::string reason = "OK";
  std::vector<HttpHeader> headers;  // sent as given, before Content-Length
  std::string body;
  // Content-Length is the body's size unless `length_text` gives another text; with
  // `omit_length` there is none (add your own to `headers` for several).
  bool omit_length = false;
  std::string length_text;
  // Non-empty: these bytes are the whole reply (status line and headers included), and
  // `fault_at` counts bytes of them.
  std::string raw;
  Fault fault = Fault::kNone;
  std::size_t fault_at = 0;
  std::string gate;
  std::chrono::milliseconds drip_every{100};
};

HttpReply Ok(std::string body);             // 200 with the body's length
HttpReply WithoutLength(std::string body);  // 200 without Content-Length
HttpReply Status(int status, std::string reason, std::string body);
HttpReply Redirect(int status, std::string location);

class HttpTestServer {
 public:
  using Handler = std::function<HttpReply(const RecordedRequest&)>;
  static constexpr std::chrono::milliseconds kWaitLimit = std::chrono::seconds(20);

  HttpTestServer();
  ~HttpTestServer();  // closes every connection
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  std::uint16_t port() const;
  std::string Url(std::string_view path) const;  // "http://127.0.0.1:<port>" + path
  std::string ProxyUrl() const;                  // a value for http_proxy

  // A path (without query) answered by a fixed reply or by a handler, which runs on the
  // server's thread. Unrouted paths get 404 with the body "Not Found".
  void Route(std::string path, HttpReply reply);
  void Route(std::string path, Handler handler);

  std::vector<RecordedRequest> Requests() const;
  std::size_t RequestCount() const;
  // Each Wait returns false when `limit` passes first (a guard against hanging tests).
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds limit = kWaitLimit) const;

  void OpenGate(const std::string& name);
  // Until a connection has sent its first part and waits at the gate.
  bool WaitAtGate(const std::string& name, std::chrono::milliseconds limit = kWaitLimit) const;

  std::size_t OpenConnections() const;
  bool WaitForNoConnections(std::chrono::milliseconds limit = kWaitLimit) const;

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace rk5::test
