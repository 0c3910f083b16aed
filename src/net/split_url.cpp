#include "net/split_url.h"

#include <algorithm>
#include <charconv>

#include "platform/text.h"

namespace rk5 {

namespace {

constexpr std::string_view kHttpsPrefix = "https://";

bool ContainsHttpPrefix(std::string_view url) {
  return platform::FoldCase(url).find("http://") != std::string::npos;
}

UrlParts SplitSecureUrl(std::string_view rest) {
  UrlParts parts;
  parts.secure = true;
  parts.port = kHttpsPort;
  const std::size_t slash = rest.find('/');
  parts.host = std::string(rest.substr(0, slash));
  parts.path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
  const std::size_t colon = parts.host.rfind(':');
  if (colon == std::string::npos) return parts;
  const std::string_view digits = std::string_view(parts.host).substr(colon + 1);
  int port = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (ec == std::errc() && end == digits.data() + digits.size() && port > 0 && port <= 65535) {
    parts.port = port;
    parts.host.resize(colon);
  }
  return parts;
}

}  // namespace

UrlParts SplitUrl(std::string_view url) {
  if (platform::FoldCase(url.substr(0, kHttpsPrefix.size())) == kHttpsPrefix) {
    return SplitSecureUrl(url.substr(kHttpsPrefix.size()));
  }
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
