#include "net/download_job.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "model/local_time.h"
#include "model/pruning.h"
#include "net/part_file.h"
#include "net/sha256_digest.h"
#include "net/signature.h"
#include "platform/atomic_file.h"
#include "platform/catalogue.h"
#include "platform/file_access.h"
#include "platform/folders.h"
#include "platform/open_file.h"

namespace gantrell {
namespace {

// The body is defined by reads of this size (see ReadCounter) but read,
// digested and written in the part file's blocks, a multiple of it.
constexpr long long kReadSize = 256;
// Signature records are read up to this size, like every signature file,
// so that keys of 2048 bits and more can sign items.
constexpr std::size_t kSignatureCapacity = 512;
constexpr int kProgressEvery = 10;

int Percent(long long part, long long whole) {
  if (whole <= 0)
    return 100;
  const double percent = static_cast<double>(part) / static_cast<double>(whole) * 100.0;
  if (percent >= 100.0)
    return 100;
  return percent <= 0.0 ? 0 : static_cast<int>(percent);
}

std::string TodayText() {
  int day = 1, month = 1, year = 1970;
  LocalDate(Now(), &day, &month, &year);
  return std::to_string(day) + " " + std::to_string(month) + " " + std::to_string(year);
}

// Counts an item's body in the reads of kReadSize bytes that the download
// has always been defined by, whatever size the blocks are really read in:
// such a read fills up completely unless the body ends, the body is taken
// up to the first read that reaches the item's length (one read for an
// item of length 0 or less), and a progress notice follows the second read
// and every twelfth after it.
class ReadCounter {
 public:
  ReadCounter(long long length, std::function<void(long long got)> notify)
      : length_(length), notify_(std::move(notify)) {}

  // The first `got` bytes are already there (a kept part file): the reads
  // that took them are counted without notices.
  void Skip(long long got) { reads_ = got / kReadSize; }

  // The most bytes those reads take.
  long long Limit() const {
    return length_ <= 0 ? kReadSize : (length_ + kReadSize - 1) / kReadSize * kReadSize;
  }

  // `got` bytes have arrived: counts the reads they have filled.
  void Filled(long long got) {
    while ((reads_ + 1) * kReadSize <= got)
      Count(++reads_ * kReadSize);
  }

  // The body ended after `got` bytes: counts the short read that took the
  // last of them, and the empty read that found the end when those reads
  // had not yet reached the length.
  void Ended(long long got) {
    Filled(got);
    if (got > reads_ * kReadSize) {
      ++reads_;
      Count(got);
    }
    if (reads_ == 0 || got < length_) {
      ++reads_;
      Count(got);
    }
  }

 private:
  void Count(long long got) {
    if (counter_-- < 0) {
      counter_ = kProgressEvery;
      notify_(got);
    }
  }

  const long long length_;
  const std::function<void(long long got)> notify_;
  long long reads_ = 0;
  int counter_ = 0;
};

// A kept part file is continued only this long after it was last written;
// an older one is removed and the item fetched again from its start.
constexpr Time kKeptPartLifetime = 30 * kSecondsPerDay;
// Kept bytes are digested again from disk in pieces of this size.
constexpr std::size_t kRedigestPiece = std::size_t{1} << 20;

// What "<kept part>.info" holds: the item's length the part file belongs
// to and the validator of the server's copy, as two lines
// "length 67108864" and "validator \"5f3a-4000000\"" (an empty validator:
// the server gave none).
struct KeptPartInfo {
  long long length = -1;
  std::string validator;
};

std::string InfoPath(const std::string& kept_path) {
  return kept_path + kKeptPartInfoSuffix;
}

bool ReadKeptPartInfo(const std::string& kept_path, KeptPartInfo* info) {
  std::FILE* file = OpenFile(InfoPath(kept_path), "rb");
  if (file == nullptr)
    return false;
  char text[1024];
  const std::size_t count = std::fread(text, 1, sizeof text, file);
  std::fclose(file);
  if (count == sizeof text)
    return false;  // not one of ours
  const std::string content(text, count);
  constexpr std::string_view kLength = "length ";
  constexpr std::string_view kValidator = "validator ";
  const std::size_t end_of_length = content.find('\n');
  if (content.compare(0, kLength.size(), kLength) != 0 || end_of_length == std::string::npos)
    return false;
  const std::string number = content.substr(kLength.size(), end_of_length - kLength.size());
  if (number.empty() || number.size() > 12 ||
      number.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const std::string rest = content.substr(end_of_length + 1);
  if (rest.compare(0, kValidator.size(), kValidator) != 0 || rest.empty() || rest.back() != '\n')
    return false;
  info->length = std::stoll(number);
  info->validator = rest.substr(kValidator.size(), rest.size() - kValidator.size() - 1);
  return info->validator.find('\n') == std::string::npos;
}

bool WriteKeptPartInfo(const std::string& kept_path, long long length,
                       const std::string& validator) {
  return WriteFileAtomically(InfoPath(kept_path),
                             "length " + std::to_string(length) + "\nvalidator " + validator + "\n",
                             nullptr);
}

void RemoveKeptPart(const std::string& kept_path) {
  if (kept_path.empty())
    return;
  RemoveFile(kept_path);
  RemoveFile(InfoPath(kept_path));
}

// The validator If-Range may carry for a response: a strong ETag, else the
// Last-Modified date (a weak ETag is not allowed there); empty when the
// response has neither.
std::string ValidatorOf(const HttpResponseInfo& response) {
  if (!response.etag.empty() && response.etag.rfind("W/", 0) != 0)
    return response.etag;
  return response.last_modified;
}

}  // namespace

std::string ResumingText(const std::string& name, int percent) {
  return Subst(Tr("resuming %1 at %2%"), {name, std::to_string(percent)});
}

HttpOptions DownloadHttpOptions(HttpOptions options) {
  // 4 MiB absorbs a few milliseconds of the disk or the scheduler at the
  // speed of a local network; a smaller buffer pauses the transfer often
  // enough to cost a fifth of the throughput.
  constexpr std::size_t kDownloadBuffered = std::size_t{4} << 20;
  options.max_buffered = std::max(options.max_buffered, kDownloadBuffered);
  return options;
}

std::string DownloadReportText(int code) {
  switch (code) {
    case kReportCorrupt:
      return Tr("Download corrupt. Deleting file.");
    case kReportNoMainFile:
      return Tr("Unable to read main file from server. Moving to next file");
    case kReportCannotWrite:
      return Tr("Unable to write to this filename. Check directory exists.");
    case kReportDiskWrite:
      return Tr("Unable to write to disk. Download aborted.");
    case kReportNoLink:
      return Tr("Unable to link to server. Moving to next file.");
    case kReportReadAborted:
      return Tr("Cannot read from server. Download aborted.");
    case kReportUnknownFormat:
      return Tr("Unknown download format. Update your software.");
    case kReportNoSignature:
      return Tr("Unable to read from server. Moving to next file.");
    case kReportBadSignatureFormat:
      return Tr("Bad signature file format. Download aborted.");
    case kReportNotAsListed:
      return Tr("The downloaded file does not match its entry in the update list. Deleting file.");
    default:
      return Subst(Tr("Error %1"), {std::to_string(code)});
  }
}

std::string ReplaceQuestionText(const std::string& destination) {
  return Subst(Tr("File already exists at %1. Overwrite?"), {destination});
}

bool DownloadReportIsError(int code) {
  switch (code) {
    case kReportNoMainFile:
    case kReportNoLink:
    case kReportUnknownFormat:
    case kReportNoSignature:
      return false;
    default:
      return true;
  }
}

CDownloadJob::CDownloadJob(ProviderList& providers, DownloadEnvironment environment)
    : m_providers(providers), m_environment(std::move(environment)) {}

CDownloadJob::~CDownloadJob() {
  Cancel();
  Join();
}

void CDownloadJob::Start(DownloadObserver* observer) {
  Join();
  m_pObserver = observer;
  m_pThread = std::thread([this] { DownloadThreadProc(); });
}

void CDownloadJob::Join() {
  if (m_pThread.joinable())
    m_pThread.join();
}

void CDownloadJob::Run(DownloadObserver* observer) {
  m_pObserver = observer;
  DownloadThreadProc();
}

void CDownloadJob::Cancel() {
  std::lock_guard<std::mutex> lock(m_pMutex);
  m_bCancel = true;
  if (m_hRequest)
    m_hRequest->Close();
  // A request still opening (a server that does not answer) is not in
  // m_hRequest yet; closing the session's requests ends that wait too.
  if (m_pSession != nullptr)
    m_pSession->CloseAll();
}

std::string CDownloadJob::CurrentName() const {
  std::lock_guard<std::mutex> lock(m_pMutex);
  return m_strCurrentName;
}

int CDownloadJob::CurrentResumedPercent() const {
  std::lock_guard<std::mutex> lock(m_pMutex);
  return m_nResumedPercent;
}

bool CDownloadJob::Aborted() const {
  std::lock_guard<std::mutex> lock(m_pMutex);
  return m_bAborted;
}

void CDownloadJob::DownloadThreadProc() {
  DownloadAll();
  { std::lock_guard<std::mutex> lock(m_pMutex); }
  if (m_pObserver != nullptr)
    m_pObserver->OnFinished();
}

void CDownloadJob::DownloadAll() {
  long long total = 0;
  for (std::size_t p = 1; p < m_providers.size(); ++p) {
    const CProvider& provider = *m_providers[p];
    if (provider.m_bListParsed != 1)
      continue;
    for (int g = 0; g < provider.GetGroupCount(); ++g) {
      const CUpdateGroup& group = *provider.GetGroup(g);
      for (int i = 0; i < group.GetItemCount(); ++i) {
        if (group.GetItem(i)->m_bSelected)
          total += group.GetItem(i)->m_nLength;
      }
    }
  }

  auto open = [this](std::string* error) {
    return m_environment.open_session ? m_environment.open_session(error)
                                      : OpenHttpSession(DownloadHttpOptions(HttpOptions{}), error);
  };
  std::string error;
  std::unique_ptr<HttpSession> session = open(&error);
  if (!session)
    session = open(&error);
  if (!session)
    return;
  {
    std::lock_guard<std::mutex> lock(m_pMutex);
    m_pSession = session.get();
    if (m_bCancel)
      m_pSession->CloseAll();
  }
  RunItems(*session, total);
  std::lock_guard<std::mutex> lock(m_pMutex);
  m_pSession = nullptr;
}

void CDownloadJob::RunItems(HttpSession& session, long long total) {
  long long done = 0;
  for (std::size_t p = 1; p < m_providers.size(); ++p) {
    CProvider& provider = *m_providers[p];
    for (int g = 0; g < provider.GetGroupCount(); ++g) {
      CUpdateGroup& group = *provider.GetGroup(g);
      for (int i = 0; i < group.GetItemCount(); ++i) {
        CUpdateItem& item = *group.GetItem(i);
        if (!item.m_bSelected)
          continue;
        DownloadItem(item, session, total, &done);
        if (Aborted())
          return;
      }
    }
  }
}

void CDownloadJob::Report(int code) {
  if (m_pObserver != nullptr)
    m_pObserver->OnReport(code);
}

bool CDownloadJob::OpenRequest(HttpSession& session, const std::string& url,
                               const HttpRequestOptions& options) {
  std::string error;
  std::unique_ptr<HttpRequest> request = session.OpenUrl(url, options, &error);
  if (!request)
    request = session.OpenUrl(url, options, &error);
  if (!request)
    return false;
  std::lock_guard<std::mutex> lock(m_pMutex);
  m_hRequest = std::move(request);
  // A Cancel that came while the request opened still closes it.
  if (m_bCancel)
    m_hRequest->Close();
  return true;
}

void CDownloadJob::CloseRequest() {
  std::unique_ptr<HttpRequest> request;
  {
    std::lock_guard<std::mutex> lock(m_pMutex);
    request = std::move(m_hRequest);
  }
  if (request)
    request->Close();
}

bool CDownloadJob::StopIfCancelled() {
  std::lock_guard<std::mutex> lock(m_pMutex);
  if (m_bCancel)
    m_bAborted = true;
  return m_bCancel;
}

void CDownloadJob::DownloadItem(CUpdateItem& item, HttpSession& session, long long total,
                                long long* done) {
  m_pReportingItem = &item;
  if (m_pObserver != nullptr)
    m_pObserver->OnItemStarted(item);
  const long long before = *done;
  *done += item.m_nLength;
  CProvider& provider = *item.m_pGroup->m_pProvider;
  const std::string base = provider.m_strAddress + std::to_string(item.m_nNumber);

  // Until the body is read, a cancel ends the run here, with no report: a
  // request that failed because Cancel closed it is no server's fault.
  if (StopIfCancelled())
    return;
  if (!OpenRequest(session, base + ".sig")) {
    if (!StopIfCancelled())
      Report(kReportNoLink);
    return;
  }
  // The signature record: everything up to 512 bytes.
  std::uint8_t signature[kSignatureCapacity];
  std::size_t signature_length = 0;
  bool read_ok = true;
  while (signature_length < kSignatureCapacity) {
    std::size_t got = 0;
    if (!m_hRequest->Read(signature + signature_length, kSignatureCapacity - signature_length,
                          &got)) {
      read_ok = false;
      break;
    }
    if (got == 0)
      break;
    signature_length += got;
  }
  CloseRequest();
  if (StopIfCancelled())
    return;
  if (!read_ok) {
    Report(kReportNoSignature);
    return;
  }
  // The provider's key decides the form an item's signature must have
  // ("SIG1" RSA, "SIG2" Ed25519): a record of the other kind is refused
  // before the body is fetched, so that no one can swap in a weaker form.
  switch (ClassifyItemSignature(provider.PublicKeyKind(), signature,
                                static_cast<int>(signature_length))) {
    case ItemSignatureForm::kFitsKey:
      break;
    case ItemSignatureForm::kUnknown:
      Report(kReportUnknownFormat);
      return;
    case ItemSignatureForm::kOtherKind:
    case ItemSignatureForm::kNotARecord:
      Report(kReportBadSignatureFormat);
      return;
  }

  const std::string destination = !item.m_strSavePath.empty() ? item.m_strSavePath
                                  : m_environment.default_save_path
                                      ? m_environment.default_save_path(item)
                                      : std::string();
  const std::string kept_path =
      destination.empty() ? std::string()
                          : KeptPartPath(destination, item.m_nNumber, item.m_nStamp);
  // Part files of an earlier run that was killed before it could clean up,
  // and kept ones of another number or stamp of the item.
  if (!destination.empty())
    RemoveStalePartFiles(destination, kept_path);

  // An entry with a digest names the file exactly: its bytes are digested
  // in the same pass as the signature's, and one byte past its length is
  // read so that a longer file is seen.
  const bool listed_digest = !item.m_strSha256.empty();
  auto content_digest = std::make_unique<Sha256Digest>();
  // The file on record (if any) stays valid until the new one replaces it,
  // so its stamp is only changed on success.
  provider.BeginDigest();
  auto restart_digests = [&] {
    provider.BeginDigest();
    content_digest = std::make_unique<Sha256Digest>();
  };

  // A kept part file of this item, stamp and length, not too old, is
  // digested again from disk: the signature covers the whole file and
  // nothing of the kept bytes is trusted unread.
  long long kept = 0;
  KeptPartInfo info;
  if (!kept_path.empty() && item.m_nLength > 0 && IsRegularFile(kept_path)) {
    std::int64_t modified = 0;
    const bool usable = ReadKeptPartInfo(kept_path, &info) && info.length == item.m_nLength &&
                        FileModifiedTime(kept_path, &modified) &&
                        modified > Now() - kKeptPartLifetime;
    std::FILE* file = usable ? OpenFile(kept_path, "rb") : nullptr;
    if (file != nullptr) {
      std::vector<char> piece(kRedigestPiece);
      bool cancelled = false;
      for (;;) {
        const std::size_t count = std::fread(piece.data(), 1, piece.size(), file);
        if (count == 0)
          break;
        provider.AddToDigest(reinterpret_cast<const std::uint8_t*>(piece.data()),
                             static_cast<int>(count));
        if (listed_digest)
          content_digest->Add(piece.data(), count);
        kept += static_cast<long long>(count);
        if (kept >= item.m_nLength || (cancelled = StopIfCancelled()))
          break;
      }
      const bool read_error = std::ferror(file) != 0;
      std::fclose(file);
      if (cancelled)
        return;  // the kept part file stays for the next run
      if (read_error || kept >= item.m_nLength) {
        kept = 0;
        restart_digests();
      }
    }
  }
  if (kept == 0)
    RemoveKeptPart(kept_path);

  HttpRequestOptions ranged;
  if (kept > 0) {
    ranged.range_start = static_cast<std::uint64_t>(kept);
    ranged.if_range = info.validator;
  }
  if (!OpenRequest(session, base + ".dat", ranged)) {
    if (!StopIfCancelled())
      Report(kReportNoMainFile);
    return;
  }
  HttpResponseInfo response = m_hRequest->Response();
  if (kept > 0) {
    // Only the rest of the same file continues the kept bytes. A whole
    // file (the server ignores ranges, or its copy changed) is taken from
    // its start; a refusal (416) or another file's range asks again for
    // all of it.
    const bool continues = response.status == 206 && response.range_first == kept &&
                           response.range_total == item.m_nLength;
    if (!continues) {
      kept = 0;
      restart_digests();
      if (response.status != 200) {
        CloseRequest();
        if (StopIfCancelled())
          return;
        if (!OpenRequest(session, base + ".dat")) {
          if (!StopIfCancelled())
            Report(kReportNoMainFile);
          return;
        }
        response = m_hRequest->Response();
      }
    }
  }
  // Only the item's own file is worth keeping when the body stops short:
  // not an error page, nor a part file nobody could continue.
  bool keep_on_stop = kept > 0;
  const int resumed_percent = kept > 0 ? Percent(kept, item.m_nLength) : -1;
  if (m_pMutex.try_lock()) {
    m_strCurrentName = item.m_strName;
    m_nResumedPercent = resumed_percent;
    m_pMutex.unlock();
  }
  if (StopIfCancelled()) {
    CloseRequest();
    return;
  }
  if (kept == 0 && response.status == 200 && !kept_path.empty()) {
    info.length = item.m_nLength;
    info.validator = ValidatorOf(response);
    keep_on_stop = item.m_nLength > 0 && WriteKeptPartInfo(kept_path, info.length, info.validator);
  }
  PartFile part;
  // The body always goes to the kept part file's name, so that even a run
  // that is killed leaves it where the next one looks.
  if (kept_path.empty() || !part.Continue(kept_path, kept)) {
    CloseRequest();
    if (!keep_on_stop)
      RemoveKeptPart(kept_path);
    Report(kReportCannotWrite);
    return;
  }
  if (kept > 0 && m_pObserver != nullptr) {
    m_pObserver->OnItemResumed(item, resumed_percent);
    m_pObserver->OnProgress(resumed_percent, Percent(kept + before, total));
  }

  ReadCounter reads(item.m_nLength, [&](long long got) {
    if (m_pObserver != nullptr)
      m_pObserver->OnProgress(Percent(got, item.m_nLength), Percent(got + before, total));
  });
  reads.Skip(kept);
  const long long limit =
      listed_digest ? std::max<long long>(item.m_nLength, 0) + 1 : reads.Limit();
  // Bytes at the start of `block` not yet handed to the part file, which
  // writes each block while the next one is received.
  char* block = part.Buffer();
  const std::size_t block_size = part.block_size();
  std::size_t pending = 0;
  auto write_pending = [&] {
    if (pending > 0) {
      if (!part.Commit(pending))
        return false;
      block = part.Buffer();
    }
    pending = 0;
    return true;
  };
  long long got = kept;
  HttpRequest* request = m_hRequest.get();
  bool write_ok = true;
  bool read_failed = false;
  for (;;) {
    std::size_t count = 0;
    const std::size_t want = static_cast<std::size_t>(
        std::min<long long>(static_cast<long long>(block_size - pending), limit - got));
    const bool body_ok = request->Read(block + pending, want, &count);
    if (StopIfCancelled()) {
      // What came before stays in the kept part file.
      if (keep_on_stop)
        write_ok = write_pending();
      break;
    }
    if (!body_ok) {
      // A read that breaks off once the length is reached ends the body:
      // the read that reached it had what it needed.
      if (got > 0 && got >= item.m_nLength) {
        reads.Ended(got);
        write_ok = write_pending();
        break;
      }
      reads.Filled(got);
      // A write that failed is the first fault, and is reported as such.
      if (!(write_ok = write_pending() && part.Wait()))
        break;
      Report(kReportReadAborted);
      read_failed = true;
      break;
    }
    // Digested as it arrives, while the piece is still in the cache.
    if (count > 0) {
      provider.AddToDigest(reinterpret_cast<const std::uint8_t*>(block + pending),
                           static_cast<int>(count));
      if (listed_digest)
        content_digest->Add(block + pending, count);
    }
    got += static_cast<long long>(count);
    pending += count;
    if (count == 0) {
      reads.Ended(got);
      write_ok = write_pending();
      break;
    }
    reads.Filled(got);
    if (pending == block_size || got >= limit) {
      if (!(write_ok = write_pending()))
        break;
    }
    if (got >= limit)
      break;
  }
  if (!write_ok && !Aborted()) {
    CloseRequest();
    part.Discard();
    RemoveKeptPart(kept_path);
    Report(kReportDiskWrite);
    return;
  }
  CloseRequest();
  // Whatever ends below but a stop short of the end takes the part file
  // (with `part`) and what was kept with it.
  auto drop_kept = [&] {
    part.Discard();
    RemoveKeptPart(kept_path);
  };
  if (Aborted()) {
    // Cancel (or the program being told to end) keeps what came so far.
    if (!keep_on_stop || !part.Keep())
      drop_kept();
    return;
  }
  if (!part.Finish()) {
    drop_kept();
    Report(kReportDiskWrite);
    return;
  }
  // A body that broke off before the item's length is still checked like a
  // whole file, as a server may announce more than it has; when that fails
  // its bytes are kept for the next download to continue.
  const bool stopped_short = read_failed && got < item.m_nLength;
  if (!provider.VerifySignature(signature, static_cast<int>(signature_length))) {
    if (!stopped_short || !keep_on_stop || !part.Keep())
      drop_kept();
    Report(kReportCorrupt);
    return;
  }
  if (listed_digest &&
      (got != item.m_nLength || content_digest->FinishHex() != item.m_strSha256)) {
    drop_kept();
    Report(kReportNotAsListed);
    return;
  }
  // Only the item's own earlier download is replaced unasked; a file of
  // the user's there stays unless the user says otherwise.
  bool replace = item.m_nFileStamp != -1;
  MoveResult moved;
  while ((moved = part.MoveTo(destination, replace)) == MoveResult::kExists) {
    if (m_pObserver == nullptr || !m_pObserver->OnAskReplace(destination)) {
      drop_kept();
      return;
    }
    replace = true;
  }
  if (moved != MoveResult::kMoved) {
    drop_kept();
    Report(kReportCannotWrite);
    return;
  }
  RemoveFile(InfoPath(kept_path));  // the part file itself is the item's file now
  m_written.push_back(destination);
  item.m_strDate = m_environment.today ? m_environment.today() : TodayText();
  item.m_nTakenStamp = item.m_nStamp;
  item.m_nFileStamp = item.m_nStamp;
  item.m_bJustDownloaded = true;
  item.m_bSelected = false;
}

}  // namespace gantrell
