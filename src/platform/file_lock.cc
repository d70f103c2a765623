#include "platform/file_lock.h"

#include "platform/catalogue.h"

namespace gantrell {

std::string FileLock::OpenFailure(const std::string& lock_path, const std::string& reason) {
  return Subst(Tr("Cannot open lock file %1: %2"), {lock_path, reason});
}

std::string FileLock::LockFailure(const std::string& lock_path, const std::string& reason) {
  return Subst(Tr("Cannot lock %1: %2"), {lock_path, reason});
}

}  // namespace gantrell
