// A provider's site on a TestHttpServer, signed with a fresh key:
// public.dat, control.txt with its control.sig, and the items' files
// (number + ".dat") with their signatures (number + ".sig"). Items are
// dated today and their key was made today, so a registration offers them
// at once.
//
//   TestSite site(server, "/p/", "Example Tools");
//   site.AddItem("tool.bin", 1, "bytes", "The tool");
//   site.Publish();
//   app.RegisterProvider(site.address());
#pragma once

#include <string>
#include <vector>

#include "net/signature.h"
#include "support/test_http_server.h"

namespace gantrell::testing {

class TestSite {
 public:
  TestSite(TestHttpServer& server, std::string path, std::string name);

  // Serves the item's file and its signature; listed at the next Publish.
  void AddItem(const std::string& file_name, int number, const std::string& body,
               const std::string& description = "");
  // Serves different bytes of the same length for item `number` than the
  // ones signed, so that its download is corrupt.
  void Corrupt(int number);
  // Serves control.txt (every item added so far, in one group "G") and its
  // signature.
  void Publish();

  // The provider's address: the server's URL of the path.
  std::string address() const { return server_.Url(path_); }
  const std::string& name() const { return name_; }

 private:
  struct Item {
    std::string file_name;
    int number;
    std::string body;
    std::string description;
  };

  TestHttpServer& server_;
  std::string path_;
  std::string name_;
  RsaPrivateKeyPtr key_;
  std::vector<Item> items_;
};

}  // namespace gantrell::testing
