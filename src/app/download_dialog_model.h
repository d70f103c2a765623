// What the "Downloading" dialog shows, apart from drawing it: the bar
// positions and the icon of each report.
#pragma once

#include "app/frontend.h"

namespace gantrell {

inline constexpr const char* kDownloadDialogTitle = "Downloading";
// How often the dialog shows the name of the item in progress.
inline constexpr int kDownloadNameRefreshMs = 100;

// The position of a progress bar that runs from 0 to 100. A run whose
// total leaves out items of providers not parsed in this session can pass
// 100 per cent; the bar then stays at its end.
int BarPosition(int percent);

// The icon of the report box for a download report code: the error icon
// for the codes that say something failed for good, information for those
// after which the run simply moves on.
MessageIcon DownloadReportIcon(int code);

}  // namespace gantrell
