// The notification of "gantrell -s --notify": how a quiet check that found
// items pending tells the user, in the desktop's own way.
#pragma once

#include "app/frontend.h"

namespace gantrell {
class CClientApp;
}

namespace gantrell::ui {

// Tells the user what is pending and waits for their answer: kUserAsked
// when they chose to see the updates, kLater when they let it go, and
// kShowWindow when the desktop has no way to tell them (the window then
// opens as after a plain "-s"). Interface thread; runs the event loop.
PendingAnswer OfferPendingNotification(CClientApp& app);

}  // namespace gantrell::ui
