#include "catalogue/start_program.h"

namespace rk5 {

bool StartProgram(platform::ProgramStart& Starter, const std::string& FileName,
                  const std::string& Params, const std::string& Folder, int ShowCmd) {
  return Starter.Start(FileName, Params, Folder, ShowCmd);
}

std::optional<std::string> QuotedArgument(const std::string& text) {
  if (text.find('"') != std::string::npos) return std::nullopt;
  return '"' + text + '"';
}

}  // namespace rk5
