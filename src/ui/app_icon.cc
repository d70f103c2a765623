#include "ui/app_icon.h"

// The resources are linked from a static library: nothing would pull their
// registration in without this call.
static void LoadUiResources() {
  Q_INIT_RESOURCE(gantrell);
}

namespace gantrell::ui {

QIcon AppIcon() {
  static const QIcon icon = [] {
    LoadUiResources();
    return QIcon(QStringLiteral(":/gantrell/app_icon.svg"));
  }();
  return icon;
}

}  // namespace gantrell::ui
