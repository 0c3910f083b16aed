#pragma once
// Texts that more than one window shows the user, exactly as the program has always
// written them.
namespace rk5 {

inline constexpr const char* kCantConnectText = "Can't connect to server!";
inline constexpr const char* kUpdateFirstText =
    "You must update Rk5 Helper before downloading new files!";
inline constexpr const char* kNoUpdateNeededText = "This program does not need a to be updated.";
inline constexpr const char* kSignatureNotValidText = "The catalogue's signature is not valid!";

}  // namespace rk5
