#include <gtest/gtest.h>

#include <string>

#include "fetch_test_util.h"
#include "net/binary_transfer.h"
#include "net/text_transfer.h"

namespace gantrell {
namespace {

using testing::ScriptedFile;
using testing::StepDriver;

const std::string kSite = "http://files.test/";

TEST(BinaryTransferTest, AFailedTransferStaysFailed) {
  ProviderList providers;
  StepDriver driver(providers, {{kSite + "f", {std::string(700, 'x'), false, 100}}});
  CBinaryTransfer transfer(driver, 0);
  transfer.SetUrl(kSite + "f");
  EXPECT_EQ(driver.Run(transfer), kReadFailed);
  EXPECT_EQ(transfer.Step(), kReadFailed);
}

TEST(BinaryTransferTest, ReusedForASecondFileStartsOver) {
  ProviderList providers;
  StepDriver driver(providers, {{kSite + "a", {std::string(600, 'a')}}, {kSite + "b", {"bb"}}});
  CBinaryTransfer transfer(driver, 0);
  transfer.SetUrl(kSite + "a");
  ASSERT_EQ(driver.Run(transfer), 0);
  transfer.SetUrl(kSite + "b");
  ASSERT_EQ(driver.Run(transfer), 0);
  int count = 0;
  const std::uint8_t* data = transfer.GetData(&count);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), count), "bb");
  EXPECT_EQ(driver.OpenedUrls(), (std::vector<std::string>{kSite + "a", kSite + "b"}));
}

TEST(BinaryTransferTest, AnUnacceptableUrlFailsToOpen) {
  ProviderList providers;
  StepDriver driver(providers, std::map<std::string, ScriptedFile>{});
  CBinaryTransfer transfer(driver, 0);
  transfer.SetUrl("not a url");
  EXPECT_EQ(driver.Run(transfer), kOpenFailed);
}

TEST(TextTransferTest, AChunkIsCutAtItsFirstNul) {
  // Chunks are 512 bytes: the NUL cuts the rest of the first chunk only.
  const std::string body = std::string(10, 'a') + '\0' + std::string(501, 'b') + "tail";
  ProviderList providers;
  StepDriver driver(providers, {{kSite + "t", {body}}});
  CTextTransfer transfer(driver, 0);
  transfer.SetUrl(kSite + "t");
  EXPECT_EQ(driver.Run(transfer), 0);
  EXPECT_EQ(transfer.GetText(), std::string(10, 'a') + "tail");
}

TEST(TextTransferTest, AnErrorPageReadsLikeAnyText) {
  ProviderList providers;
  StepDriver driver(providers, std::map<std::string, ScriptedFile>{});
  CTextTransfer transfer(driver, 0);
  transfer.SetUrl(kSite + "missing.txt");
  EXPECT_EQ(driver.Run(transfer), 0);
  EXPECT_NE(transfer.GetText().find("404"), std::string::npos) << transfer.GetText();
}

}  // namespace
}  // namespace gantrell
