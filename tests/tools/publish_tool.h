// Runs gantrell-publish as a subprocess in a temporary folder, and checks
// what it writes with the client's own signature operations.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/provider.h"
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
  void SetUp() override {
    char pattern[] = "/tmp/gantrell-publish-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs gantrell-publish in the test's folder.
  RunResult Run(const std::vector<std::string>& args) const {
    std::string command = "cd " + Quote(dir_.string()) + " && " +
                          Quote(testing::BuiltProgram("tools/gantrell-publish"));
    for (const std::string& arg : args)
      command += " " + Quote(arg);
    command += " >" + Quote(Path(".out")) + " 2>" + Quote(Path(".err"));
    RunResult result;
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = testing::ReadWholeFile(Path(".out"));
    result.err = testing::ReadWholeFile(Path(".err"));
    return result;
  }

  Bytes Read(const std::string& name) const {
    const std::string content = testing::ReadWholeFile(Path(name));
    return Bytes(content.begin(), content.end());
  }

  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
  }

  // A 1024-bit key pair: keeps the tests quick.
  void MakeKey(const std::string& key, const std::string& record) const {
    const RunResult r = Run({"keygen", "--bits", "1024", key, record});
    ASSERT_EQ(r.status, 0) << r.err;
  }

  std::filesystem::path dir_;
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
