// The background thread that fetches and prunes, and the waits for it.
#include "app/client_app.h"
#include "model/pruning.h"
#include "net/download_job.h"
#include "net/update_fetcher.h"

namespace gantrell {

void CClientApp::StartWorkThread(std::function<void()> job) {
  JoinWorkThread();
  m_pWorkThread = std::thread(std::move(job));
}

void CClientApp::JoinWorkThread() {
  if (m_pWorkThread.joinable())
    m_pWorkThread.join();
}

int CClientApp::RunWaitDialog() {
  if (m_pFrontend == nullptr) {
    // Nobody to show the wait to: wait for the job itself.
    JoinWorkThread();
    return 1;
  }
  return m_pFrontend->RunWaitDialog(m_wait);
}

int CClientApp::StartupFetch() {
  m_wait.Reset();
  StartWorkThread([this] { RefreshThreadProc(-1); });
  if (m_bSilent) {
    m_wait.WaitSilentDone();
    return 1;
  }
  return RunWaitDialog();
}

int CClientApp::FetchProvider(int index) {
  m_bSilent = false;
  m_wait.Reset();
  StartWorkThread([this, index] { RefreshThreadProc(index); });
  return RunWaitDialog();
}

void CClientApp::RefreshThreadProc(int index) {
  RunFetch(index);
  PruneAll();
  m_wait.SignalDone(m_bSilent);
}

void CClientApp::RunFetch(int index) {
  FetchEnvironment environment;
  environment.is_cancelled = [this] { return m_wait.FetchDone(); };
  environment.make_control_context = [this] { return MakeControlFileContext(); };
  environment.open_session = [this](std::string* error) {
    return OpenAsyncHttpSession(m_options.http, error);
  };
  CUpdateFetcher fetcher(m_providers, std::move(environment));
  m_wait.SetCancelHook([&fetcher] { fetcher.WakeForCancel(); });
  fetcher.RunFetch(index);
  m_wait.SetCancelHook(nullptr);
}

int CClientApp::RunDownloads(std::vector<std::string>* written) {
  DownloadEnvironment environment;
  environment.default_save_path = [this](const CUpdateItem& item) { return GetItemSavePath(item); };
  environment.open_session = [this](std::string* error) {
    return OpenHttpSession(m_options.http, error);
  };
  CDownloadJob job(m_providers, std::move(environment));
  int result = 1;
  if (m_pFrontend != nullptr) {
    result = m_pFrontend->RunDownloadDialog(job);
  } else {
    job.Run(nullptr);
  }
  job.Join();
  if (written != nullptr)
    written->insert(written->end(), job.Written().begin(), job.Written().end());
  return result;
}

void CClientApp::PruneAll() {
  const DefaultSavePath save_path = [this](const CUpdateItem& item) {
    return GetItemSavePath(item);
  };
  for (auto& provider : m_providers)
    Prune(*provider, save_path);
}

}  // namespace gantrell
