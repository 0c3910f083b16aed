#include "app/gui/scale_factor.h"

#include <QByteArray>

namespace rk5 {

std::optional<std::string> RefusedScaleFactor(const char* value) {
  if (value == nullptr) return std::nullopt;
  bool number = false;
  const double factor = QByteArray(value).toDouble(&number);
  if (!number || factor >= 1.0) return std::nullopt;
  return "rk5helper: QT_SCALE_FACTOR " + std::string(value) +
         " is below 1, where the windows' texts no longer fit; drawing at 1";
}

}  // namespace rk5
