// gantrell-publish: makes the keys and signed files an update provider
// publishes. Each command is in its own file; this one only dispatches.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "gantrell_version.h"

namespace gantrell::publish {
namespace {

constexpr Command kCommands[] = {
    {"keygen", "make a new key pair (private key file and public.dat)", RunKeygen},
    {"sign", "sign a file or a text into a signature record", RunSign},
    {"license", "sign a provider's address with an authority's key", RunLicense},
    {"rotate", "publish a new provider key with the link that proves it", RunRotate},
    {"site", "build a provider's whole site from a manifest", RunSite},
};

void PrintHelp(std::FILE* out) {
  std::fprintf(out, "Usage: %s COMMAND [OPTIONS] [ARGUMENTS]\n\nCommands:\n", kProgramName.data());
  for (const Command& command : kCommands) {
    std::fprintf(out, "  %-9s %.*s\n", command.name.data(),
                 static_cast<int>(command.summary.size()), command.summary.data());
  }
  std::fprintf(out, "\n'%s COMMAND --help' describes a command.\n\n%.*s", kProgramName.data(),
               static_cast<int>(kExitStatusHelp.size()), kExitStatusHelp.data());
}

}  // namespace
}  // namespace gantrell::publish

int main(int argc, char** argv) {
  using namespace gantrell::publish;
  if (argc < 2) {
    PrintHelp(stderr);
    return kExitUsage;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(stdout);
    return kExitOk;
  }
  if (name == "--version") {
    std::printf("%s %s\n", kProgramName.data(), gantrell::kVersion);
    return kExitOk;
  }
  for (const Command& command : kCommands) {
    if (command.name == name) {
      return command.run(std::vector<std::string>(argv + 2, argv + argc));
    }
  }
  std::fprintf(stderr, "%s: unknown command '%s'\nTry '%s --help'.\n", kProgramName.data(),
               name.c_str(), kProgramName.data());
  return kExitUsage;
}
