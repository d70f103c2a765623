// Runs gantrell-publish as a subprocess in a temporary folder, and checks
// what it writes with the client's own signature operations.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/provider.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/test_system.h"
#include "support/test_paths.h"

namespace gantrell {

using Bytes = std::vector<std::uint8_t>;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class PublishToolTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (dir_ / name).generic_string(); }

  // Runs gantrell-publish in the test's folder.
  RunResult Run(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {testing::BuiltProgram("tools/gantrell-publish")};
    argv.insert(argv.end(), args.begin(), args.end());
    RunResult result;
    result.status = testing::RunProgram(argv, dir_.generic_string(), Path(".out"), Path(".err"));
    result.out = TextLines(testing::ReadWholeFile(Path(".out")));
    result.err = TextLines(testing::ReadWholeFile(Path(".err")));
    return result;
  }

  // Text output with "\n" line ends: Windows' C runtime writes "\r\n".
  static std::string TextLines(std::string text) {
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '\r' || i + 1 >= text.size() || text[i + 1] != '\n')
        lines += text[i];
    }
    return lines;
  }

  Bytes Read(const std::string& name) const {
    const std::string content = testing::ReadWholeFile(Path(name));
    return Bytes(content.begin(), content.end());
  }

  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
  }

  // The file is readable and writable by its owner only. Windows has no
  // permission bits: there the check is left out.
  void ExpectOwnerOnly(const std::string& name) const {
    if (testing::WithoutPermissionBits() != nullptr)
      return;
    std::error_code error;
    const auto mode = std::filesystem::status(Path(name), error).permissions();
    ASSERT_FALSE(error) << name;
    EXPECT_EQ(mode & std::filesystem::perms::mask, std::filesystem::perms(0600)) << name;
  }

  // A 1024-bit key pair: keeps the tests quick.
  void MakeKey(const std::string& key, const std::string& record) const {
    const RunResult r = Run({"keygen", "--bits", "1024", key, record});
    ASSERT_EQ(r.status, 0) << r.err;
  }

  testing::TempDir temp_;
  std::filesystem::path dir_ = temp_.path();
};

inline bool Verifies(const Bytes& key, const Bytes& message, const Bytes& signature) {
  CProvider provider;
  provider.SetPublicKey(key.data(), static_cast<int>(key.size()));
  provider.BeginDigest();
  provider.AddToDigest(message.data(), static_cast<int>(message.size()));
  return provider.VerifySignature(signature.data(), static_cast<int>(signature.size()));
}

inline Bytes ToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

}  // namespace gantrell
