#pragma once
// How a fetch reads its URL: the host text and the path that follow an optional "http://",
// or, for an "https://" URL, the host, its port and the path of a secure fetch.
#include <string>
#include <string_view>

namespace rk5 {

inline constexpr int kHttpPort = 80;
inline constexpr int kHttpsPort = 443;

struct UrlParts {
  std::string host;  // everything before the first "/", port or user name included
  std::string path;  // from the first "/" on, query included
  bool secure = false;   // the URL began with "https://"
  int port = kHttpPort;  // always 80 for http; 443 or the URL's own for https
};

// A URL that begins with "https://" (any letter case) is a secure fetch: its host may name
// a port after a colon (one that is no port number leaves the colon in the host, which then
// fails as no host name does), and a URL without a path asks for "/".
//
// Otherwise "http://" anywhere in the URL (any letter case) drops the URL's first seven
// characters, wherever the match was; other schemes stay in front of the host. Without a
// "/" the host is empty and the path is all that remains.
UrlParts SplitUrl(std::string_view url);

}  // namespace rk5
