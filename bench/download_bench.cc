// Download-and-verify throughput of one large item against `curl -o` of the
// same file from the same local static server, in the same run, and the
// peak resident memory of the download (which must not grow with the size).
//
//   build/bench/download_bench [MiB=1024] [work folder=/tmp/gantrell-download-bench]
//
// The item is served by python3's http.server on 127.0.0.1. Each side runs
// in a child process so that its peak memory is its own.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "net/download_job.h"
#include "net/signature.h"
#include "platform/http.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace gantrell;

struct Outcome {
  double seconds = 0;
  long peak_kib = 0;
  int status = -1;
};

// Runs `work` in a child process and measures its wall time and peak RSS.
template <typename Work>
Outcome InChild(Work work) {
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0)
    _exit(work());
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  Outcome outcome;
  outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  outcome.peak_kib = usage.ru_maxrss;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  return outcome;
}

bool WriteItem(const std::string& path, std::uint64_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr)
    return false;
  std::mt19937_64 rng(1);
  std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
  for (std::uint64_t written = 0; written < size;) {
    for (auto& word : block)
      word = rng();
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(size - written, 1 << 20));
    if (std::fwrite(block.data(), 1, n, file) != n)
      return false;
    written += n;
  }
  return std::fclose(file) == 0;
}

std::vector<std::uint8_t> SignFile(const RsaPrivateKey& key, const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  struct stat info;
  fstat(fd, &info);
  void* bytes =
      mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  std::vector<std::uint8_t> record = MakeSignatureRecord(
      key, '1', static_cast<const std::uint8_t*>(bytes), static_cast<std::size_t>(info.st_size));
  munmap(bytes, static_cast<std::size_t>(info.st_size));
  close(fd);
  return record;
}

class Quiet : public DownloadObserver {
 public:
  void OnProgress(int, int) override {}
  void OnReport(int code) override {
    std::fprintf(stderr, "report %d\n", code);
    failed = true;
  }
  void OnFinished() override {}
  bool failed = false;
};

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const std::string work = argc > 2 ? argv[2] : "/tmp/gantrell-download-bench";
  const std::uint64_t size = mib << 20;
  std::filesystem::remove_all(work);
  std::filesystem::create_directories(work + "/site");
  std::filesystem::create_directories(work + "/out");

  std::printf("item: %llu MiB\n", static_cast<unsigned long long>(mib));
  if (!WriteItem(work + "/site/1.dat", size))
    return 1;
  std::string error;
  RsaPrivateKeyPtr key = GenerateRsaKey(2048, &error);
  const std::vector<std::uint8_t> signature = SignFile(*key, work + "/site/1.dat");
  {
    std::FILE* sig = std::fopen((work + "/site/1.sig").c_str(), "wb");
    std::fwrite(signature.data(), 1, signature.size(), sig);
    std::fclose(sig);
  }
  const std::vector<std::uint8_t> key_record = MakeKeyRecord(*key);

  const int port = 20000 + static_cast<int>(getpid() % 20000);
  const pid_t server = fork();
  if (server == 0) {
    const std::string port_text = std::to_string(port);
    execlp("python3", "python3", "-m", "http.server", "--bind", "127.0.0.1", port_text.c_str(),
           "--directory", (work + "/site").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";
  // Wait until the server answers.
  for (int i = 0; i < 100; ++i) {
    const std::string probe = "curl -s -o /dev/null " + base + "1.sig";
    if (std::system(probe.c_str()) == 0)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }

  const std::string curl_command = "curl -s -o " + work + "/out/curl.dat " + base + "1.dat";
  const Outcome curl = InChild([&] { return std::system(curl_command.c_str()) == 0 ? 0 : 1; });
  std::filesystem::remove(work + "/out/curl.dat");

  const Outcome ours = InChild([&] {
    ProviderList providers;
    providers.push_back(std::make_unique<CProvider>());
    providers.push_back(std::make_unique<CProvider>());
    CProvider& provider = *providers[1];
    provider.m_strAddress = base;
    provider.m_bListParsed = 1;
    provider.SetPublicKey(key_record.data(), static_cast<int>(key_record.size()));
    CUpdateItem* item = provider.AddGroup()->AddItem();
    item->m_nNumber = 1;
    item->m_nLength = static_cast<std::int32_t>(std::min<std::uint64_t>(size, INT32_MAX));
    item->m_nStamp = 1;
    item->m_bSelected = true;
    DownloadEnvironment environment;
    environment.default_save_path = [&](const CUpdateItem&) { return work + "/out/ours.dat"; };
    CDownloadJob job(providers, std::move(environment));
    Quiet observer;
    job.Run(&observer);
    return observer.failed || item->m_nFileStamp != 1 ? 1 : 0;
  });

  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  const double mb = static_cast<double>(size) / (1 << 20);
  std::printf("curl -o:            %7.2f s  %8.1f MiB/s  peak %6ld KiB  %s\n", curl.seconds,
              mb / curl.seconds, curl.peak_kib, curl.status == 0 ? "ok" : "FAILED");
  std::printf("download+verify:    %7.2f s  %8.1f MiB/s  peak %6ld KiB  %s\n", ours.seconds,
              mb / ours.seconds, ours.peak_kib, ours.status == 0 ? "ok" : "FAILED");
  std::printf("throughput ratio (ours / curl): %.2f\n", curl.seconds / ours.seconds);
  std::filesystem::remove_all(work);
  return curl.status == 0 && ours.status == 0 ? 0 : 1;
}
