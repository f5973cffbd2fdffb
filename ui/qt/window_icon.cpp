#include "ui/qt/window_icon.h"

#include <QDir>

namespace quib {

QIcon ProgramIcon() {
  // window_icon.qrc (ui/qt/CMakeLists.txt) puts each size at
  // :/quib-server/SIZExSIZE.png.
  QIcon icon;
  const QDir embedded(QStringLiteral(":/quib-server"));
  for (const QString& name : embedded.entryList({QStringLiteral("*.png")}, QDir::Files)) {
    icon.addFile(embedded.filePath(name));
  }
  if (icon.isNull()) icon = QIcon::fromTheme(QStringLiteral("quib-server"));
  return icon;
}

}  // namespace quib
