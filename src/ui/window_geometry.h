// Windows that keep their size and position between runs. The geometry
// is kept with the client's other per-user settings, in the registry
// store (section "windows", one entry per window), so that everything the
// client keeps for a user is in one place and moves with
// GANTRELL_REGISTRY_DIR.
#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace gantrell {
class Profile;
}

namespace gantrell::ui {

inline constexpr const char* kWindowSection = "windows";

// Gives `window` the size and position it had when it last closed (if the
// stored value is usable: otherwise it keeps its own), and stores them
// each time it hides. Call from the window's constructor, before it
// shows; the keeper is a child of the window. `profile` must outlive it.
void RememberGeometry(QWidget& window, Profile& profile, const QString& entry);

}  // namespace gantrell::ui
