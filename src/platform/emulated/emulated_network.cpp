#include "platform/emulated/emulated_network.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netdb.h>
#include <openssl/x509_vfy.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stop_token>

#include "bank/bank_values.h"
#include "platform/emulated/hosts_lookup.h"
#include "platform/emulated/machine_files.h"
#include "platform/win_errors.h"

namespace corvane::emulated {
namespace {

constexpr std::uint32_t kWsaTryAgain = 11002;
constexpr std::uint32_t kWsaNoRecovery = 11003;
constexpr std::uint32_t kWsaNoData = 11004;

// Redirects followed before giving up, as a browser does.
constexpr long kMaxRedirects = 10;
// libcurl's receive block, and what is held for the reader before the transfer pauses.
constexpr long kCurlBufferSize = 512L * 1024;
constexpr std::size_t kBufferCapacity = std::size_t{4} * 1024 * 1024;
// The longest wait for the transfer before a stop request or a time-out is looked at.
constexpr int kPollMs = 100;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
    s.remove_suffix(1);
  }
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == prefix;
}

// A host name as libcurl takes it in its option strings: letters, digits, '.', '-', '_'.
bool IsHostName(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
  });
}

bool IsIpv4(std::string_view text) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos) {
    return false;
  }
  in_addr address{};
  return ::inet_pton(AF_INET, std::string(text).c_str(), &address) == 1;
}

template <typename T>
std::optional<T> Number(std::string_view text) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "host:port" with a non-empty host and a port of 1..65535.
bool IsHostPort(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || !IsHostName(text.substr(0, colon))) return false;
  // At most five digits, as a port is written: "0055039" is not taken for 55039.
  if (text.size() - colon - 1 > 5) return false;
  const auto port = Number<unsigned>(text.substr(colon + 1));
  return port && *port >= 1 && *port <= 65535;
}

// Applies one line of network.ini; the reason when it is not understood.
std::optional<std::string> Apply(NetworkSettings& s, std::string_view section, std::string_view key,
                                 std::string_view value, const std::filesystem::path& root) {
  if (section == "resolve") {
    std::vector<std::string> addresses;
    for (std::size_t start = 0; start <= value.size();) {
      const std::size_t comma = std::min(value.find(',', start), value.size());
      const std::string_view address = Trim(value.substr(start, comma - start));
      if (!IsIpv4(address)) return "not an IPv4 address: " + std::string(address);
      addresses.emplace_back(address);
      start = comma + 1;
    }
    if (!IsHostName(key)) return std::string("not a host name: ") + std::string(key);
    s.resolve[Lower(key)] = std::move(addresses);
    return std::nullopt;
  }
  if (section == "connect_to") {
    if (!IsHostPort(key) || !IsHostPort(value)) {
      return std::string("expected host:port = host:port");
    }
    s.connectTo.emplace_back(Lower(key), std::string(value));
    return std::nullopt;
  }
  if (section == "tls" && key == "extra_ca") {
    if (value.empty()) return std::string("extra_ca needs a file");
    s.extraCa = root / std::filesystem::path(std::string(value));
    return std::nullopt;
  }
  if (section == "network" && key == "real") {
    const std::string answer = Lower(value);
    if (answer != "yes" && answer != "no") return "real is yes or no, not " + std::string(value);
    s.real = answer == "yes";
    return std::nullopt;
  }
  if (section == "timeouts" && (key == "connect_ms" || key == "receive_ms")) {
    const auto ms = Number<long>(value);
    if (!ms || *ms <= 0) return "not a positive number of milliseconds: " + std::string(value);
    (key == "connect_ms" ? s.connectMs : s.receiveMs) = *ms;
    return std::nullopt;
  }
  if (section == "resolve" || section == "connect_to" || section == "tls" ||
      section == "timeouts" || section == "network") {
    return "unknown key " + std::string(key);
  }
  return "unknown section [" + std::string(section) + "]";
}

std::string ReadFile(const std::filesystem::path& path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  *ok = static_cast<bool>(in) || in.eof();
  if (!in.is_open()) *ok = false;
  return text.str();
}

void InitCurlOnce() {
  // Once per process, before the first handle; curl's own state, released at exit.
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)initialised;
}

struct SlistFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

void Append(Slist& list, const std::string& item) {
  curl_slist* grown = curl_slist_append(list.get(), item.c_str());
  if (grown != nullptr) {
    (void)list.release();
    list.reset(grown);
  }
}

struct Target {
  bool https = false;
  std::string host;
  std::string port;
};

// The scheme, host and port of an http(s) URL; nothing for another scheme.
std::optional<Target> ParseTarget(std::string_view url) {
  Target target;
  if (StartsWithNoCase(url, "https://")) {
    target.https = true;
    url.remove_prefix(8);
  } else if (StartsWithNoCase(url, "http://")) {
    url.remove_prefix(7);
  } else {
    return std::nullopt;
  }
  std::string_view authority = url.substr(0, url.find_first_of("/?#"));
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  const std::size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && authority.find(']') == std::string_view::npos) {
    target.host = Lower(authority.substr(0, colon));
    target.port = std::string(authority.substr(colon + 1));
  } else {
    target.host = Lower(authority);
  }
  if (target.port.empty()) target.port = target.https ? "443" : "80";
  return target;
}

// Kept apart from the real network, libcurl may use only the names it was given: a name it
// would have to look up is refused before any query leaves the PC.
int RefuseLookup(void* /*resolverState*/, void* /*reserved*/, void* /*userdata*/) { return 1; }

// "host:port:address" entries that let libcurl use a dotted address without a lookup.
void AddLiteral(Slist& list, std::string_view host, std::string_view port) {
  if (!IsIpv4(host)) return;
  std::string entry(host);
  entry.append(":").append(port).append(":").append(host);
  Append(list, entry);
}

// SecureProtocols bits of the TLS versions, lowest first, with libcurl's names for them.
struct TlsBit {
  std::uint32_t bit;
  long min;
  long max;
};
constexpr std::array<TlsBit, 4> kTlsBits = {{
    {0x80, CURL_SSLVERSION_TLSv1_0, CURL_SSLVERSION_MAX_TLSv1_0},
    {0x200, CURL_SSLVERSION_TLSv1_1, CURL_SSLVERSION_MAX_TLSv1_1},
    {0x800, CURL_SSLVERSION_TLSv1_2, CURL_SSLVERSION_MAX_TLSv1_2},
    {0x2000, CURL_SSLVERSION_TLSv1_3, CURL_SSLVERSION_MAX_TLSv1_3},
}};

// CURLOPT_SSLVERSION for a SecureProtocols value: from the lowest TLS version it allows to
// the highest (a gap between them is offered too); nothing when it allows none.
std::optional<long> TlsVersions(std::uint32_t secureProtocols) {
  const TlsBit* lowest = nullptr;
  const TlsBit* highest = nullptr;
  for (const TlsBit& tls : kTlsBits) {
    if ((secureProtocols & tls.bit) == 0) continue;
    if (lowest == nullptr) lowest = &tls;
    highest = &tls;
  }
  if (lowest == nullptr) return std::nullopt;
  return lowest->min | highest->max;
}

struct Settings {
  NetworkSettings network;
  std::string caBundle;
  std::string userAgent;
  std::optional<std::uint32_t> secureProtocols;  // nothing: no value in the registry
};

// One InternetOpenUrl: a libcurl transfer driven by the reader, with a bounded buffer
// between them (the transfer pauses while it is full).
class CurlRequest final : public InternetRequest {
 public:
  CurlRequest(std::shared_ptr<const Settings> settings, std::stop_token stop)
      : settings_(std::move(settings)),
        stop_(std::move(stop)),
        multi_(curl_multi_init()),
        easy_(curl_easy_init()) {}
  CurlRequest(const CurlRequest&) = delete;
  CurlRequest& operator=(const CurlRequest&) = delete;
  CurlRequest(CurlRequest&&) = delete;
  CurlRequest& operator=(CurlRequest&&) = delete;
  ~CurlRequest() override {
    if (added_) curl_multi_remove_handle(multi_, easy_);
    if (easy_ != nullptr) curl_easy_cleanup(easy_);
    if (multi_ != nullptr) curl_multi_cleanup(multi_);
  }

  // Sends the GET and waits for the final response's headers; false with LastError().
  bool Start(std::string_view url, const Target& target) {
    if (multi_ == nullptr || easy_ == nullptr) return Fail(win::kErrorInternetInternalError);
    https_ = target.https;
    const std::string urlText(url);
    const NetworkSettings& net = settings_->network;
    curl_easy_setopt(easy_, CURLOPT_URL, urlText.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_USERAGENT, settings_->userAgent.c_str());
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
    // Never from https to http: WinINet refuses that redirect.
    curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, https_ ? "https" : "http,https");
    if (settings_->secureProtocols) {
      if (const std::optional<long> versions = TlsVersions(*settings_->secureProtocols)) {
        curl_easy_setopt(easy_, CURLOPT_SSLVERSION, *versions);
      } else {
        // No protocol allowed: no https at all, not even after a redirect.
        if (https_) return Fail(win::kErrorInternetSecFailure);
        curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "http");
      }
    }
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!settings_->caBundle.empty()) {
      // libcurl copies the blob (CURL_BLOB_COPY) and never writes through the pointer.
      curl_blob blob{const_cast<char*>(settings_->caBundle.data()),  // NOLINT: C API
                     settings_->caBundle.size(), CURL_BLOB_COPY};
      curl_easy_setopt(easy_, CURLOPT_CAINFO_BLOB, &blob);
    }
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, net.connectMs);
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, kCurlBufferSize);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlRequest::OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);

    // [resolve] for the standard ports, the URL's own port and every connect_to port.
    std::vector<std::string> ports{"80", "443", target.port};
    for (const auto& [from, to] : net.connectTo) ports.push_back(from.substr(from.rfind(':') + 1));
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    for (const auto& [name, addresses] : net.resolve) {
      std::string joined;
      for (const std::string& a : addresses) {
        if (!joined.empty()) joined += ',';
        joined += a;
      }
      for (const std::string& port : ports) {
        std::string entry = name;
        entry.append(":").append(port).append(":").append(joined);
        Append(resolve_, entry);
      }
    }
    for (const auto& [from, to] : net.connectTo) {
      std::string entry = from;
      entry.append(":").append(to);
      Append(connectTo_, entry);
    }
    if (!net.real) {
      // No lookups, no proxy from the environment: only the mapped names and dotted
      // addresses are reached, so nothing but what the settings name leaves this PC.
      for (const std::string& port : ports) AddLiteral(resolve_, target.host, port);
      for (const auto& [from, to] : net.connectTo) {
        const std::size_t colon = to.rfind(':');
        AddLiteral(resolve_, to.substr(0, colon), to.substr(colon + 1));
      }
      curl_easy_setopt(easy_, CURLOPT_PROXY, "");
      curl_easy_setopt(easy_, CURLOPT_RESOLVER_START_FUNCTION, &RefuseLookup);
    }
    if (resolve_) curl_easy_setopt(easy_, CURLOPT_RESOLVE, resolve_.get());
    if (connectTo_) curl_easy_setopt(easy_, CURLOPT_CONNECT_TO, connectTo_.get());

    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
      return Fail(win::kErrorInternetInternalError);
    }
    added_ = true;
    lastActivity_ = Clock::now();
    // Before the headers arrive, the connection may take its time too.
    const long patience = net.connectMs + net.receiveMs;
    while (!headersDone_ && !done_) {
      if (!Pump(patience, true)) return false;
    }
    if (!headersDone_ && result_ != CURLE_OK) return Fail(MapError(result_));
    headersDone_ = true;
    return true;
  }

  std::optional<std::uint32_t> StatusCode() override {
    if (status_ == 0) return std::nullopt;
    return status_;
  }
  std::optional<std::uint64_t> ContentLength() override { return contentLength_; }
  bool IsChunked() override { return chunked_; }

  std::optional<std::size_t> Read(std::span<std::byte> buffer) override {
    while (true) {
      if (!failed_ && stop_.stop_requested()) {
        failed_ = true;
        error_ = win::kErrorInternetOperationCancelled;
      }
      if (failed_) {
        Fail(error_);
        return std::nullopt;
      }
      if (head_ < tail_ || buffer.empty()) {
        const std::size_t n = std::min(buffer.size(), tail_ - head_);
        std::memcpy(buffer.data(), data_.data() + head_, n);
        head_ += n;
        if (head_ == tail_) head_ = tail_ = 0;
        return n;
      }
      if (done_) {
        if (result_ == CURLE_OK) return 0;
        failed_ = true;
        Fail(MapError(result_));
        return std::nullopt;
      }
      if (paused_) {
        paused_ = false;
        lastActivity_ = Clock::now();
        curl_easy_pause(easy_, CURLPAUSE_CONT);
        continue;
      }
      if (!Pump(settings_->network.receiveMs, false)) {
        failed_ = true;
        return std::nullopt;
      }
    }
  }

  std::uint32_t LastError() override { return error_; }

 private:
  using Clock = std::chrono::steady_clock;

  bool Fail(std::uint32_t error) {
    error_ = error;
    return false;
  }

  // Runs the transfer once and waits a little for more; false when it has been silent for
  // `patienceMs` (a time-out, as WinINet's receive time-out) or a stop was requested. The
  // short waits are what let a stop end a connection attempt or a silent server promptly.
  bool Pump(long patienceMs, bool forHeaders) {
    if (stop_.stop_requested()) return Fail(win::kErrorInternetOperationCancelled);
    int running = 0;
    curl_multi_perform(multi_, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
        done_ = true;
        result_ = message->data.result;
      }
    }
    if (done_ || head_ < tail_ || paused_ || (forHeaders && headersDone_)) return true;
    curl_multi_poll(multi_, nullptr, 0, kPollMs, nullptr);
    if (stop_.stop_requested()) return Fail(win::kErrorInternetOperationCancelled);
    if (Clock::now() - lastActivity_ > std::chrono::milliseconds(patienceMs)) {
      return Fail(win::kErrorInternetTimeout);
    }
    return true;
  }

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    static_cast<CurlRequest*>(self)->Header(std::string_view(data, size * count));
    return size * count;
  }

  void Header(std::string_view line) {
    lastActivity_ = Clock::now();
    line = Trim(line);
    if (line.starts_with("HTTP/")) {
      // A new response (after a redirect or an interim answer): its headers count alone.
      status_ = 0;
      contentLength_.reset();
      chunked_ = false;
      location_.clear();
      const std::size_t space = line.find(' ');
      if (space != std::string_view::npos) {
        status_ = Number<std::uint32_t>(line.substr(space + 1, 3)).value_or(0);
      }
      return;
    }
    if (line.empty()) {
      const bool interim = status_ >= 100 && status_ < 200;
      const bool followed = (status_ == 301 || status_ == 302 || status_ == 303 || status_ == 307 ||
                             status_ == 308) &&
                            !location_.empty();
      if (followed && https_ && StartsWithNoCase(location_, "http:")) httpsToHttp_ = true;
      if (!interim && !followed) headersDone_ = true;
      return;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string name = Lower(Trim(line.substr(0, colon)));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (name == "content-length") {
      contentLength_ = Number<std::uint64_t>(value);
    } else if (name == "transfer-encoding") {
      chunked_ = Lower(value).find("chunked") != std::string::npos;
    } else if (name == "location") {
      location_ = std::string(value);
    }
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<CurlRequest*>(self)->Body(data, size * count);
  }

  std::size_t Body(const char* data, std::size_t size) {
    lastActivity_ = Clock::now();
    headersDone_ = true;
    const std::size_t held = tail_ - head_;
    if (held > 0 && held + size > kBufferCapacity) {
      paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (data_.size() < kBufferCapacity) data_.resize(kBufferCapacity);
    if (tail_ + size > data_.size()) {
      std::memmove(data_.data(), data_.data() + head_, held);
      head_ = 0;
      tail_ = held;
      if (tail_ + size > data_.size()) data_.resize(tail_ + size);  // one oversized block
    }
    std::memcpy(data_.data() + tail_, data, size);
    tail_ += size;
    return size;
  }

  std::uint32_t MapError(CURLcode code) {
    switch (code) {
      case CURLE_OK:
        return 0;
      case CURLE_UNSUPPORTED_PROTOCOL:
        return httpsToHttp_ ? win::kErrorInternetHttpsToHttpOnRedir
                            : win::kErrorInternetUnrecognizedScheme;
      case CURLE_URL_MALFORMAT:
        return win::kErrorInternetInvalidUrl;
      case CURLE_COULDNT_RESOLVE_HOST:
      case CURLE_COULDNT_RESOLVE_PROXY:
        return win::kErrorInternetNameNotResolved;
      case CURLE_COULDNT_CONNECT:
        return win::kErrorInternetCannotConnect;
      case CURLE_OPERATION_TIMEDOUT:
        return win::kErrorInternetTimeout;
      case CURLE_TOO_MANY_REDIRECTS:
        return win::kErrorHttpRedirectFailed;
      case CURLE_WEIRD_SERVER_REPLY:
      case CURLE_GOT_NOTHING:
        return win::kErrorHttpInvalidServerResponse;
      case CURLE_PARTIAL_FILE:
        return win::kErrorInternetConnectionAborted;
      case CURLE_SEND_ERROR:
      case CURLE_RECV_ERROR:
        return win::kErrorInternetConnectionReset;
      case CURLE_PEER_FAILED_VERIFICATION: {
        long verify = X509_V_OK;
        curl_easy_getinfo(easy_, CURLINFO_SSL_VERIFYRESULT, &verify);
        switch (verify) {
          case X509_V_OK:               // the chain is good: the name is what failed
          case X509_V_ERR_UNSPECIFIED:  // what libcurl records when its own name check fails
          case X509_V_ERR_HOSTNAME_MISMATCH:
          case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return win::kErrorInternetSecCertCnInvalid;
          case X509_V_ERR_CERT_HAS_EXPIRED:
          case X509_V_ERR_CERT_NOT_YET_VALID:
            return win::kErrorInternetSecCertDateInvalid;
          default:
            return win::kErrorInternetInvalidCa;
        }
      }
      case CURLE_SSL_CONNECT_ERROR:
      case CURLE_SSL_CERTPROBLEM:
      case CURLE_SSL_CIPHER:
      case CURLE_SSL_CACERT_BADFILE:
      case CURLE_SSL_ISSUER_ERROR:
      case CURLE_SSL_INVALIDCERTSTATUS:
      case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      case CURLE_USE_SSL_FAILED:
        return win::kErrorInternetSecFailure;
      default:
        return win::kErrorInternetInternalError;
    }
  }

  std::shared_ptr<const Settings> settings_;
  std::stop_token stop_;
  CURLM* multi_;
  CURL* easy_;
  Slist resolve_;
  Slist connectTo_;
  bool added_ = false;
  bool https_ = false;

  std::uint32_t status_ = 0;
  std::optional<std::uint64_t> contentLength_;
  bool chunked_ = false;
  std::string location_;
  bool httpsToHttp_ = false;
  bool headersDone_ = false;

  std::vector<std::byte> data_;
  std::size_t head_ = 0;
  std::size_t tail_ = 0;
  bool paused_ = false;
  bool done_ = false;
  bool failed_ = false;
  CURLcode result_ = CURLE_OK;
  std::uint32_t error_ = 0;
  Clock::time_point lastActivity_;
};

class CurlSession final : public InternetSession {
 public:
  CurlSession(Settings settings, bool online)
      : settings_(std::make_shared<const Settings>(std::move(settings))), online_(online) {}

  std::unique_ptr<InternetRequest> OpenUrl(std::string_view url, std::uint32_t /*flags*/,
                                           std::uint32_t* error, std::stop_token stop) override {
    // The flags ask for a fresh download that is not cached and for https's security
    // checks: libcurl keeps no cache and always verifies.
    const auto report = [error](std::uint32_t code) {
      if (error != nullptr) *error = code;
      return nullptr;
    };
    const std::optional<Target> target = ParseTarget(url);
    if (!target) return report(win::kErrorInternetUnrecognizedScheme);
    if (!online_) return report(win::kErrorInternetNameNotResolved);
    if (stop.stop_requested()) return report(win::kErrorInternetOperationCancelled);
    auto request = std::make_unique<CurlRequest>(settings_, std::move(stop));
    if (!request->Start(url, *target)) return report(request->LastError());
    if (error != nullptr) *error = 0;
    return request;
  }

 private:
  std::shared_ptr<const Settings> settings_;  // shared with its requests
  bool online_;
};

}  // namespace

NetworkSettingsLoad ParseNetworkSettings(std::string_view text, std::string_view fileName,
                                         const std::filesystem::path& machineRoot) {
  NetworkSettingsLoad load;
  std::string section;
  std::size_t lineNumber = 0;
  const auto fail = [&](std::string_view what) {
    load.error +=
        std::string(fileName) + ":" + std::to_string(lineNumber) + ": " + std::string(what) + "\n";
  };
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    // A comment may follow a value after a blank: "key = value   ; why".
    for (std::size_t at = 1; at < line.size(); ++at) {
      if ((line[at] == ';' || line[at] == '#') && (line[at - 1] == ' ' || line[at - 1] == '\t')) {
        line = line.substr(0, at);
        break;
      }
    }
    line = Trim(line);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') {
        fail("a [section] line must end with ]");
        continue;
      }
      section = std::string(Trim(line.substr(1, line.size() - 2)));
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      fail("expected key = value");
      continue;
    }
    const auto problem = Apply(load.settings, section, Trim(line.substr(0, equals)),
                               Trim(line.substr(equals + 1)), machineRoot);
    if (problem) fail(*problem);
  }
  if (!load.error.empty()) load.error.pop_back();
  return load;
}

NetworkSettingsLoad LoadNetworkSettings(const MachineFolder& machine) {
  const std::filesystem::path path = machine.root() / "network.ini";
  std::string text;
  const MachineFileStatus read =
      ReadMachineFile(machine.root(), "network.ini", text, kMaxMachineText);
  if (read == MachineFileStatus::kMissing) return {};
  if (read == MachineFileStatus::kLink) {
    return {NetworkSettings{},
            path.string() + ":0: " + std::string(DescribeMachineFileStatus(read))};
  }
  if (read != MachineFileStatus::kOk)
    return {NetworkSettings{}, path.string() + ":0: cannot be read"};
  return ParseNetworkSettings(text, path.string(), machine.root());
}

std::vector<std::string> BankHostNames() {
  const auto hostOf = [](std::string_view url) {
    const std::optional<Target> target = ParseTarget(url);
    return target ? target->host : std::string();
  };
  return {Lower(bank::kPersonalHost), Lower(bank::kCorporateHost), hostOf(bank::kUpdateBaseUrl),
          hostOf(bank::kPublicSiteUrl)};
}

void ApplyIsolation(NetworkSettings& settings) {
  if (settings.real) return;
  for (const std::string& host : BankHostNames()) {
    if (!host.empty()) settings.resolve.try_emplace(host, std::vector<std::string>{"127.0.0.1"});
  }
  settings.resolve.try_emplace("localhost", std::vector<std::string>{"127.0.0.1"});
}

EmulatedNetwork::EmulatedNetwork(const MachineFolder& machine, bool online, Registry* registry)
    : drive_(machine.driveC()), online_(online), registry_(registry) {
  NetworkSettingsLoad load = LoadNetworkSettings(machine);
  settings_ = std::move(load.settings);
  error_ = std::move(load.error);
  ApplyIsolation(settings_);
  if (settings_.extraCa.empty()) return;
  bool ok = false;
  std::string extra;
  // A file of the machine folder is read without following links; a host file that the
  // settings name outside it is read as named.
  if (const std::filesystem::path inside = MachineRelative(machine.root(), settings_.extraCa);
      !inside.empty()) {
    ok = ReadMachineFile(machine.root(), inside, extra, kMaxMachineText) == MachineFileStatus::kOk;
  } else {
    extra = ReadFile(settings_.extraCa, &ok);
  }
  if (!ok || extra.find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
    if (!error_.empty()) error_ += '\n';
    error_ += (machine.root() / "network.ini").string() + ": extra_ca " +
              settings_.extraCa.string() + " is not a readable PEM certificate file";
    return;
  }
  // Both the host's store and the extra CA: one bundle, since libcurl takes one CA file.
  InitCurlOnce();
  std::string system;
  if (CURL* probe = curl_easy_init()) {
    char* defaultCa = nullptr;
    if (curl_easy_getinfo(probe, CURLINFO_CAINFO, &defaultCa) == CURLE_OK && defaultCa != nullptr) {
      bool read = false;
      system = ReadFile(defaultCa, &read);
    }
    curl_easy_cleanup(probe);
  }
  caBundle_ = system + "\n" + extra;
}

bool EmulatedNetwork::ConnectedState(std::uint32_t* flags) {
  if (flags != nullptr) {
    *flags = online_ ? win::kInternetConnectionLan : win::kInternetConnectionOffline;
  }
  return online_;
}

std::unique_ptr<InternetSession> EmulatedNetwork::OpenSession(std::string_view userAgent) {
  InitCurlOnce();
  Settings settings{settings_, caBundle_, std::string(userAgent), std::nullopt};
  if (registry_ != nullptr) {
    // As WinINet: the user's setting, else the machine's.
    constexpr std::string_view kInternetSettings =
        R"(Software\Microsoft\Windows\CurrentVersion\Internet Settings)";
    for (const RegistryRoot root : {RegistryRoot::kCurrentUser, RegistryRoot::kLocalMachine}) {
      RegistryKey key;
      std::uint32_t value = 0;
      if (registry_->OpenKey(root, kInternetSettings, win::kKeyRead, key) == win::kErrorSuccess &&
          key.ReadDword("SecureProtocols", value) == win::kErrorSuccess) {
        settings.secureProtocols = value;
        break;
      }
    }
  }
  return std::make_unique<CurlSession>(std::move(settings), online_);
}

std::string EmulatedNetwork::hostsText() const {
  ResolvedPath resolved;
  if (drive_.resolve(R"(C:\Windows\System32\drivers\etc\hosts)", R"(C:\)", resolved) != 0 ||
      !resolved.exists || resolved.isDirectory) {
    return {};
  }
  const std::filesystem::path machine = drive_.hostRoot().parent_path();
  std::string text;
  if (ReadMachineFile(machine, MachineRelative(machine, resolved.host), text, kMaxMachineText) !=
      MachineFileStatus::kOk) {
    return {};
  }
  return text;
}

HostAddresses EmulatedNetwork::ResolveAddress(std::string_view address) {
  if (!online_ || !IsIpv4(address)) return {kWsaHostNotFound, {}};
  const std::string text(address);
  if (HostsNamesAddress(hostsText(), text)) return {0, {text}};
  for (const auto& [name, addresses] : settings_.resolve) {
    if (std::find(addresses.begin(), addresses.end(), text) != addresses.end()) return {0, {text}};
  }
  // Apart from the real network no reverse query leaves this PC either.
  if (!settings_.real) return {kWsaHostNotFound, {}};
  sockaddr_in socketAddress{};
  socketAddress.sin_family = AF_INET;
  if (::inet_pton(AF_INET, text.c_str(), &socketAddress.sin_addr) != 1)
    return {kWsaHostNotFound, {}};
  std::array<char, NI_MAXHOST> host{};
  if (::getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress,
                    host.data(), host.size(), nullptr, 0, NI_NAMEREQD) != 0) {
    return {kWsaHostNotFound, {}};
  }
  return {0, {text}};
}

HostAddresses EmulatedNetwork::ResolveHost(std::string_view name) {
  if (!online_) return {kWsaHostNotFound, {}};
  if (std::vector<std::string> mapped = HostsAddressesOf(hostsText(), name); !mapped.empty()) {
    return {0, std::move(mapped)};
  }
  if (const auto it = settings_.resolve.find(Lower(name)); it != settings_.resolve.end()) {
    return {0, it->second};
  }
  if (!settings_.real) {
    // Apart from the real network only dotted addresses and the mapped names resolve.
    if (IsIpv4(name)) return {0, {std::string(name)}};
    return {kWsaHostNotFound, {}};
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(std::string(name).c_str(), nullptr, &hints, &found);
  if (status != 0) {
    switch (status) {
      case EAI_AGAIN:
        return {kWsaTryAgain, {}};
      case EAI_FAIL:
        return {kWsaNoRecovery, {}};
#ifdef EAI_NODATA
      case EAI_NODATA:
#endif
      case EAI_ADDRFAMILY:
        return {kWsaNoData, {}};
      default:
        return {kWsaHostNotFound, {}};
    }
  }
  HostAddresses result;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    std::array<char, INET_ADDRSTRLEN> text{};
    const auto* address = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    if (::inet_ntop(AF_INET, &address->sin_addr, text.data(), text.size()) != nullptr) {
      result.addresses.emplace_back(text.data());
    }
  }
  ::freeaddrinfo(found);
  if (result.addresses.empty()) result.error = kWsaNoData;
  return result;
}

}  // namespace corvane::emulated
