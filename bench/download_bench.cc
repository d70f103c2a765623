// Download-and-verify throughput of one large item against `curl -o` of the
// same file from the same local static server, in the same run (and
// against `curl -o` followed by a sync of the file, since the download
// makes its file durable before moving it into place), with the
// CPU time and peak resident memory of each (memory must not grow with the
// size).
//
//   build/bench/download_bench [MiB=1024 (1-2047)] [rounds=3] [work
//   folder=/tmp/gantrell-download-bench]
//
// The item is served by python3's http.server on 127.0.0.1. Each side runs
// in a child process so that its figures are its own; the rounds rotate
// which side goes first. The download's CPU is set against curl's plus one
// SHA-1 pass over the item, timed here in 64 KiB updates.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
  double user = 0;
  double sys = 0;
  long peak_kib = 0;
  int status = -1;
};

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

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
  outcome.user = Seconds(usage.ru_utime);
  outcome.sys = Seconds(usage.ru_stime);
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

// Seconds for one SHA-1 pass over `size` bytes in 64 KiB updates.
double Sha1Pass(std::uint64_t size) {
  CProvider provider;
  std::vector<std::uint8_t> block(64 * 1024, 0x5a);
  const auto start = Clock::now();
  provider.BeginDigest();
  for (std::uint64_t done = 0; done < size; done += block.size())
    provider.AddToDigest(block.data(), static_cast<int>(block.size()));
  const std::uint8_t none[1] = {0};
  provider.VerifySignature(none, 0);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string LoadAverage() {
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) != 3)
    return "?";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
  return text;
}

void Print(const char* name, const Outcome& outcome, double mib) {
  std::printf(
      "  %-17s %6.2f s %7.1f MiB/s  CPU %5.2f s (user %5.2f, sys %5.2f)  peak %6ld KiB  %s\n", name,
      outcome.seconds, mib / outcome.seconds, outcome.user + outcome.sys, outcome.user, outcome.sys,
      outcome.peak_kib, outcome.status == 0 ? "ok" : "FAILED");
}

// Deletes a side's output and lets the system finish with it before the
// next run: deleting a large file that is still in the page cache leaves
// the kernel work that otherwise lands on whichever side runs next (it
// showed as a second of system time in the next run's writes).
void Settle(const std::string& output) {
  std::filesystem::remove(output);
  ::sync();
  std::this_thread::sleep_for(std::chrono::seconds(1));
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
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string work = argc > 3 ? argv[3] : "/tmp/gantrell-download-bench";
  const std::uint64_t size = mib << 20;
  // An item's length is a 32-bit field of the update list.
  if (mib == 0 || size > static_cast<std::uint64_t>(INT32_MAX)) {
    std::fprintf(stderr, "download_bench: the item must be 1 to 2047 MiB\n");
    return 2;
  }
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
  // The same, then made durable as the download is before its rename: the
  // figure a download that reaches the disk can be held to.
  const std::string durable_command = curl_command + " && sync " + work + "/out/curl.dat";
  auto run_curl = [&](const std::string& command) {
    const Outcome outcome = InChild([&] { return std::system(command.c_str()) == 0 ? 0 : 1; });
    Settle(work + "/out/curl.dat");
    return outcome;
  };
  auto run_ours = [&] {
    const Outcome outcome = InChild([&] {
      ProviderList providers;
      providers.push_back(std::make_unique<CProvider>());
      providers.push_back(std::make_unique<CProvider>());
      CProvider& provider = *providers[1];
      provider.m_strAddress = base;
      provider.m_bListParsed = 1;
      provider.SetPublicKey(key_record.data(), static_cast<int>(key_record.size()));
      CUpdateItem* item = provider.AddGroup()->AddItem();
      item->m_nNumber = 1;
      item->m_nLength = static_cast<std::int32_t>(size);
      item->m_nStamp = 1;
      item->m_bSelected = true;
      DownloadEnvironment environment;
      environment.default_save_path = [&](const CUpdateItem&) { return work + "/out/ours.dat"; };
      CDownloadJob job(providers, std::move(environment));
      Quiet observer;
      job.Run(&observer);
      return observer.failed || item->m_nFileStamp != 1 ? 1 : 0;
    });
    Settle(work + "/out/ours.dat");
    return outcome;
  };

  const double mb = static_cast<double>(size) / (1 << 20);
  const double sha1 = Sha1Pass(size);
  std::vector<double> ratios, durable_ratios;
  Outcome best[3];
  const char* const names[3] = {"curl -o", "curl -o + sync", "download+verify"};
  bool ok = true;
  for (int round = 0; round < rounds; ++round) {
    Outcome outcomes[3];
    // Each round starts with another side, so that none always finds the
    // page cache and the disk in the state another left.
    for (int turn = 0; turn < 3; ++turn) {
      const int side = (round + turn) % 3;
      outcomes[side] =
          side == 2 ? run_ours() : run_curl(side == 0 ? curl_command : durable_command);
    }
    std::printf("round %d (load %s), order %s first:\n", round + 1, LoadAverage().c_str(),
                names[round % 3]);
    for (int side = 0; side < 3; ++side) {
      Print(names[side], outcomes[side], mb);
      ok = ok && outcomes[side].status == 0;
      if (round == 0 || outcomes[side].seconds < best[side].seconds)
        best[side] = outcomes[side];
    }
    const Outcome& curl = outcomes[0];
    const Outcome& ours = outcomes[2];
    const double ratio = curl.seconds / ours.seconds;
    const double durable_ratio = outcomes[1].seconds / ours.seconds;
    std::printf(
        "  throughput ratio ours / curl -o %.2f, ours / curl -o + sync %.2f; CPU ours %.2f s vs "
        "curl + one SHA-1 pass %.2f s\n",
        ratio, durable_ratio, ours.user + ours.sys, curl.user + curl.sys + sha1);
    ratios.push_back(ratio);
    durable_ratios.push_back(durable_ratio);
  }
  std::sort(ratios.begin(), ratios.end());
  std::sort(durable_ratios.begin(), durable_ratios.end());
  std::printf("item %.0f MiB, %d rounds, SHA-1 pass %.2f s; best of each:\n", mb, rounds, sha1);
  for (int side = 0; side < 3; ++side)
    Print(names[side], best[side], mb);
  std::printf(
      "throughput ratio ours / curl -o: median %.2f, range %.2f-%.2f; ours / curl -o + sync: "
      "median %.2f, range %.2f-%.2f\n",
      ratios[ratios.size() / 2], ratios.front(), ratios.back(),
      durable_ratios[durable_ratios.size() / 2], durable_ratios.front(), durable_ratios.back());
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  std::filesystem::remove_all(work);
  return ok ? 0 : 1;
}
