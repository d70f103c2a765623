#include "ui/app_icon.h"

namespace gantrell::ui {

QIcon AppIcon() {
  static const QIcon icon(QStringLiteral(":/gantrell/app_icon.svg"));
  return icon;
}

}  // namespace gantrell::ui
