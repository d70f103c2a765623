// Load and save of the provider store (provdata.dat and keydata.dat) with
// 1,000, 10,000 and 100,000 items spread over 1,000 providers, reporting
// the bytes of both files per second of wall time each way and fitting the
// growth.
//
//   build/bench/store_bench [--benchmark_repetitions=3 ...]
//
// The store lives in a fresh folder below /tmp. A save writes both files
// and makes them durable, as the client does at the end of every run; a
// load reads them back into an empty list.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/client_app.h"
#include "conditions/condition.h"
#include "model/local_time.h"
#include "net/signature.h"
#include "platform/os_version.h"
#include "support/memory_registry.h"

namespace {

using namespace gantrell;

constexpr int kProviders = 1000;

class NoOsVersion : public OsVersion {
 public:
  bool Query(OsVersionInfo*) const override { return false; }
};

// An application whose main data folder is a fresh temporary folder.
class StoreFixture {
 public:
  StoreFixture() : app_(registry_, os_) {
    folder_ = std::filesystem::temp_directory_path() /
              ("gantrell-store-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    app_.m_strDataPath = folder_.string();
  }
  ~StoreFixture() { std::filesystem::remove_all(folder_); }

  CClientApp& app() { return app_; }

  std::uint64_t StoreBytes() const {
    return std::filesystem::file_size(folder_ / "provdata.dat") +
           std::filesystem::file_size(folder_ / "keydata.dat");
  }

  // `items` items over kProviders providers (after the five built-in
  // entries), two groups each, every provider with a 1024-bit key record
  // and every tenth item with a condition.
  void Fill(int items) {
    app_.m_providers.clear();
    app_.SetUpBuiltInProviders();
    static const std::vector<std::uint8_t> key = [] {
      std::string why;
      RsaPrivateKeyPtr rsa = GenerateRsaKey(1024, &why);
      return MakeKeyRecord(*rsa);
    }();
    const Time now = Now();
    int made = 0;
    for (int p = 0; p < kProviders; ++p) {
      auto provider = std::make_unique<CProvider>();
      provider->m_strKeyName = "Provider number " + std::to_string(p);
      provider->m_strAddress = "http://updates.example.org/provider/" + std::to_string(p) + "/";
      provider->m_nKeyId = p;
      provider->m_bVerified = true;
      provider->m_timeKeyMade = now - 40 * kSecondsPerDay;
      provider->m_timeBaseline = now - 100 * kSecondsPerDay;
      provider->m_timeNextCheck = now + 7 * kSecondsPerDay;
      provider->SetKeyData(key.data(), static_cast<int>(key.size()));
      CUpdateGroup* groups[2] = {provider->AddGroup(), provider->AddGroup()};
      groups[0]->m_strName = "Tools";
      groups[0]->m_strGroupText = "Programs and \"helpers\"";
      groups[1]->m_strName = "Drivers";
      groups[1]->m_strGroupText = "Hardware support";
      const int count = items / kProviders + (p < items % kProviders ? 1 : 0);
      for (int i = 0; i < count; ++i, ++made) {
        CUpdateItem* item = groups[i % 2]->AddItem();
        item->m_strName = "tool-" + std::to_string(made) + ".exe";
        item->m_strSavePath = i % 3 == 0 ? "C:\\Downloads\\tool-" + std::to_string(made) : "";
        item->m_strLocation = "bin\\tool-" + std::to_string(made) + ".exe";
        item->m_strDescription = "A tool that does one thing well, release " + std::to_string(i);
        item->m_strDate = "7 12 2026";
        item->m_nNumber = made;
        item->m_nLength = 100000 + made;
        item->m_nStamp = made;
        item->m_nTakenStamp = i % 2 == 0 ? made : -1;
        item->m_nFileStamp = item->m_nTakenStamp;
        if (i % 10 == 0)
          item->m_pCondition = CreateCondition("NULL");
      }
      app_.m_providers.push_back(std::move(provider));
    }
  }

 private:
  testing::MemoryRegistry registry_;
  NoOsVersion os_;
  CClientApp app_;
  std::filesystem::path folder_;
};

void BM_SaveStore(benchmark::State& state) {
  StoreFixture fixture;
  fixture.Fill(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    if (!fixture.app().SaveStore()) {
      state.SkipWithError("SaveStore failed");
      return;
    }
  }
  const std::uint64_t bytes = fixture.StoreBytes();
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
  state.SetComplexityN(state.range(0));
  state.counters["store_bytes"] = static_cast<double>(bytes);
}

void BM_LoadStore(benchmark::State& state) {
  StoreFixture fixture;
  fixture.Fill(static_cast<int>(state.range(0)));
  if (!fixture.app().SaveStore()) {
    state.SkipWithError("SaveStore failed");
    return;
  }
  std::size_t items = 0;
  for (auto _ : state) {
    fixture.app().LoadStore();
    items = 0;
    for (const auto& provider : fixture.app().m_providers)
      for (int g = 0; g < provider->GetGroupCount(); ++g)
        items += static_cast<std::size_t>(provider->GetGroup(g)->GetItemCount());
  }
  if (items != static_cast<std::size_t>(state.range(0))) {
    state.SkipWithError("the store did not read back in full");
    return;
  }
  const std::uint64_t bytes = fixture.StoreBytes();
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
  state.SetComplexityN(state.range(0));
  state.counters["store_bytes"] = static_cast<double>(bytes);
}

BENCHMARK(BM_SaveStore)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);
BENCHMARK(BM_LoadStore)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
