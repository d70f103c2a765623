// Standard headers, this project's own "net/..." and "platform/..." ones:
// scripts/check-boundary must accept them.
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "net/part_file.h"
#include "platform/process.h"
