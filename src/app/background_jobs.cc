// The background thread that fetches and prunes, and the waits for it.
#include "app/client_app.h"
#include "model/list_state.h"
#include "model/pruning.h"
#include "net/download_job.h"
#include "net/update_fetcher.h"
#include "net/verify_step.h"

namespace gantrell {

void CClientApp::StartWorkThread(std::function<void()> job) {
  // The previous job must have given its end signal before the handshake
  // is reset: a late signal would otherwise end the next job's wait, or
  // make its fetch see a cancel.
  JoinWorkThread();
  m_wait.Reset();
  m_pWorkThread = std::thread(std::move(job));
}

void CClientApp::RequestEnd() {
  m_bEndRequested = true;
  // The frontend hears of the request before the job is stopped: a job
  // that ends at once must find its wait already marked as cancelled,
  // not read as finished.
  if (m_pFrontend != nullptr)
    m_pFrontend->OnEndRequested();
  // A fetch sleeping on the network wakes and sees the request at once.
  m_wait.WakeJob();
  {
    std::lock_guard<std::mutex> lock(m_jobMutex);
    if (m_pDownloadJob != nullptr)
      m_pDownloadJob->Cancel();
  }
}

void CClientApp::JoinWorkThread() {
  if (m_pWorkThread.joinable())
    m_pWorkThread.join();
}

int CClientApp::RunWaitDialog() {
  const int result = m_pFrontend != nullptr ? m_pFrontend->RunWaitDialog(m_wait) : 1;
  // Ended or cancelled, the job is waited for before the interface goes
  // on: after a Cancel the fetcher closes its transfers and returns, and
  // nothing may touch the model while it still parses or prunes.
  JoinWorkThread();
  // A job stopped by an end request ends its wait as usual, but did not
  // finish: for the caller it was cancelled.
  return m_bEndRequested ? 2 : result;
}

int CClientApp::StartupFetch() {
  StartWorkThread([this] { RefreshThreadProc(-1); });
  if (m_bSilent) {
    m_wait.WaitSilentDone();
    JoinWorkThread();
    return m_bEndRequested ? 2 : 1;
  }
  return RunWaitDialog();
}

int CClientApp::FetchProvider(int index) {
  m_bSilent = false;
  StartWorkThread([this, index] { RefreshThreadProc(index); });
  const int result = RunWaitDialog();
  ReportOlderLists(index);
  return result;
}

void CClientApp::ReportOlderLists(int index) {
  constexpr int kFetched = 1;  // the fetcher's mark of a provider it fetched
  for (int i = 0; i < GetProviderCount(); ++i) {
    const CProvider& provider = *GetProvider(i);
    if ((index == -1 || index == i) && provider.m_nVerifyState == kFetched &&
        provider.m_nFetchStatus == kListOlder && provider.m_timeRefusedListDate != 0) {
      Message(OlderListText(provider), MessageIcon::kWarning);
    }
  }
}

void CClientApp::RefreshThreadProc(int index) {
  RunFetch(index);
  PruneAll();
  m_wait.SignalDone(m_bSilent);
}

void CClientApp::RunFetch(int index) {
  FetchEnvironment environment;
  environment.is_cancelled = [this] { return m_wait.FetchDone() || m_bEndRequested; };
  environment.make_control_context = [this] { return MakeControlFileContext(); };
  environment.open_session = [this](std::string* error) {
    return OpenAsyncHttpSession(m_options.http, error);
  };
  CUpdateFetcher fetcher(m_providers, std::move(environment));
  m_wait.SetCancelHook([&fetcher] { fetcher.WakeForCancel(); });
  fetcher.RunFetch(index);
  m_wait.SetCancelHook(nullptr);
}

bool CClientApp::NeedsDownloadFolder() const {
  if (HasDownloadFolder())
    return false;
  // The same items the download job takes: selected ones from index 1 on.
  for (int p = 1; p < GetProviderCount(); ++p) {
    const CProvider& provider = *GetProvider(p);
    for (int g = 0; g < provider.GetGroupCount(); ++g) {
      const CUpdateGroup& group = *provider.GetGroup(g);
      for (int i = 0; i < group.GetItemCount(); ++i) {
        const CUpdateItem& item = *group.GetItem(i);
        if (item.m_bSelected && item.m_strSavePath.empty())
          return true;
      }
    }
  }
  return false;
}

int CClientApp::RunDownloads(std::vector<std::string>* written) {
  if (m_bEndRequested)
    return 2;
  // The worker may not ask anything: the folder is asked for here, on the
  // interface thread, before it starts. A Cancel ends the run; when no one
  // can answer, the items that need it are reported as having no place to
  // go.
  if (NeedsDownloadFolder()) {
    bool cancelled = false;
    AskDownloadFolder(&cancelled);
    if (cancelled)
      return 2;
  }
  DownloadEnvironment environment;
  environment.default_save_path = [this](const CUpdateItem& item) {
    return FindItemSavePath(item);
  };
  environment.open_session = [this](std::string* error) {
    return OpenHttpSession(DownloadHttpOptions(m_options.http), error);
  };
  CDownloadJob job(m_providers, std::move(environment));
  {
    std::lock_guard<std::mutex> lock(m_jobMutex);
    m_pDownloadJob = &job;
  }
  // An end requested before the job was known here: it stops at once.
  if (m_bEndRequested)
    job.Cancel();
  int result = 1;
  if (m_pFrontend != nullptr) {
    result = m_pFrontend->RunDownloadDialog(job);
  } else {
    job.Run(nullptr);
  }
  job.Join();
  {
    std::lock_guard<std::mutex> lock(m_jobMutex);
    m_pDownloadJob = nullptr;
  }
  // What was verified and filed counts as taken from now on, even if the
  // program ends before the main window closes.
  SaveChanges();
  if (written != nullptr)
    written->insert(written->end(), job.Written().begin(), job.Written().end());
  return result;
}

void CClientApp::PruneAll() {
  // Pruning runs on the refresh thread, where nothing may be asked; it
  // only removes what is on disk, so it neither asks nor makes folders.
  const DefaultSavePath save_path = [this](const CUpdateItem& item) {
    return ExistingItemSavePath(item);
  };
  for (auto& provider : m_providers)
    Prune(*provider, save_path);
}

}  // namespace gantrell
