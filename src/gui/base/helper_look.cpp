#include "gui/base/helper_look.h"

namespace rk5 {

QFont HelperFont() {
  QFont font(QStringLiteral("Verdana"));
  font.setPointSize(8);
  return font;
}

}  // namespace rk5
