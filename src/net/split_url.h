#pragma once
// How a fetch reads its URL: the host text and the path that follow an optional "http://".
#include <string>
#include <string_view>

namespace rk5 {

struct UrlParts {
  std::string host;  // everything before the first "/", port or user name included
  std::string path;  // from the first "/" on, query included
};

// "http://" anywhere in the URL (any letter case) drops the URL's first seven characters,
// wherever the match was; other schemes stay in front of the host. Without a "/" the host
// is empty and the path is all that remains.
UrlParts SplitUrl(std::string_view url);

}  // namespace rk5
