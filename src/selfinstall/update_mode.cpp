#include "selfinstall/update_mode.h"

#include "catalogue/program_files.h"
#include "catalogue/update_hand_over.h"
#include "selfinstall/copy_file_to.h"

namespace rk5 {
void UpdateMode(ModeContext& context) {
  // After the wait the old copy has ended, or is stuck and left behind: a running program
  // does not stop its file from being replaced here.
  WaitForHandOver(context.busy_marks);
  const std::string target = InFolder(context.program_folder, kExecutableName);
  if (context.executable != target) {
    CopyFileTo(context.file_copy, context.executable, target, /*make_executable=*/true);
  }
  context.program_start.Start(std::string(kExecutableName), "", context.program_folder, 0);
}

}  // namespace rk5
