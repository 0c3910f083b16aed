#pragma once
// Checks and encodings for the texts that go into a request line.
#include <string>
#include <string_view>

namespace rk5 {

// A DNS name (letters, digits, "-" and "_" in dot-separated labels of 1 to 63 characters,
// 253 characters at most, one trailing dot allowed) or a dotted IPv4 address. A port, a
// user name or a scheme in the text makes it no host name.
bool IsHostName(std::string_view host);

// The path as it can stand in a request line: control bytes, spaces, DEL and bytes above
// 127 become %XX; everything else, "%" included, is kept as it is.
std::string EncodeRequestPath(std::string_view path);

}  // namespace rk5
