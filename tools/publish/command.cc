#include "command.h"

#include <charconv>
#include <cstdio>

namespace gantrell::publish {

namespace {

const KnownOption* FindOption(const std::vector<KnownOption>& known_options,
                              std::string_view name) {
  for (const KnownOption& known : known_options) {
    if (known.name == name)
      return &known;
  }
  return nullptr;
}

void PrintLine(std::string_view command, std::string_view prefix, std::string_view message) {
  std::fprintf(stderr, "%.*s %.*s: %.*s%.*s\n", static_cast<int>(kProgramName.size()),
               kProgramName.data(), static_cast<int>(command.size()), command.data(),
               static_cast<int>(prefix.size()), prefix.data(), static_cast<int>(message.size()),
               message.data());
}

}  // namespace

bool ParsedArgs::Parse(const std::vector<std::string>& args,
                       const std::vector<KnownOption>& known_options, std::string* error) {
  m_options.clear();
  m_positional.clear();
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      m_positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    std::string name;
    std::string value;
    bool has_inline_value = false;
    if (arg == "-h") {
      name = "help";
    } else if (arg.rfind("--", 0) == 0) {
      const std::size_t equals = arg.find('=');
      name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
        has_inline_value = true;
      }
    } else {
      *error = "unknown option '" + arg + "'";
      return false;
    }
    const KnownOption* known = FindOption(known_options, name);
    if (known == nullptr && name != "help") {
      *error = "unknown option '--" + name + "'";
      return false;
    }
    const bool takes_value = known != nullptr && known->takes_value;
    if (takes_value && !has_inline_value) {
      if (i + 1 >= args.size()) {
        *error = "option '--" + name + "' needs a value";
        return false;
      }
      value = args[++i];
    } else if (!takes_value && has_inline_value) {
      *error = "option '--" + name + "' takes no value";
      return false;
    }
    if (Has(name)) {
      *error = "option '--" + name + "' given twice";
      return false;
    }
    m_options.emplace_back(std::move(name), std::move(value));
  }
  return true;
}

bool ParsedArgs::Has(std::string_view name) const {
  for (const auto& option : m_options) {
    if (option.first == name)
      return true;
  }
  return false;
}

std::string ParsedArgs::Value(std::string_view name, std::string_view fallback) const {
  for (const auto& option : m_options) {
    if (option.first == name)
      return option.second;
  }
  return std::string(fallback);
}

int UsageError(std::string_view command, std::string_view message) {
  PrintLine(command, "", message);
  std::fprintf(stderr, "Try '%.*s %.*s --help'.\n", static_cast<int>(kProgramName.size()),
               kProgramName.data(), static_cast<int>(command.size()), command.data());
  return kExitUsage;
}

int Failure(std::string_view command, std::string_view message) {
  PrintLine(command, "", message);
  return kExitFailure;
}

void Warn(std::string_view command, std::string_view message) {
  PrintLine(command, "warning: ", message);
}

bool ParseNumber(std::string_view text, int low, int high, int* value) {
  int parsed = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, parsed);
  if (text.empty() || result.ec != std::errc() || result.ptr != end)
    return false;
  if (parsed < low || parsed > high)
    return false;
  *value = parsed;
  return true;
}

}  // namespace gantrell::publish
