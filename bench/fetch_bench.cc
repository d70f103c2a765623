// Wall time of one update-list fetch of 200 due providers against the
// ten-slot ideal and against `curl --parallel --parallel-max 10` fetching
// the same 600 files from the same server in the same run, with the
// fetch's CPU time and peak resident memory.
//
//   build/bench/fetch_bench [providers=200] [delay ms=20] [rounds=3]
//                           [work folder=/tmp/gantrell-fetch-bench]
//
// Every provider serves public.dat, control.txt and control.sig from a
// python3 threading HTTP server on 127.0.0.1 that waits `delay` before every
// response. Each side runs in a child process so that its CPU time and
// memory are its own.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "model/provider_list.h"
#include "net/signature.h"
#include "net/update_fetcher.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace gantrell;

struct Outcome {
  double seconds = 0;
  double cpu_seconds = 0;
  long peak_kib = 0;
  int status = -1;
};

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
  outcome.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  outcome.peak_kib = usage.ru_maxrss;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  return outcome;
}

void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// Keeps connections open between requests (HTTP/1.1), as web servers do,
// and counts them: "/__stats" answers "connections requests" since the
// last such request, at once.
const char kServer[] = R"(import http.server, socketserver, sys, time, os, threading
delay = float(sys.argv[2]) / 1000.0
os.chdir(sys.argv[1])
lock = threading.Lock()
counts = [0, 0]
class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True
    def setup(self):
        super().setup()
        with lock:
            counts[0] += 1
    def do_GET(self):
        if self.path == "/__stats":
            with lock:
                body = ("%d %d" % (counts[0] - 1, counts[1])).encode()
                counts[0] = 0
                counts[1] = 0
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(body)
            self.close_connection = True
            return
        with lock:
            counts[1] += 1
        time.sleep(delay)
        super().do_GET()
    def log_message(self, *args):
        pass
class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 256
server = Server(("127.0.0.1", 0), Handler)
with open(sys.argv[3] + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(sys.argv[3] + ".tmp", sys.argv[3])
server.serve_forever()
)";

std::string LoadAverage() {
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) != 3)
    return "?";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
  return text;
}

// CPU seconds process `pid` has used so far (0 when unknown).
double ProcessCpu(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos)
    return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  // Fields 14 and 15 of the line, counted after the name: utime, stime.
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14)
      ticks += std::atof(field.c_str());
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Starts the server and returns its pid; *port gets its port (0 when the
// server did not come up within five seconds).
pid_t StartServer(const std::filesystem::path& root, int delay_ms, int* port) {
  WriteFile(root / "server.py", kServer);
  const std::string port_file = (root / "port").string();
  const pid_t child = fork();
  if (child == 0) {
    const std::string script = (root / "server.py").string();
    const std::string site = (root / "site").string();
    const std::string delay = std::to_string(delay_ms);
    execlp("python3", "python3", script.c_str(), site.c_str(), delay.c_str(), port_file.c_str(),
           nullptr);
    _exit(127);
  }
  *port = 0;
  for (int i = 0; i < 500 && *port == 0; ++i) {
    std::ifstream(port_file) >> *port;
    if (*port == 0)
      usleep(10000);
  }
  return child;
}

std::string ControlText(int i) {
  return "TCHK 7 \"1 3 2024\" KMADE \"1 3 2024\" ID 1 KEYNAME \"Provider " + std::to_string(i) +
         "\" GRP Tools FILE tool.exe DESC \"A tool\" LOCN tool.exe UPD 1/3/2024 LEN 100 TIME " +
         std::to_string(i) + " END END";
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;
  const int delay_ms = argc > 2 ? std::atoi(argv[2]) : 20;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  const std::filesystem::path root = argc > 4 ? argv[4] : "/tmp/gantrell-fetch-bench";
  std::filesystem::remove_all(root);

  std::string error;
  RsaPrivateKeyPtr key = GenerateRsaKey(2048, &error);
  if (key == nullptr) {
    std::fprintf(stderr, "fetch_bench: %s\n", error.c_str());
    return 1;
  }
  const std::vector<std::uint8_t> record = MakeKeyRecord(*key);
  const std::string record_text(record.begin(), record.end());
  for (int i = 0; i < count; ++i) {
    const std::filesystem::path site = root / "site" / ("p" + std::to_string(i));
    const std::string text = ControlText(i);
    const auto signature = MakeSignatureRecord(
        *key, '1', reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    WriteFile(site / "public.dat", record_text);
    WriteFile(site / "control.txt", text);
    WriteFile(site / "control.sig", std::string(signature.begin(), signature.end()));
  }

  int port = 0;
  const pid_t server = StartServer(root, delay_ms, &port);
  if (server <= 0 || port == 0) {
    std::fprintf(stderr, "fetch_bench: cannot start python3's HTTP server\n");
    return 1;
  }
  const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";

  // Connections and requests the server saw since it was last asked.
  const std::string stats_command = "curl -s " + base + "__stats";
  auto server_counts = [&] {
    std::string text;
    if (std::FILE* pipe = popen(stats_command.c_str(), "r")) {
      char buffer[64] = {};
      text = std::fgets(buffer, sizeof buffer, pipe) != nullptr ? buffer : "";
      pclose(pipe);
    }
    return text.empty() ? std::string("? ?") : text;
  };
  server_counts();

  const Time now = Now();
  auto run_fetcher = [&](double* thread_cpu) {
    int cpu_pipe[2];
    if (pipe(cpu_pipe) != 0)
      return Outcome{};
    const Outcome fetch = InChild([&] {
      ProviderList providers;
      for (int i = 0; i < 4; ++i) {
        // Authority entries, not due in this run.
        providers.push_back(std::make_unique<CProvider>());
        providers.back()->m_timeNextCheck = now + 30 * kSecondsPerDay;
      }
      for (int i = 0; i < count; ++i) {
        auto provider = std::make_unique<CProvider>();
        provider->m_strAddress = base + "p" + std::to_string(i) + "/";
        provider->SetKeyData(record.data(), static_cast<int>(record.size()));
        provider->SetPublicKey(record.data(), static_cast<int>(record.size()));
        provider->m_timeKeyMade = now - kSecondsPerDay;
        provider->m_timeNextCheck = now - kSecondsPerDay;
        providers.push_back(std::move(provider));
      }
      FetchEnvironment environment;
      CUpdateFetcher fetcher(providers, environment);
      fetcher.RunFetch(-1);
      rusage thread_usage{};
      getrusage(RUSAGE_THREAD, &thread_usage);
      const double cpu = thread_usage.ru_utime.tv_sec + thread_usage.ru_stime.tv_sec +
                         (thread_usage.ru_utime.tv_usec + thread_usage.ru_stime.tv_usec) / 1e6;
      (void)!write(cpu_pipe[1], &cpu, sizeof cpu);
      int failed = 0;
      for (int i = 4; i < static_cast<int>(providers.size()); ++i)
        failed += providers[static_cast<std::size_t>(i)]->m_nFetchStatus != 0 ||
                  !providers[static_cast<std::size_t>(i)]->m_bTransferFlag;
      return failed > 250 ? 250 : failed;
    });
    close(cpu_pipe[1]);
    (void)!read(cpu_pipe[0], thread_cpu, sizeof *thread_cpu);
    close(cpu_pipe[0]);
    return fetch;
  };

  const bool have_curl = std::system("command -v curl > /dev/null 2>&1") == 0;
  std::string curl_command;
  if (have_curl) {
    std::ofstream config(root / "curl.cfg");
    for (int i = 0; i < count; ++i) {
      for (const char* name : {"public.dat", "control.txt", "control.sig"}) {
        config << "url = \"" << base << "p" << i << "/" << name << "\"\n"
               << "output = \"/dev/null\"\n";
      }
    }
    config.close();
    curl_command =
        "curl --parallel --parallel-immediate --parallel-max 10 --no-progress-meter -s -K " +
        (root / "curl.cfg").string();
  }

  const double ideal = count / 10.0 * 3 * delay_ms / 1000.0;
  std::printf("providers %d, %d ms per response, ideal (ten slots) %.3f s\n", count, delay_ms,
              ideal);
  int failures = 0;
  std::vector<double> ratios;
  for (int round = 0; round < rounds; ++round) {
    Outcome fetch, curl;
    double thread_cpu = 0;
    std::string fetch_counts, curl_counts = "- -";
    double fetch_server_cpu = 0, curl_server_cpu = 0;
    // Alternate which side goes first.
    for (int turn = 0; turn < 2; ++turn) {
      if ((turn == 0) == (round % 2 == 0)) {
        const double server_before = ProcessCpu(server);
        fetch = run_fetcher(&thread_cpu);
        fetch_server_cpu = ProcessCpu(server) - server_before;
        fetch_counts = server_counts();
      } else if (have_curl) {
        const double server_before = ProcessCpu(server);
        curl = InChild([&] { return std::system(curl_command.c_str()) == 0 ? 0 : 1; });
        curl_server_cpu = ProcessCpu(server) - server_before;
        curl_counts = server_counts();
      }
    }
    failures = std::max(failures, fetch.status);
    std::printf("round %d (load %s):\n", round + 1, LoadAverage().c_str());
    std::printf(
        "  fetcher: %.3f s (%+.1f%% vs ideal), CPU %.3f s (fetch thread %.3f s), peak RSS %ld "
        "KiB, connections/requests %s, server CPU %.3f s, %d providers failed\n",
        fetch.seconds, (fetch.seconds / ideal - 1) * 100, fetch.cpu_seconds, thread_cpu,
        fetch.peak_kib, fetch_counts.c_str(), fetch_server_cpu, fetch.status);
    if (have_curl) {
      std::printf(
          "  curl --parallel --parallel-immediate --parallel-max 10: %.3f s (%+.1f%% vs ideal), "
          "CPU %.3f s, peak RSS %ld KiB, connections/requests %s, server CPU %.3f s, exit %d\n",
          curl.seconds, (curl.seconds / ideal - 1) * 100, curl.cpu_seconds, curl.peak_kib,
          curl_counts.c_str(), curl_server_cpu, curl.status);
      std::printf("  time ratio (fetcher / curl) %.3f\n", fetch.seconds / curl.seconds);
      ratios.push_back(fetch.seconds / curl.seconds);
    }
  }
  if (!ratios.empty()) {
    std::sort(ratios.begin(), ratios.end());
    std::printf("time ratio (fetcher / curl): median %.3f, range %.3f-%.3f over %d rounds\n",
                ratios[ratios.size() / 2], ratios.front(), ratios.back(), rounds);
  } else {
    std::printf("curl: not installed, no comparison\n");
  }

  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  std::filesystem::remove_all(root);
  return failures == 0 ? 0 : 1;
}
