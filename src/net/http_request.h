#pragma once
// What the HTTP layer is asked to send, how long it waits for a silent peer, and whom it
// trusts for https besides the system's certificate store.
#include <chrono>
#include <string>

namespace rk5 {

// A server that cannot be reached within this time fails the fetch (name lookup and
// connecting, also to a proxy).
inline constexpr std::chrono::milliseconds kConnectTimeout = std::chrono::seconds(30);
// A transfer that receives no byte for this long fails the fetch (a reply that never
// comes, or a body that stops half way).
inline constexpr std::chrono::milliseconds kStallLimit = std::chrono::seconds(60);
// A transfer that stays below this many bytes a second for kLowSpeedTime fails: a server
// that drips a byte now and then would otherwise hold the fetch for ever.
inline constexpr long kLowSpeedBytes = 1024;
inline constexpr std::chrono::seconds kLowSpeedTime{60};

struct HttpLimits {
  std::chrono::milliseconds connect_timeout = kConnectTimeout;
  std::chrono::milliseconds stall_limit = kStallLimit;
  long low_speed_bytes = kLowSpeedBytes;     // bytes a second; 0: no such limit
  std::chrono::seconds low_speed_time = kLowSpeedTime;  // whole seconds, at least one
  // A PEM file of one more certificate authority trusted for https; empty: none.
  std::string extra_authority;
};

// One request to `host`, sent as HTTP/1.0: over TLS when `secure`, to `port`.
struct HttpRequest {
  bool secure = false;  // https: the server's certificate and name are verified
  int port = 80;
  std::string agent;      // user agent; empty: the layer sends none
  std::string host;       // must be a host name or an IPv4 address, nothing else
  std::string user_name;  // server authentication; empty: none
  std::string password;
  std::string verb;           // "GET" or "POST"
  std::string path;           // begins with "/", query included
  std::string referrer;       // empty: none
  std::string accept;         // the accept entry, "Accept: " and the media types
  bool reload = true;         // ask caches on the way to fetch it anew
  std::string extra_headers;  // one header line without line end, or empty
  std::string body;           // sent when the verb is POST
};

}  // namespace rk5
