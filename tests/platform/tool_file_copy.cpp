// A copier for the file-copy tests, run where the test process cannot go (another user,
// a file size limit): tool_file_copy <source> <target> [executable]
// Ends with 0 when the copy reports success, 1 when it reports failure.
#include <string>

#include "platform/file_copy.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const bool executable = argc > 3 && std::string(argv[3]) == "executable";
  return rk5::platform::MakeFileCopy()->Copy(argv[1], argv[2], executable) ? 0 : 1;
}
