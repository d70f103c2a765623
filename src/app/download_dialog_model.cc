#include "app/download_dialog_model.h"

#include "net/download_job.h"

namespace gantrell {

int BarPosition(int percent) {
  if (percent < 0)
    return 0;
  return percent > 100 ? 100 : percent;
}

MessageIcon DownloadReportIcon(int code) {
  return DownloadReportIsError(code) ? MessageIcon::kError : MessageIcon::kInformation;
}

}  // namespace gantrell
