#include "platform/win32/win32_network.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/win32_util.h"

namespace corvane::win32 {
namespace {

constexpr DWORD_PTR kContext = 1;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// A header of the response as text; nothing when it is absent.
std::optional<std::wstring> QueryText(HINTERNET request, DWORD info, std::wstring_view name = {}) {
  // 80 bytes hold any status code or length; longer values are asked for again.
  std::wstring buffer(40, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!name.empty()) {
      buffer.assign(std::max<std::size_t>(buffer.size(), name.size() + 1), L'\0');
      std::copy(name.begin(), name.end(), buffer.begin());
    }
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (::HttpQueryInfoW(request, info, buffer.data(), &bytes, nullptr)) {
      buffer.resize(bytes / sizeof(wchar_t));
      return buffer;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    buffer.assign(bytes / sizeof(wchar_t) + 1, L'\0');
  }
  return std::nullopt;
}

template <typename T>
std::optional<T> Number(std::wstring_view text) {
  const std::string narrow = Narrow(text);
  T value{};
  const auto [end, ec] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
  if (narrow.empty() || ec != std::errc() || end != narrow.data() + narrow.size()) {
    return std::nullopt;
  }
  return value;
}

// The handles of one request. A stop closes them from the stopping thread, which is what
// makes a WinINet call blocked on them (connecting, waiting for data) return. Each handle is
// closed once, by whoever comes first, under the lock; after a stop the request handle
// reads as null, so no call starts on a handle that was closed.
class RequestHandles {
 public:
  // ownSession: a session opened for this request alone (closed with it), or null.
  explicit RequestHandles(HINTERNET ownSession) : session_(ownSession) {}
  RequestHandles(const RequestHandles&) = delete;
  RequestHandles& operator=(const RequestHandles&) = delete;
  RequestHandles(RequestHandles&&) = delete;
  RequestHandles& operator=(RequestHandles&&) = delete;
  ~RequestHandles() { Close(); }

  [[nodiscard]] HINTERNET session() {
    const std::lock_guard lock(mutex_);
    return session_;
  }
  [[nodiscard]] HINTERNET request() {
    const std::lock_guard lock(mutex_);
    return request_;
  }
  [[nodiscard]] bool stopped() {
    const std::lock_guard lock(mutex_);
    return stopped_;
  }
  // Takes the request handle InternetOpenUrl returned; closes it at once after a stop.
  void SetRequest(HINTERNET request) {
    const std::lock_guard lock(mutex_);
    if (stopped_) {
      ::InternetCloseHandle(request);
      return;
    }
    request_ = request;
  }
  void Stop() {
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    CloseLocked();
  }
  void Close() {
    const std::lock_guard lock(mutex_);
    CloseLocked();
  }

 private:
  void CloseLocked() {
    if (request_ != nullptr) ::InternetCloseHandle(std::exchange(request_, nullptr));
    if (session_ != nullptr) ::InternetCloseHandle(std::exchange(session_, nullptr));
  }

  std::mutex mutex_;
  HINTERNET session_;
  HINTERNET request_ = nullptr;
  bool stopped_ = false;
};

struct StopRequest {
  std::shared_ptr<RequestHandles> handles;
  void operator()() const { handles->Stop(); }
};
using StopCallback = std::stop_callback<StopRequest>;

// Runs the blocking WinINet calls of one request that may be stopped on a thread of its
// own, so that the caller leaves on a stop even where closing the handles does not end a
// blocked call at once (Wine's WinINet ends it only at its own time-out). A call carries all
// it uses (shared handles, its own buffer), so one abandoned by a stop ends harmlessly
// later, and the thread then ends too.
class CallThread {
 public:
  CallThread() : state_(std::make_shared<State>()) {
    std::thread([state = state_] { state->Loop(); }).detach();
  }
  CallThread(const CallThread&) = delete;
  CallThread& operator=(const CallThread&) = delete;
  CallThread(CallThread&&) = delete;
  CallThread& operator=(CallThread&&) = delete;
  ~CallThread() {
    const std::lock_guard lock(state_->mutex);
    state_->quit = true;
    state_->changed.notify_all();
  }

  // Runs call on the thread and waits for it; false when a stop came first (the call then
  // goes on alone, and no later call runs).
  bool Run(std::function<void()> call, std::stop_token stop) {
    std::unique_lock lock(state_->mutex);
    if (state_->busy) return false;  // an earlier call was abandoned
    state_->call = std::move(call);
    state_->busy = true;
    state_->changed.notify_all();
    return state_->changed.wait(lock, stop, [this] { return !state_->busy; });
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable_any changed;
    std::function<void()> call;
    bool busy = false;
    bool quit = false;

    void Loop() {
      std::unique_lock lock(mutex);
      for (;;) {
        changed.wait(lock, [this] { return call != nullptr || quit; });
        if (call == nullptr) return;
        const std::function<void()> now = std::move(call);
        call = nullptr;
        lock.unlock();
        now();
        lock.lock();
        busy = false;
        changed.notify_all();
      }
    }
  };
  std::shared_ptr<State> state_;
};

class Win32Request final : public InternetRequest {
 public:
  Win32Request(std::shared_ptr<RequestHandles> handles, std::unique_ptr<StopCallback> onStop,
               std::unique_ptr<CallThread> calls, std::stop_token stop)
      : handles_(std::move(handles)),
        onStop_(std::move(onStop)),
        calls_(std::move(calls)),
        stop_(std::move(stop)) {
    // As text: the numeric form of the query is 32-bit.
    if (const auto text = QueryText(handles_->request(), HTTP_QUERY_CONTENT_LENGTH)) {
      length_ = Number<std::uint64_t>(*text);
    }
  }
  Win32Request(const Win32Request&) = delete;
  Win32Request& operator=(const Win32Request&) = delete;
  Win32Request(Win32Request&&) = delete;
  Win32Request& operator=(Win32Request&&) = delete;
  ~Win32Request() override {
    onStop_.reset();  // waits for a stop that is being carried out on another thread
    handles_->Close();
  }

  std::optional<std::uint32_t> StatusCode() override {
    const HINTERNET handle = handles_->request();
    if (handle == nullptr) return std::nullopt;
    const auto text = QueryText(handle, HTTP_QUERY_STATUS_CODE);
    if (!text) return std::nullopt;
    return Number<std::uint32_t>(*text);
  }
  std::optional<std::uint64_t> ContentLength() override { return length_; }
  bool IsChunked() override {
    const HINTERNET handle = handles_->request();
    if (handle == nullptr) return false;
    const auto coding = QueryText(handle, HTTP_QUERY_CUSTOM, L"Transfer-Encoding");
    if (!coding) return false;
    std::string text = Narrow(*coding);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return text.find("chunked") != std::string::npos;
  }

  std::optional<std::size_t> Read(std::span<std::byte> buffer) override {
    std::uint64_t wanted =
        std::min<std::uint64_t>(buffer.size(), std::numeric_limits<DWORD>::max());
    // The body is the announced length; what a server sends beyond it is not part of it.
    if (length_) wanted = std::min(wanted, *length_ - std::min(*length_, received_));
    const auto size = static_cast<DWORD>(wanted);
    const HINTERNET handle = handles_->request();
    if (handle == nullptr) {
      error_ = win::kErrorInternetOperationCancelled;
      return std::nullopt;
    }
    if (size == 0 && !buffer.empty()) return 0;
    DWORD read = 0;
    bool ok = false;
    if (calls_) {
      // The thread reads into a block of its own: an abandoned read must not write into
      // the caller's buffer after the caller has left.
      struct Block {
        std::vector<std::byte> bytes;
        DWORD read = 0;
        bool ok = false;
        std::uint32_t error = 0;
      };
      auto block = std::make_shared<Block>();
      block->bytes.resize(size);
      const bool finished = calls_->Run(
          [block, handles = handles_, handle] {
            block->ok =
                ::InternetReadFile(handle, block->bytes.data(),
                                   static_cast<DWORD>(block->bytes.size()), &block->read) != FALSE;
            if (!block->ok) {
              block->error = win32::LastError();  // the thread's own last error
              block->read = 0;
            }
          },
          stop_);
      if (finished) {
        ok = block->ok;
        read = std::min<DWORD>(block->read, size);
        std::copy_n(block->bytes.begin(), read, buffer.begin());
        if (!ok) error_ = block->error;
      }
    } else {
      ok = ::InternetReadFile(handle, buffer.data(), size, &read) != FALSE;
      if (!ok) error_ = win32::LastError();
    }
    if (handles_->stopped() || stop_.stop_requested()) {
      // The handle was closed under the call: whatever it returned is not the body.
      error_ = win::kErrorInternetOperationCancelled;
      return std::nullopt;
    }
    if (!ok) return std::nullopt;
    received_ += read;
    // WinINet ends a body that the connection cut short like a complete one; the announced
    // length tells them apart.
    if (read == 0 && size > 0 && length_ && received_ < *length_) {
      error_ = win::kErrorInternetConnectionAborted;
      return std::nullopt;
    }
    return read;
  }
  std::uint32_t LastError() override { return error_; }

 private:
  std::shared_ptr<RequestHandles> handles_;
  std::unique_ptr<StopCallback> onStop_;  // null when the request cannot be stopped
  std::unique_ptr<CallThread> calls_;     // likewise
  std::stop_token stop_;
  std::optional<std::uint64_t> length_;
  std::uint64_t received_ = 0;
  std::uint32_t error_ = 0;
};

class Win32Session final : public InternetSession {
 public:
  Win32Session(HINTERNET handle, std::wstring agent) : handle_(handle), agent_(std::move(agent)) {}

  std::unique_ptr<InternetRequest> OpenUrl(std::string_view url, std::uint32_t flags,
                                           std::uint32_t* error, std::stop_token stop) override {
    const auto report = [error](std::uint32_t code) -> std::unique_ptr<InternetRequest> {
      if (error != nullptr) *error = code;
      return nullptr;
    };
    // WinINet would also open ftp:// and file:// URLs; only web downloads are meant.
    if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://")) {
      return report(win::kErrorInternetUnrecognizedScheme);
    }
    if (stop.stop_requested()) return report(win::kErrorInternetOperationCancelled);
    // A request that may be stopped gets a session of its own: closing that session is what
    // ends a connection attempt, and must not end the other requests of this one.
    std::shared_ptr<RequestHandles> handles;
    std::unique_ptr<StopCallback> onStop;
    if (stop.stop_possible()) {
      HINTERNET own =
          ::InternetOpenW(agent_.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
      if (own == nullptr) return report(win32::LastError());
      handles = std::make_shared<RequestHandles>(own);
      onStop = std::make_unique<StopCallback>(stop, StopRequest{handles});
    } else {
      handles = std::make_shared<RequestHandles>(nullptr);
    }
    const HINTERNET session = onStop ? handles->session() : handle_.get();
    if (session == nullptr) return report(win::kErrorInternetOperationCancelled);
    const std::wstring wide = Wide(url);
    if (!onStop) {
      HINTERNET request = ::InternetOpenUrlW(session, wide.c_str(), nullptr, 0, flags, kContext);
      if (request == nullptr) return report(win32::LastError());
      handles->SetRequest(request);
      if (error != nullptr) *error = 0;
      return std::make_unique<Win32Request>(std::move(handles), nullptr, nullptr, stop);
    }
    auto calls = std::make_unique<CallThread>();
    auto openError = std::make_shared<std::uint32_t>(0);
    const bool finished = calls->Run(
        [handles, session, wide, flags, openError] {
          HINTERNET request =
              ::InternetOpenUrlW(session, wide.c_str(), nullptr, 0, flags, kContext);
          if (request == nullptr) {
            *openError = win32::LastError();
          } else {
            handles->SetRequest(request);  // closed at once when stopped meanwhile
          }
        },
        stop);
    if (!finished || handles->stopped() || stop.stop_requested()) {
      return report(win::kErrorInternetOperationCancelled);
    }
    if (*openError != 0) return report(*openError);
    if (error != nullptr) *error = 0;
    return std::make_unique<Win32Request>(std::move(handles), std::move(onStop), std::move(calls),
                                          stop);
  }

 private:
  UniqueInternet handle_;
  std::wstring agent_;
};

}  // namespace

Win32Network::Win32Network() {
  WSADATA data;
  winsock_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Win32Network::~Win32Network() {
  if (winsock_) ::WSACleanup();
}

bool Win32Network::ConnectedState(std::uint32_t* flags) {
  DWORD state = 0;
  const bool connected = ::InternetGetConnectedState(&state, 0) != FALSE;
  if (flags != nullptr) *flags = state;
  return connected;
}

std::unique_ptr<InternetSession> Win32Network::OpenSession(std::string_view userAgent) {
  const std::wstring agent = Wide(userAgent);
  HINTERNET session =
      ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session == nullptr) return nullptr;
  return std::make_unique<Win32Session>(session, agent);
}

namespace {

// The IPv4 addresses of a hostent, as inet_ntoa writes them.
HostAddresses AddressesOf(const hostent* entry) {
  if (entry == nullptr) return {static_cast<std::uint32_t>(::WSAGetLastError()), {}};
  HostAddresses result;
  if (entry->h_addrtype != AF_INET || entry->h_length != 4) return result;
  for (char** address = entry->h_addr_list; *address != nullptr; ++address) {
    in_addr value;
    std::copy(*address, *address + 4, reinterpret_cast<char*>(&value));
    result.addresses.emplace_back(::inet_ntoa(value));
  }
  return result;
}

}  // namespace

HostAddresses Win32Network::ResolveHost(std::string_view name) {
  const std::string text(name);
  return AddressesOf(::gethostbyname(text.c_str()));
}

HostAddresses Win32Network::ResolveAddress(std::string_view address) {
  const std::string text(address);
  const unsigned long value = ::inet_addr(text.c_str());
  if (value == INADDR_NONE) return {WSAHOST_NOT_FOUND, {}};
  return AddressesOf(::gethostbyaddr(reinterpret_cast<const char*>(&value), 4, AF_INET));
}

}  // namespace corvane::win32
