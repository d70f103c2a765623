#include "net/download_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "net/sha256_digest.h"
#include "net/signature.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/test_paths.h"
#include "support/test_system.h"

namespace gantrell {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;

class RecordingObserver : public DownloadObserver {
 public:
  void OnProgress(int item_percent, int run_percent) override {
    std::lock_guard<std::mutex> lock(mutex);
    progress.emplace_back(item_percent, run_percent);
  }
  void OnReport(int code) override {
    std::lock_guard<std::mutex> lock(mutex);
    reports.push_back(code);
  }
  void OnFinished() override { ++finished; }
  bool OnAskReplace(const std::string& destination) override {
    std::lock_guard<std::mutex> lock(mutex);
    asked.push_back(destination);
    return replace;
  }

  std::mutex mutex;
  bool replace = false;
  std::vector<std::string> asked;
  std::vector<std::pair<int, int>> progress;
  std::vector<int> reports;
  std::atomic<int> finished{0};
};

RsaPrivateKeyPtr Key(int bits) {
  std::string error;
  RsaPrivateKeyPtr key = GenerateRsaKey(bits, &error);
  EXPECT_NE(key, nullptr) << error;
  return key;
}

// Signs `bytes` into a record with `digit`, by default the one items signed
// by a key of this kind carry.
std::string Signature(const RsaPrivateKey& key, const std::string& bytes, char digit = 0) {
  if (digit == 0)
    digit = ItemSignatureDigit(PrivateKeyKind(key));
  std::vector<std::uint8_t> record = MakeSignatureRecord(
      key, digit, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return std::string(record.begin(), record.end());
}

// One provider (index 1, after a placeholder master entry) on a local
// server, with items saved below a temporary folder.
class DownloadTest : public ::testing::Test {
 protected:
  DownloadTest() : key_(Key(1024)) {
    providers_.push_back(std::make_unique<CProvider>());
    providers_.push_back(std::make_unique<CProvider>());
    provider_ = providers_.back().get();
    provider_->m_strAddress = server_.Url("/site/");
    provider_->m_bListParsed = 1;
    const std::vector<std::uint8_t> record = MakeKeyRecord(*key_);
    provider_->SetKeyData(record.data(), static_cast<int>(record.size()));
    provider_->SetPublicKey(record.data(), static_cast<int>(record.size()));
    group_ = provider_->AddGroup();
  }

  // An item numbered `number` whose server files are `body` and its
  // signature; returns the item.
  CUpdateItem* Publish(int number, const std::string& body, bool select = true) {
    server_.Serve("/site/" + std::to_string(number) + ".dat", body);
    server_.Serve("/site/" + std::to_string(number) + ".sig", Signature(*key_, body));
    CUpdateItem* item = group_->AddItem();
    item->m_strName = "item" + std::to_string(number);
    item->m_nNumber = number;
    item->m_nLength = static_cast<std::int32_t>(body.size());
    item->m_nStamp = 40 + number;
    item->m_bSelected = select;
    return item;
  }

  std::string Destination(const CUpdateItem& item) const {
    return dir_.File(std::to_string(item.m_nNumber) + ".out");
  }

  DownloadEnvironment Environment(HttpOptions options = {}) {
    DownloadEnvironment environment;
    environment.default_save_path = [this](const CUpdateItem& item) { return Destination(item); };
    environment.open_session = [options](std::string* error) {
      return OpenHttpSession(options, error);
    };
    environment.today = [] { return std::string("7 12 2026"); };
    return environment;
  }

  void Run(HttpOptions options = {}) {
    CDownloadJob job(providers_, Environment(options));
    job.Run(&observer_);
    written_ = job.Written();
  }

  std::vector<std::string> FilesLeft() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TestHttpServer server_;
  TempDir dir_;
  RsaPrivateKeyPtr key_;
  ProviderList providers_;
  CProvider* provider_;
  CUpdateGroup* group_;
  RecordingObserver observer_;
  std::vector<std::string> written_;
};

TEST_F(DownloadTest, GoodItemIsVerifiedFiledAndMarked) {
  const std::string body = TestHttpServer::Pattern(5000);
  CUpdateItem* item = Publish(3, body);
  Run();
  EXPECT_TRUE(observer_.reports.empty());
  EXPECT_EQ(observer_.finished.load(), 1);
  EXPECT_EQ(ReadWholeFile(Destination(*item)), body);
  EXPECT_EQ(written_, std::vector<std::string>{Destination(*item)});
  EXPECT_EQ(item->m_nTakenStamp, 43);
  EXPECT_EQ(item->m_nFileStamp, 43);
  EXPECT_TRUE(item->m_bJustDownloaded);
  EXPECT_FALSE(item->m_bSelected);
  EXPECT_EQ(item->m_strDate, "7 12 2026");
  EXPECT_EQ(FilesLeft(), std::vector<std::string>{"3.out"});
  // At least 20 reads of at most 256 bytes: progress after the second
  // read and then every twelfth, so two or more notices, never falling.
  ASSERT_GE(observer_.progress.size(), 2u);
  EXPECT_LE(observer_.progress[0].first, 10);
  for (std::size_t i = 1; i < observer_.progress.size(); ++i) {
    EXPECT_GE(observer_.progress[i].first, observer_.progress[i - 1].first);
    EXPECT_EQ(observer_.progress[i].first, observer_.progress[i].second);  // the only item
  }
}

// A verified download replaces the item's own earlier file unasked, but a
// file the record does not know (the user's, at a path the item was given)
// only when the user says Yes; on No it stays and the item is not taken.
TEST_F(DownloadTest, AFileThatIsNotTheItemsOwnIsReplacedOnlyOnYes) {
  for (const int c : {0, 1, 2}) {
    const bool own = c == 0;
    observer_.replace = c == 2;
    observer_.asked.clear();
    if (group_->GetItemCount() > 0)
      group_->RemoveItem(0);
    CUpdateItem* item = Publish(1, "the published bytes");
    std::filesystem::remove_all(dir_.path());
    dir_.WriteFile("1.out", "the user's notes");
    if (own)
      item->m_nFileStamp = 7;
    Run();
    EXPECT_TRUE(observer_.reports.empty()) << c;
    EXPECT_EQ(observer_.asked, own ? std::vector<std::string>{}
                                   : std::vector<std::string>{Destination(*item)})
        << c;
    const bool replaced = own || observer_.replace;
    EXPECT_EQ(ReadWholeFile(Destination(*item)),
              replaced ? "the published bytes" : "the user's notes")
        << c;
    EXPECT_EQ(item->m_nTakenStamp, replaced ? 41 : -1) << c;
    EXPECT_EQ(item->m_bSelected, !replaced) << c;
    EXPECT_EQ(FilesLeft(), std::vector<std::string>{"1.out"}) << c;  // no part file stays
  }
}

TEST_F(DownloadTest, CorruptItemLeavesTheEarlierFileAlone) {
  CUpdateItem* item = Publish(1, "the published bytes");
  std::filesystem::create_directories(dir_.path());
  dir_.WriteFile("1.out", "an earlier good download");
  item->m_nFileStamp = 7;
  server_.Serve("/site/1.dat", "the published bytez");
  Run();
  EXPECT_EQ(observer_.reports, std::vector<int>{kReportCorrupt});
  EXPECT_EQ(ReadWholeFile(Destination(*item)), "an earlier good download");
  EXPECT_EQ(item->m_nFileStamp, 7);
  EXPECT_EQ(item->m_nTakenStamp, -1);
  EXPECT_TRUE(item->m_bSelected);
  EXPECT_EQ(FilesLeft(), std::vector<std::string>{"1.out"});
}

TEST_F(DownloadTest, SignatureProblemsAreReportedAndTheRunGoesOn) {
  struct Case {
    const char* what;
    std::string signature;  // empty: an error page
    int report;
  };
  const Case cases[] = {
      {"error page", "", kReportBadSignatureFormat},
      // The Ed25519 form, which an RSA key cannot check.
      {"SIG2 record", "SIG2", kReportBadSignatureFormat},
      {"SIG3 record", "SIG3", kReportUnknownFormat},
      {"plain text", "hello", kReportBadSignatureFormat},
  };
  int number = 1;
  std::vector<int> expected;
  for (const Case& c : cases) {
    Publish(number, "bytes");
    if (c.signature.empty()) {
      server_.Serve("/site/" + std::to_string(number) + ".sig", "<html>Not here</html>", 404);
    } else if (c.signature == "SIG2" || c.signature == "SIG3") {
      server_.Serve("/site/" + std::to_string(number) + ".sig",
                    Signature(*key_, "bytes", c.signature[3]));
    } else {
      server_.Serve("/site/" + std::to_string(number) + ".sig", c.signature);
    }
    expected.push_back(c.report);
    ++number;
  }
  CUpdateItem* last = Publish(number, "good");
  Run();
  EXPECT_EQ(observer_.reports, expected);
  EXPECT_EQ(last->m_nFileStamp, last->m_nStamp);
  EXPECT_EQ(FilesLeft(), std::vector<std::string>{std::to_string(number) + ".out"});
}

TEST_F(DownloadTest, DroppedConnectionReportsTheReadThenTheCorruptFile) {
  const std::string body = TestHttpServer::Pattern(10000);
  CUpdateItem* item = Publish(2, body);
  server_.ServeCut("/site/2.dat", body, 3000);
  Run();
  EXPECT_EQ(observer_.reports, (std::vector<int>{kReportReadAborted, kReportCorrupt}));
  EXPECT_FALSE(std::filesystem::exists(Destination(*item)));
  // What came is kept for the next download to continue.
  EXPECT_EQ(FilesLeft(), (std::vector<std::string>{"2.out.partial-2-42", "2.out.partial-2-42.info"}));
  EXPECT_EQ(ReadWholeFile(dir_.File("2.out.partial-2-42")), body.substr(0, 3000));
}

TEST_F(DownloadTest, ReadingStopsAtTheItemsLength) {
  // 600 published bytes, 500 announced: reading stops after the read that
  // reaches 500, so the first 512 bytes are what is checked and kept.
  const std::string body = TestHttpServer::Pattern(600);
  CUpdateItem* item = Publish(4, body);
  item->m_nLength = 500;
  server_.Serve("/site/4.sig", Signature(*key_, body.substr(0, 512)));
  Run();
  EXPECT_TRUE(observer_.reports.empty());
  EXPECT_EQ(ReadWholeFile(Destination(*item)), body.substr(0, 512));
}

// What reads of 256 bytes, each filled unless the body ends, make of a
// body: the bytes kept and the progress notices (after the second read,
// then every twelfth), for an item that is the whole run.
struct ByteReads {
  std::string kept;
  std::vector<std::pair<int, int>> progress;
};

ByteReads ReadInBytes256(const std::string& body, long long length) {
  auto percent = [length](long long got) {
    if (length <= 0)
      return 100;
    const double value = static_cast<double>(got) / static_cast<double>(length) * 100.0;
    return value >= 100.0 ? 100 : static_cast<int>(value);
  };
  ByteReads reads;
  std::size_t got = 0;
  int counter = 0;
  for (;;) {
    const std::size_t count = std::min<std::size_t>(256, body.size() - got);
    got += count;
    if (counter-- < 0) {
      counter = 10;
      reads.progress.emplace_back(percent(static_cast<long long>(got)),
                                  percent(static_cast<long long>(got)));
    }
    if (count == 0 || static_cast<long long>(got) >= length)
      break;
  }
  reads.kept = body.substr(0, got);
  return reads;
}

// However the server's bytes arrive (all at once, or in pieces that do not
// line up with 256), the item gets exactly the bytes and the progress
// notices of reads of 256 bytes: a server that sends more than the item's
// length gives the same file whatever the length is close to.
TEST_F(DownloadTest, TheBodyIsTakenAsReadsOf256BytesWouldTakeIt) {
  struct Case {
    std::size_t body;
    long long length;
    std::size_t chunk;  // 0: served at once; else in pieces 30 ms apart
  };
  const Case cases[] = {
      {0, 0, 0},
      {100, 0, 0},
      {600, 0, 0},
      {1, 1, 0},
      {600, 255, 0},
      {600, 256, 0},
      {600, 257, 0},
      {600, 300, 0},
      {600, 512, 0},
      {513, 512, 0},
      {1000, 511, 0},
      {300, 300, 0},
      {512, 1000, 0},
      {700, 1000, 0},
      {600, 250, 100},
      {600, 257, 100},
      {1400, 1100, 350},
      {1500, 3000, 300},
      {300000, 262144, 0},
      {300000, 262145, 0},
      {700000, 600001, 0},
      {524288, 524288, 0},
      {524288, 600000, 0},
      // Past the write-back ranges of the part file.
      {(20 << 20) + 1000, (20 << 20) + 700, 0},
  };
  int number = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "body " << c.body << ", length " << c.length << ", chunk " << c.chunk);
    const std::string body = TestHttpServer::Pattern(c.body);
    const ByteReads expected = ReadInBytes256(body, c.length);
    while (group_->GetItemCount() > 0)
      group_->RemoveItem(0);
    CUpdateItem* item = Publish(number, body);
    item->m_nLength = static_cast<std::int32_t>(c.length);
    const std::string path = "/site/" + std::to_string(number);
    server_.Serve(path + ".sig", Signature(*key_, expected.kept));
    if (c.chunk > 0)
      server_.ServeSlowly(path + ".dat", body, c.chunk, std::chrono::milliseconds(30));
    observer_.progress.clear();
    observer_.reports.clear();
    Run();
    EXPECT_TRUE(observer_.reports.empty()) << observer_.reports.size();
    EXPECT_EQ(item->m_nFileStamp, item->m_nStamp);
    EXPECT_TRUE(ReadWholeFile(Destination(*item)) == expected.kept)
        << "kept " << ReadWholeFile(Destination(*item)).size() << " of " << expected.kept.size();
    EXPECT_EQ(observer_.progress, expected.progress);
    ++number;
  }
}

// A connection that drops once the item's length is in ends the body like
// its end would; one that drops before is a failed read.
TEST_F(DownloadTest, ADropAfterTheLengthIsNoFailure) {
  const std::string body = TestHttpServer::Pattern(2000);
  CUpdateItem* whole = Publish(1, body);
  whole->m_nLength = 300;
  server_.ServeCut("/site/1.dat", body, 300);
  server_.Serve("/site/1.sig", Signature(*key_, body.substr(0, 300)));
  CUpdateItem* short_of_it = Publish(2, body);
  short_of_it->m_nLength = 301;
  server_.ServeCut("/site/2.dat", body, 300);
  server_.Serve("/site/2.sig", Signature(*key_, body.substr(0, 300)));
  Run();
  EXPECT_EQ(observer_.reports, std::vector<int>{kReportReadAborted});
  EXPECT_EQ(whole->m_nFileStamp, whole->m_nStamp);
  EXPECT_EQ(ReadWholeFile(Destination(*whole)), body.substr(0, 300));
  // The part read before the drop is checked like a whole file.
  EXPECT_EQ(short_of_it->m_nFileStamp, short_of_it->m_nStamp);
}

TEST_F(DownloadTest, EmptyItemIsReadOnceAndChecked) {
  CUpdateItem* item = Publish(5, "");
  Run();
  EXPECT_TRUE(observer_.reports.empty());
  EXPECT_TRUE(std::filesystem::exists(Destination(*item)));
  EXPECT_EQ(std::filesystem::file_size(Destination(*item)), 0u);
  EXPECT_EQ(item->m_nFileStamp, item->m_nStamp);
}

TEST_F(DownloadTest, LargeKeysSignItemsToo) {
  // A 2048-bit key makes a 260-byte signature record.
  key_ = Key(2048);
  const std::vector<std::uint8_t> record = MakeKeyRecord(*key_);
  provider_->SetPublicKey(record.data(), static_cast<int>(record.size()));
  CUpdateItem* item = Publish(6, "signed by a big key");
  ASSERT_EQ(Signature(*key_, "x").size(), 260u);
  Run();
  EXPECT_TRUE(observer_.reports.empty());
  EXPECT_EQ(item->m_nFileStamp, item->m_nStamp);
}

TEST_F(DownloadTest, UnwritableDestinationIsReported) {
  CUpdateItem* item = Publish(7, "bytes");
  dir_.WriteFile("not-a-folder", "x");
  item->m_strSavePath = dir_.File("not-a-folder/7.out");
  CUpdateItem* nowhere = Publish(8, "bytes");
  DownloadEnvironment environment = Environment();
  environment.default_save_path = [](const CUpdateItem&) { return std::string(); };
  CDownloadJob job(providers_, std::move(environment));
  job.Run(&observer_);
  EXPECT_EQ(observer_.reports, (std::vector<int>{kReportCannotWrite, kReportCannotWrite}));
  EXPECT_TRUE(item->m_bSelected);
  EXPECT_TRUE(nowhere->m_bSelected);
}

TEST_F(DownloadTest, MissingFilesAreReportedAsTheirKind) {
  CUpdateItem* no_sig = Publish(9, "x");
  server_.Serve("/site/9.sig", "", 200);
  (void)no_sig;
  HttpOptions options;
  options.connect_timeout = std::chrono::milliseconds(500);
  // A provider on a port nobody listens on: neither file can be opened.
  providers_.push_back(std::make_unique<CProvider>());
  providers_.back()->m_strAddress = "http://127.0.0.1:9/";
  CUpdateItem* unreachable = providers_.back()->AddGroup()->AddItem();
  unreachable->m_nNumber = 1;
  unreachable->m_bSelected = true;
  Run(options);
  EXPECT_EQ(observer_.reports, (std::vector<int>{kReportBadSignatureFormat, kReportNoLink}));
}

TEST_F(DownloadTest, NothingSelectedFinishesQuietly) {
  Publish(1, "x", false);
  Run();
  EXPECT_TRUE(observer_.reports.empty());
  EXPECT_EQ(observer_.finished.load(), 1);
  EXPECT_EQ(server_.RequestCount("/site/1.sig"), 0);
}

TEST_F(DownloadTest, NoSessionFinishesQuietly) {
  Publish(1, "x");
  DownloadEnvironment environment = Environment();
  int opens = 0;
  environment.open_session = [&](std::string*) {
    ++opens;
    return std::unique_ptr<HttpSession>();
  };
  CDownloadJob job(providers_, std::move(environment));
  job.Run(&observer_);
  EXPECT_EQ(opens, 2);
  EXPECT_TRUE(observer_.reports.empty());
  EXPECT_EQ(observer_.finished.load(), 1);
}

TEST_F(DownloadTest, CancelMidBodyKeepsThePartAndReportsNothing) {
  const std::string body = TestHttpServer::Pattern(200000);
  CUpdateItem* item = Publish(1, body);
  dir_.WriteFile("1.out", "kept");
  CUpdateItem* next = Publish(2, "never started");
  dir_.WriteFile("2.out", "also kept");
  server_.ServeSlowly("/site/1.dat", body, 1000, std::chrono::milliseconds(20));

  CDownloadJob job(providers_, Environment());
  job.Start(&observer_);
  for (int i = 0; i < 500 && job.CurrentName().empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(job.CurrentName(), "item1");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto cancelled_at = std::chrono::steady_clock::now();
  job.Cancel();
  job.Join();
  EXPECT_LT(std::chrono::steady_clock::now() - cancelled_at, std::chrono::seconds(2));
  EXPECT_TRUE(job.Aborted());
  EXPECT_TRUE(observer_.reports.empty());
  EXPECT_EQ(observer_.finished.load(), 1);
  EXPECT_EQ(ReadWholeFile(Destination(*item)), "kept");
  EXPECT_EQ(ReadWholeFile(Destination(*next)), "also kept");
  EXPECT_EQ(FilesLeft(), (std::vector<std::string>{"1.out", "1.out.partial-1-41",
                                                   "1.out.partial-1-41.info", "2.out"}));
  const std::string part = ReadWholeFile(dir_.File("1.out.partial-1-41"));
  EXPECT_GT(part.size(), 0u);
  EXPECT_LT(part.size(), body.size());
  EXPECT_EQ(part, body.substr(0, part.size()));
  EXPECT_EQ(server_.RequestCount("/site/2.sig"), 0);
}

// The reports of a failed transfer, each with its exact text. Each item
// fails on its own and the run goes on to the next.
TEST_F(DownloadTest, TransferFailuresBringTheirReports) {
  // 1: the signature arrives, the main file cannot be opened (the address
  // redirects to itself for ever).
  Publish(1, "main file");
  server_.Redirect("/site/1.dat", "/site/1.dat");
  // 2: the connection drops in the middle of the signature record.
  Publish(2, "second");
  server_.ServeCut("/site/2.sig", Signature(*key_, "second"), 20);
  // 3: the main file trickles (10 bytes every 100 ms, 30 s in all) below
  // the speed floor: the read fails, and the part read is then checked.
  const std::string slow_body = TestHttpServer::Pattern(3000);
  CUpdateItem* slow = Publish(3, slow_body);
  server_.ServeSlowly("/site/3.dat", slow_body, 10, std::chrono::milliseconds(100));
  CUpdateItem* good = Publish(4, "fine");

  HttpOptions options;
  options.low_speed_limit = 1024;
  options.low_speed_time = std::chrono::seconds(1);
  const auto start = std::chrono::steady_clock::now();
  Run(options);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  ASSERT_EQ(observer_.reports, (std::vector<int>{kReportNoMainFile, kReportNoSignature,
                                                 kReportReadAborted, kReportCorrupt}));
  EXPECT_EQ(DownloadReportText(observer_.reports[0]),
            "Unable to read main file from server. Moving to next file");
  EXPECT_EQ(DownloadReportText(observer_.reports[1]),
            "Unable to read from server. Moving to next file.");
  EXPECT_EQ(DownloadReportText(observer_.reports[2]), "Cannot read from server. Download aborted.");
  EXPECT_FALSE(DownloadReportIsError(kReportNoMainFile));
  EXPECT_FALSE(DownloadReportIsError(kReportNoSignature));
  EXPECT_TRUE(DownloadReportIsError(kReportReadAborted));
  EXPECT_TRUE(slow->m_bSelected);
  EXPECT_EQ(good->m_nFileStamp, good->m_nStamp);
  EXPECT_EQ(FilesLeft(), (std::vector<std::string>{"3.out.partial-3-43",
                                                    "3.out.partial-3-43.info", "4.out"}));
}

// Files may not grow past 20,000 bytes in this test, so writing the item
// fails as on a full disk: within its first block, across many blocks
// (the failure shows while later blocks are still being received), and
// with the connection dropped after the failure, which is still a write
// failure and nothing else.
TEST_F(DownloadTest, AFailedWriteIsReportedAndLeavesTheEarlierFile) {
  if (const char* why = testing::WithoutFileSizeLimit())
    GTEST_SKIP() << why;
  struct Case {
    const char* name;
    std::size_t size;
    std::size_t cut;  // bytes sent before the server drops; 0: all
  } cases[] = {
      {"one block", 100000, 0},
      {"many blocks", 6 << 20, 0},
      {"then the connection drops", 100000, 50000},
  };
  std::vector<std::string> files;
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string body = TestHttpServer::Pattern(c.size);
    CUpdateItem* item = Publish(++number, body);
    if (c.cut > 0)
      server_.ServeCut("/site/" + std::to_string(number) + ".dat", body, c.cut);
    dir_.WriteFile(std::to_string(number) + ".out", "an earlier good download");
    item->m_nFileStamp = 7;
    CUpdateItem* next = Publish(++number, "small");
    files.push_back(std::to_string(number - 1) + ".out");
    files.push_back(std::to_string(number) + ".out");
    std::sort(files.begin(), files.end());
    observer_.reports.clear();

    {
      testing::ScopedFileSizeLimit limit(20000);
      Run();
    }

    ASSERT_EQ(observer_.reports, std::vector<int>{kReportDiskWrite});
    EXPECT_EQ(ReadWholeFile(Destination(*item)), "an earlier good download");
    EXPECT_EQ(item->m_nFileStamp, 7);
    EXPECT_TRUE(item->m_bSelected);
    EXPECT_EQ(next->m_nFileStamp, next->m_nStamp);
    EXPECT_EQ(FilesLeft(), files);
    item->m_bSelected = false;  // the next case downloads only its own
  }
  EXPECT_EQ(DownloadReportText(kReportDiskWrite), "Unable to write to disk. Download aborted.");
  EXPECT_TRUE(DownloadReportIsError(kReportDiskWrite));
}

// Cancel while the first item's signature is being fetched ends the run at
// that item, whether the server sent its headers and stalled or never
// answered at all.
TEST_F(DownloadTest, CancelDuringTheSignatureEndsTheRunQuietly) {
  struct Case {
    const char* what;
    std::function<void(TestHttpServer&)> stall;
  };
  const Case cases[] = {
      {"headers, then silence", [](TestHttpServer& s) { s.ServeStall("/site/1.sig"); }},
      {"no answer at all",
       [](TestHttpServer& s) {
         s.ServeDelayed("/site/1.sig", "late", std::chrono::milliseconds(60000));
       }},
  };
  for (const Case& c : cases) {
    TestHttpServer server;
    provider_->m_strAddress = server.Url("/site/");
    while (group_->GetItemCount() > 0)
      group_->RemoveItem(0);
    RecordingObserver observer;
    for (int number = 1; number <= 4; ++number) {
      CUpdateItem* item = group_->AddItem();
      item->m_strName = "item" + std::to_string(number);
      item->m_nNumber = number;
      item->m_nLength = 5;
      item->m_bSelected = true;
      server.ServeStall("/site/" + std::to_string(number) + ".sig");
    }
    c.stall(server);

    CDownloadJob job(providers_, Environment());
    job.Start(&observer);
    for (int i = 0; i < 500 && server.RequestCount("/site/1.sig") == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto cancelled_at = std::chrono::steady_clock::now();
    job.Cancel();
    job.Join();
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled_at, std::chrono::seconds(5)) << c.what;
    EXPECT_TRUE(job.Aborted()) << c.what;
    EXPECT_TRUE(observer.reports.empty()) << c.what << ": " << observer.reports.size();
    EXPECT_EQ(observer.finished.load(), 1) << c.what;
    for (int number = 2; number <= 4; ++number)
      EXPECT_EQ(server.RequestCount("/site/" + std::to_string(number) + ".sig"), 0) << c.what;
  }
}

// A downloaded file gets the mode any new file gets under the umask.
TEST_F(DownloadTest, DownloadedFilesFollowTheUmask) {
  if (const char* why = testing::WithoutPermissionBits())
    GTEST_SKIP() << why;
  const int masks[] = {022, 027, 077, 002};
  int number = 1;
  for (int mask : masks) {
    CUpdateItem* item = Publish(number++, "bytes");
    {
      testing::ScopedUmask umask(mask);
      Run();
    }
    std::error_code error;
    const auto mode = std::filesystem::status(Destination(*item), error).permissions();
    ASSERT_FALSE(error) << std::oct << mask;
    EXPECT_EQ(static_cast<int>(mode & std::filesystem::perms::mask), 0666 & ~mask)
        << std::oct << mask;
  }
  EXPECT_TRUE(observer_.reports.empty());
}

// Part files of an earlier run that was killed are removed when the item
// is downloaded again; other files beside it stay.
TEST_F(DownloadTest, AnInterruptedRunsPartFilesGoWithTheNextDownload) {
  CUpdateItem* item = Publish(3, "fresh bytes");
  dir_.WriteFile("3.out.part-Ab12Cd", std::string(5000, 'x'));
  dir_.WriteFile("3.out.part-zzzzzz", "older still");
  dir_.WriteFile("3.out.part-notmine", "not a part file of ours");
  dir_.WriteFile("3.out.bak", "the user's copy");
  dir_.WriteFile("33.out.part-Ab12Cd", "another item's");
  Run();
  EXPECT_TRUE(observer_.reports.empty());
  EXPECT_EQ(ReadWholeFile(Destination(*item)), "fresh bytes");
  EXPECT_EQ(FilesLeft(), (std::vector<std::string>{"3.out", "3.out.bak", "3.out.part-notmine",
                                                   "33.out.part-Ab12Cd"}));
}

// An item whose list entry gives a SHA-256 is taken only as that file: an
// older version served with its own valid signature (a list's entry bound
// to other bytes), a wrong length or an unreadable digest is refused like
// a bad signature, and the file on record stays.
TEST_F(DownloadTest, AListedDigestBindsTheFileToItsEntry) {
  const std::string listed = "version 2 of the tool, 38 bytes long!";
  const std::string older = "version 1 of the tool, 38 bytes long!";
  ASSERT_EQ(listed.size(), older.size());
  struct Case {
    const char* name;
    std::string served;  // served with its own valid signature
    std::string digest;
    int length_change;
    bool taken;
  } cases[] = {
      {"the listed file", listed, Sha256Hex(listed), 0, true},
      {"an older file of the same length", older, Sha256Hex(listed), 0, false},
      {"the listed file, LEN one byte short", listed, Sha256Hex(listed), -1, false},
      {"the listed file, LEN one byte long", listed, Sha256Hex(listed), 1, false},
      {"a digest that could not be read", listed, std::string(kUnreadableSha256), 0, false},
  };
  for (const Case& c : cases) {
    dir_.WriteFile("1.out", "the earlier download");
    CUpdateItem* item = Publish(1, c.served);
    item->m_strSha256 = c.digest;
    item->m_nLength += c.length_change;
    item->m_nTakenStamp = 7;
    item->m_nFileStamp = 7;
    observer_.reports.clear();
    Run();
    if (c.taken) {
      EXPECT_TRUE(observer_.reports.empty()) << c.name;
      EXPECT_EQ(ReadWholeFile(Destination(*item)), c.served) << c.name;
      EXPECT_EQ(item->m_nTakenStamp, 41) << c.name;
    } else {
      EXPECT_EQ(observer_.reports, std::vector<int>{kReportNotAsListed}) << c.name;
      EXPECT_EQ(ReadWholeFile(Destination(*item)), "the earlier download") << c.name;
      EXPECT_EQ(item->m_nTakenStamp, 7) << c.name;
      EXPECT_EQ(item->m_nFileStamp, 7) << c.name;
      EXPECT_TRUE(item->m_bSelected) << c.name;
    }
    EXPECT_EQ(FilesLeft(), std::vector<std::string>{"1.out"}) << c.name;
    group_->RemoveItem(0);
  }
}

TEST_F(DownloadTest, ABadSignatureIsReportedAsCorruptEvenWithADigest) {
  CUpdateItem* item = Publish(2, "listed bytes");
  item->m_strSha256 = Sha256Hex("listed bytes");
  server_.Serve("/site/2.sig", Signature(*key_, "other bytes!"));
  Run();
  EXPECT_EQ(observer_.reports, std::vector<int>{kReportCorrupt});
  EXPECT_EQ(item->m_nTakenStamp, -1);
}

// A provider whose key is Ed25519: its items are digested with SHA-512 in
// the one pass that writes them, and only "SIG2" records of its own key
// are accepted; one re-signed in the RSA form is refused before its body is
// fetched.
TEST_F(DownloadTest, AnEd25519ProviderAcceptsOnlyEd25519Signatures) {
  std::string error;
  PrivateKeyPtr ed = GenerateEd25519Key(&error);
  ASSERT_NE(ed, nullptr) << error;
  const std::vector<std::uint8_t> record = MakeKeyRecord(*ed);
  provider_->SetKeyData(record.data(), static_cast<int>(record.size()));
  provider_->SetPublicKey(record.data(), static_cast<int>(record.size()));
  PrivateKeyPtr old_rsa = std::move(key_);
  key_ = std::move(ed);

  // Several part-file blocks, so that the digest runs over many pieces.
  const std::string large = TestHttpServer::Pattern(3 * 1024 * 1024 + 17);
  CUpdateItem* good = Publish(1, large);
  CUpdateItem* empty = Publish(2, "");
  CUpdateItem* rsa_signed = Publish(3, "bytes");
  server_.Serve("/site/3.sig", Signature(*old_rsa, "bytes", '1'));
  CUpdateItem* mislabelled = Publish(4, "bytes");
  server_.Serve("/site/4.sig", Signature(*key_, "bytes", '1'));
  CUpdateItem* tampered = Publish(5, "the published bytes");
  server_.Serve("/site/5.dat", "the published bytez");
  Run();
  EXPECT_EQ(observer_.reports,
            (std::vector<int>{kReportBadSignatureFormat, kReportBadSignatureFormat,
                              kReportCorrupt}));
  EXPECT_EQ(ReadWholeFile(Destination(*good)), large);
  EXPECT_EQ(good->m_nFileStamp, good->m_nStamp);
  EXPECT_EQ(empty->m_nFileStamp, empty->m_nStamp);
  for (const CUpdateItem* refused : {rsa_signed, mislabelled, tampered}) {
    EXPECT_EQ(refused->m_nFileStamp, -1) << refused->m_strName;
    EXPECT_TRUE(refused->m_bSelected) << refused->m_strName;
  }
  EXPECT_EQ(server_.RequestCount("/site/3.dat"), 0);
  EXPECT_EQ(server_.RequestCount("/site/4.dat"), 0);
  EXPECT_EQ(FilesLeft(), (std::vector<std::string>{"1.out", "2.out"}));
}

TEST(DownloadReportTest, TextsAndKinds) {
  EXPECT_EQ(DownloadReportText(1), "Download corrupt. Deleting file.");
  EXPECT_EQ(DownloadReportText(6), "Unable to link to server. Moving to next file.");
  EXPECT_EQ(DownloadReportText(5), "Error 5");
  EXPECT_EQ(DownloadReportText(11),
            "The downloaded file does not match its entry in the update list. Deleting file.");
  EXPECT_TRUE(DownloadReportIsError(11));
  EXPECT_TRUE(DownloadReportIsError(1));
  EXPECT_FALSE(DownloadReportIsError(2));
  EXPECT_TRUE(DownloadReportIsError(42));
}


// --- Continuing a kept part file ---

// Observes the resume notice besides the rest.
class ResumeObserver : public RecordingObserver {
 public:
  void OnItemResumed(const CUpdateItem& item, int percent) override {
    std::lock_guard<std::mutex> lock(mutex);
    resumed.emplace_back(item.m_strName, percent);
  }
  std::vector<std::pair<std::string, int>> resumed;
};

class ResumeTest : public DownloadTest {
 protected:
  static constexpr std::size_t kSize = 300000;
  static constexpr std::size_t kCut = 120000;  // 40% of kSize

  ResumeTest() : body_(TestHttpServer::Pattern(kSize)) {}

  // Publishes item 1 and runs a first download that the server cuts off
  // after kCut bytes, which leaves the kept part file.
  CUpdateItem* InterruptedItem(bool listed_digest) {
    CUpdateItem* item = Publish(1, body_);
    if (listed_digest)
      item->m_strSha256 = Sha256Hex(body_);
    server_.ServeCut("/site/1.dat", body_, kCut);
    server_.AcceptRanges("/site/1.dat", "\"v1\"");
    Run();
    EXPECT_EQ(observer_.reports, (std::vector<int>{kReportReadAborted, kReportCorrupt}));
    EXPECT_EQ(ReadWholeFile(dir_.File("1.out.partial-1-41")), body_.substr(0, kCut));
    EXPECT_EQ(ReadWholeFile(dir_.File("1.out.partial-1-41.info")),
              "length 300000\nvalidator \"v1\"\n");
    observer_.reports.clear();
    return item;
  }

  void RunResumed() {
    CDownloadJob job(providers_, Environment());
    job.Run(&resume_observer_);
  }

  std::uint64_t SentBy(const std::function<void()>& run) {
    const std::uint64_t before = server_.BytesSent("/site/1.dat");
    run();
    return server_.BytesSent("/site/1.dat") - before;
  }

  const std::string body_;
  ResumeObserver resume_observer_;
};

// The second download asks for the rest, with the first answer's ETag; the
// answer decides whether the kept bytes count. Whatever it is, the file
// filed is the whole, verified item and no part file stays.
TEST_F(ResumeTest, TheServersAnswerDecidesWhetherTheKeptBytesCount) {
  const std::string shorter = TestHttpServer::Pattern(kCut - 1000);
  struct Case {
    const char* what;
    bool listed_digest;
    std::function<void(TestHttpServer&, RsaPrivateKey&)> serve;
    bool continued;        // 206: only the rest crossed the wire
    int requests;          // of 1.dat in the second run
    std::string expected;  // the file filed
  } cases[] = {
      {"206, the rest of the same copy", false,
       [&](TestHttpServer& s, RsaPrivateKey&) {
         s.Serve("/site/1.dat", body_);
         s.AcceptRanges("/site/1.dat", "\"v1\"");
       },
       true, 1, body_},
      {"206 with a listed digest", true,
       [&](TestHttpServer& s, RsaPrivateKey&) {
         s.Serve("/site/1.dat", body_);
         s.AcceptRanges("/site/1.dat", "\"v1\"");
       },
       true, 1, body_},
      {"200, a server that ignores ranges", false,
       [&](TestHttpServer& s, RsaPrivateKey&) { s.Serve("/site/1.dat", body_); }, false, 1, body_},
      {"200, If-Range names another copy", false,
       [&](TestHttpServer& s, RsaPrivateKey&) {
         s.Serve("/site/1.dat", body_);
         s.AcceptRanges("/site/1.dat", "\"v2\"");
       },
       false, 1, body_},
      {"416, the copy is shorter than the kept bytes", false,
       [&](TestHttpServer& s, RsaPrivateKey& key) {
         s.Serve("/site/1.dat", shorter);
         s.AcceptRanges("/site/1.dat", "\"v1\"");
         s.Serve("/site/1.sig", Signature(key, shorter));
       },
       false, 2, shorter},
      {"206 of a file of another length", false,
       [&](TestHttpServer& s, RsaPrivateKey&) {
         s.Serve("/site/1.dat", body_);
         s.AcceptRanges("/site/1.dat", "\"v1\"", kSize + 5);
       },
       false, 2, body_},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    while (group_->GetItemCount() > 0)
      group_->RemoveItem(0);
    std::filesystem::remove_all(dir_.path());
    std::filesystem::create_directories(dir_.path());
    resume_observer_.resumed.clear();
    resume_observer_.progress.clear();
    resume_observer_.reports.clear();
    CUpdateItem* item = InterruptedItem(c.listed_digest);
    c.serve(server_, *key_);
    const int requests_before = server_.RequestCount("/site/1.dat");
    const std::uint64_t sent = SentBy([&] { RunResumed(); });
    EXPECT_TRUE(resume_observer_.reports.empty()) << resume_observer_.reports.size();
    EXPECT_EQ(ReadWholeFile(Destination(*item)), c.expected);
    EXPECT_EQ(item->m_nFileStamp, item->m_nStamp);
    EXPECT_EQ(FilesLeft(), std::vector<std::string>{"1.out"});
    EXPECT_EQ(server_.RequestCount("/site/1.dat") - requests_before, c.requests);
    if (c.continued) {
      EXPECT_EQ(sent, kSize - kCut);
      EXPECT_EQ(server_.LastHeader("/site/1.dat", "Range"), "bytes=120000-");
      EXPECT_EQ(server_.LastHeader("/site/1.dat", "If-Range"), "\"v1\"");
      EXPECT_EQ(resume_observer_.resumed,
                (std::vector<std::pair<std::string, int>>{{"item1", 40}}));
      // The bar starts at the kept share and never goes below it.
      ASSERT_FALSE(resume_observer_.progress.empty());
      EXPECT_EQ(resume_observer_.progress.front(), std::make_pair(40, 40));
      for (const auto& [item_percent, run_percent] : resume_observer_.progress)
        EXPECT_GE(item_percent, 40);
    } else {
      EXPECT_TRUE(resume_observer_.resumed.empty());
      if (c.requests == 1) {
        EXPECT_EQ(sent, kSize);
        EXPECT_EQ(server_.LastHeader("/site/1.dat", "Range"), "bytes=120000-");
      } else {
        // Asked again for all of it.
        EXPECT_EQ(server_.LastHeader("/site/1.dat", "Range"), "");
      }
    }
  }
}

// The rest that arrives does not fit the kept bytes (the server's copy was
// changed under the same ETag): the file does not verify and goes, its
// part file with it, so that the next download starts afresh.
TEST_F(ResumeTest, ARestThatDoesNotVerifyTakesThePartFileWithIt) {
  CUpdateItem* item = InterruptedItem(false);
  std::string changed = body_;
  changed[kSize - 10] ^= 0x55;
  server_.Serve("/site/1.dat", changed);
  server_.AcceptRanges("/site/1.dat", "\"v1\"");
  RunResumed();
  EXPECT_EQ(resume_observer_.reports, std::vector<int>{kReportCorrupt});
  EXPECT_EQ(item->m_nFileStamp, -1);
  EXPECT_TRUE(FilesLeft().empty());
  // A changed kept byte is found the same way: the kept bytes are digested
  // again from disk, not taken on trust.
  resume_observer_.reports.clear();
  server_.ServeCut("/site/1.dat", body_, kCut);
  server_.AcceptRanges("/site/1.dat", "\"v1\"");
  Run();
  std::string kept = ReadWholeFile(dir_.File("1.out.partial-1-41"));
  ASSERT_EQ(kept.size(), kCut);
  kept[5] ^= 0x01;
  dir_.WriteFile("1.out.partial-1-41", kept);
  server_.Serve("/site/1.dat", body_);
  server_.AcceptRanges("/site/1.dat", "\"v1\"");
  RunResumed();
  EXPECT_EQ(resume_observer_.reports, std::vector<int>{kReportCorrupt});
  EXPECT_TRUE(FilesLeft().empty());
}

// A kept part file of another stamp or length, or one not written for
// more than 30 days, is dropped and the item fetched whole.
TEST_F(ResumeTest, AStalePartFileIsDroppedAndTheItemFetchedWhole) {
  struct Case {
    const char* what;
    std::function<void(CUpdateItem&)> change;
    std::vector<std::string> files;  // left after the second run
  } cases[] = {
      {"the item was republished (new stamp)", [](CUpdateItem& item) { item.m_nStamp = 99; },
       {"1.out"}},
      {"the item's length changed",
       [&](CUpdateItem& item) { item.m_nLength = static_cast<std::int32_t>(kSize + 1); },
       {"1.out"}},
      {"the part file is 31 days old",
       [&](CUpdateItem&) {
         std::filesystem::last_write_time(
             dir_.File("1.out.partial-1-41"),
             std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 31));
       },
       {"1.out"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    while (group_->GetItemCount() > 0)
      group_->RemoveItem(0);
    std::filesystem::remove_all(dir_.path());
    std::filesystem::create_directories(dir_.path());
    observer_.reports.clear();
    CUpdateItem* item = InterruptedItem(false);
    c.change(*item);
    server_.Serve("/site/1.dat", body_);
    server_.AcceptRanges("/site/1.dat", "\"v1\"");
    const std::uint64_t sent = SentBy([&] { RunResumed(); });
    EXPECT_EQ(sent, kSize);
    EXPECT_EQ(server_.LastHeader("/site/1.dat", "Range"), "");
    EXPECT_EQ(ReadWholeFile(Destination(*item)), body_);
    EXPECT_EQ(FilesLeft(), c.files);
  }
}

TEST(ResumingTextTest, SaysWhichItemAndWhere) {
  EXPECT_EQ(ResumingText("Big tool", 52), "resuming Big tool at 52%");
}

}  // namespace
}  // namespace gantrell
