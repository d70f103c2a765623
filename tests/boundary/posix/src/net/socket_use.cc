// A file above the platform layer that reaches for POSIX itself:
// scripts/check-boundary must refuse it.
#include "net/part_file.h"

#include <sys/socket.h>
