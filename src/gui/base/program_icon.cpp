#include "gui/base/program_icon.h"

#include <QFile>

// The pictures live in a resource of this static library; register them once.
static void InitProgramIconResources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(program_icon);
    return true;
  }();
  (void)registered;
}

namespace rk5 {
namespace {

QString PicturePath(int size) {
  return QStringLiteral(":/rk5helper/program_icon_%1.png").arg(size);
}

}  // namespace

void RegisterProgramIcon() { InitProgramIconResources(); }

QIcon ProgramIcon() {
  RegisterProgramIcon();
  QIcon icon;
  for (int size : kProgramIconSizes) icon.addFile(PicturePath(size), QSize(size, size));
  return icon;
}

std::string ProgramIconPng() {
  RegisterProgramIcon();
  QFile file(PicturePath(64));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

}  // namespace rk5
