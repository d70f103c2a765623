// The application's icon, set on every window.
#pragma once

#include <QIcon>

namespace gantrell::ui {

QIcon AppIcon();

}  // namespace gantrell::ui
