// gantrell-publish: makes the keys and signed files an update provider
// publishes. Each command is in its own file; this one only dispatches.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/suggest.h"
#include "command.h"
#include "gantrell_version.h"
#include "platform/console.h"
#include "platform/process.h"

namespace gantrell::publish {
namespace {

constexpr Command kCommands[] = {
    {"keygen", "make a new RSA or Ed25519 key pair (private key file and public.dat)",
     RunKeygen},
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
  std::fprintf(
      out, "\n'%s COMMAND --help' describes a command; '%s --version' prints the version.\n\n%.*s",
      kProgramName.data(), kProgramName.data(), static_cast<int>(kExitStatusHelp.size()),
      kExitStatusHelp.data());
}

}  // namespace
}  // namespace gantrell::publish

int main(int argc, char** argv) {
  using namespace gantrell::publish;
  gantrell::UseUtf8Console();
  const std::vector<std::string> arguments = gantrell::ProgramArguments(argc, argv);
  if (arguments.empty()) {
    std::fprintf(stderr, "Usage: %s COMMAND [OPTIONS] [ARGUMENTS]\nTry '%s --help'.\n",
                 kProgramName.data(), kProgramName.data());
    return kExitUsage;
  }
  const std::string& name = arguments.front();
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
      return command.run(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
    }
  }
  std::vector<std::string> names;
  for (const Command& command : kCommands)
    names.emplace_back(command.name);
  const std::string nearest = gantrell::NearestName(name, names);
  std::fprintf(stderr, "%s: unknown command '%s'%s%s%s\nTry '%s --help'.\n", kProgramName.data(),
               name.c_str(), nearest.empty() ? "" : " (did you mean '", nearest.c_str(),
               nearest.empty() ? "" : "'?)", kProgramName.data());
  return kExitUsage;
}
