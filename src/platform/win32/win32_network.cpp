#include "platform/win32/win32_network.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>

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

class Win32Request final : public InternetRequest {
 public:
  explicit Win32Request(HINTERNET handle) : handle_(handle) {
    // As text: the numeric form of the query is 32-bit.
    if (const auto text = QueryText(handle, HTTP_QUERY_CONTENT_LENGTH)) {
      length_ = Number<std::uint64_t>(*text);
    }
  }

  std::optional<std::uint32_t> StatusCode() override {
    const auto text = QueryText(handle_.get(), HTTP_QUERY_STATUS_CODE);
    if (!text) return std::nullopt;
    return Number<std::uint32_t>(*text);
  }
  std::optional<std::uint64_t> ContentLength() override { return length_; }
  bool IsChunked() override {
    const auto coding = QueryText(handle_.get(), HTTP_QUERY_CUSTOM, L"Transfer-Encoding");
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
    if (size == 0 && !buffer.empty()) return 0;
    DWORD read = 0;
    if (!::InternetReadFile(handle_.get(), buffer.data(), size, &read)) {
      error_ = LastError();
      return std::nullopt;
    }
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
  UniqueInternet handle_;
  std::optional<std::uint64_t> length_;
  std::uint64_t received_ = 0;
  std::uint32_t error_ = 0;
};

class Win32Session final : public InternetSession {
 public:
  explicit Win32Session(HINTERNET handle) : handle_(handle) {}

  std::unique_ptr<InternetRequest> OpenUrl(std::string_view url, std::uint32_t flags,
                                           std::uint32_t* error) override {
    // WinINet would also open ftp:// and file:// URLs; only web downloads are meant.
    if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://")) {
      if (error != nullptr) *error = win::kErrorInternetUnrecognizedScheme;
      return nullptr;
    }
    const std::wstring wide = Wide(url);
    HINTERNET request =
        ::InternetOpenUrlW(handle_.get(), wide.c_str(), nullptr, 0, flags, kContext);
    if (request == nullptr) {
      if (error != nullptr) *error = win32::LastError();
      return nullptr;
    }
    if (error != nullptr) *error = 0;
    return std::make_unique<Win32Request>(request);
  }

 private:
  UniqueInternet handle_;
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
  return std::make_unique<Win32Session>(session);
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
