#include <gtest/gtest.h>

#include <filesystem>

#include "app/client_app.h"
#include "platform/os_version_registry.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"

namespace gantrell {
namespace {

using testing::ScopedEnv;
using testing::ScriptedFrontend;
using testing::TempDir;
using testing::TempRegistry;

class RevocationTest : public ::testing::Test {
 protected:
  RevocationTest() : key_server_("GANTRELL_KEY_SERVER", nullptr), os_(reg_), app_(reg_, os_) {
    app_.SetFrontend(&frontend_);
    app_.SetUpBuiltInProviders();
  }

  CProvider* AddProvider(const std::string& address, const std::string& name) {
    app_.m_providers.push_back(std::make_unique<CProvider>());
    app_.m_providers.back()->m_strAddress = address;
    app_.m_providers.back()->m_strKeyName = name;
    return app_.m_providers.back().get();
  }

  void Revoke(const std::string& address) {
    CProvider& master = *app_.GetProvider(0);
    CUpdateGroup* group = master.GetGroupCount() > 0 ? master.GetGroup(0) : master.AddGroup();
    group->AddItem()->m_strName = address;
  }

  std::vector<std::string> Addresses() const {
    std::vector<std::string> addresses;
    for (const auto& p : app_.m_providers) addresses.push_back(p->m_strAddress);
    return addresses;
  }

  ScopedEnv key_server_;
  TempRegistry reg_;
  RegistryOsVersion os_;
  CClientApp app_;
  ScriptedFrontend frontend_;
};

TEST_F(RevocationTest, RevokedProvidersGoWithTheirFiles) {
  TempDir dir;
  CProvider* bad = AddProvider("http://bad.example/", "Bad Tools");
  AddProvider("http://good.example/", "Good");
  AddProvider("http://BAD.example/", "");
  CUpdateItem* item = bad->AddGroup()->AddItem();
  item->m_strSavePath = dir.WriteFile("bad.bin", "x");
  item->m_nFileStamp = 3;

  Revoke("http://bad.example/");
  Revoke("http://bad.example/");  // the second finds nothing left
  Revoke("http://BAD.example/");
  app_.ApplyRevocations();
  EXPECT_EQ(frontend_.texts(), (std::vector<std::string>{"Provider Bad Toolsremoved by Gantrell.",
                                                         "Provider removed by Gantrell."}));
  EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kInformation);
  EXPECT_FALSE(std::filesystem::exists(dir.File("bad.bin")));
  ASSERT_EQ(app_.GetProviderCount(), 6);
  EXPECT_EQ(app_.GetProvider(5)->m_strAddress, "http://good.example/");
}

TEST_F(RevocationTest, BuiltInEntriesCanBeRevokedButNotTheMaster) {
  const std::string own = app_.GetProvider(4)->m_strAddress;
  const std::string master = app_.GetProvider(0)->m_strAddress;
  Revoke(own);
  Revoke(master);
  app_.ApplyRevocations();
  EXPECT_EQ(app_.GetProviderCount(), 4);
  EXPECT_EQ(app_.GetProvider(0)->m_strAddress, master);
}

TEST_F(RevocationTest, KnownAddressIsNotRegisteredAgain) {
  AddProvider("http://known.example/", "Known");
  EXPECT_EQ(app_.RegisterProvider("http://known.example/"), 1);
  EXPECT_EQ(frontend_.wait_dialogs, 0);
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_EQ(app_.GetProviderCount(), 6);
}

}  // namespace
}  // namespace gantrell
