#include "net/split_url.h"

#include <algorithm>

#include "platform/text.h"

namespace rk5 {

namespace {

bool ContainsHttpPrefix(std::string_view url) {
  return platform::FoldCase(url).find("http://") != std::string::npos;
}

}  // namespace

UrlParts SplitUrl(std::string_view url) {
  std::string_view rest = url;
  if (ContainsHttpPrefix(rest)) rest.remove_prefix(std::min<std::size_t>(7, rest.size()));
  UrlParts parts;
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) {
    parts.path = std::string(rest);
    return parts;
  }
  // The host is taken with its slash, which is then dropped again.
  parts.host = std::string(rest.substr(0, slash + 1));
  parts.path = std::string(rest.substr(slash));
  if (!parts.host.empty() && parts.host.back() == '/') parts.host.pop_back();
  return parts;
}

}  // namespace rk5
