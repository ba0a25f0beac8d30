#pragma once

// The network as WinINet and Winsock show it to the system: the connection state, name
// resolution and URL downloads through an Internet session. Windows: WinINet and
// gethostbyname. The emulated PC: libcurl and the resolver of the host, steered by the
// machine's network settings (network.ini), with TLS verification always on.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

namespace win {
// InternetOpenUrl flags.
inline constexpr std::uint32_t kInternetFlagReload = 0x80000000;
inline constexpr std::uint32_t kInternetFlagNoCacheWrite = 0x04000000;
inline constexpr std::uint32_t kInternetFlagSecure = 0x00800000;
inline constexpr std::uint32_t kInternetFlagTransferAscii = 0x00000001;

// InternetGetConnectedState flags.
inline constexpr std::uint32_t kInternetConnectionModem = 0x01;
inline constexpr std::uint32_t kInternetConnectionLan = 0x02;
inline constexpr std::uint32_t kInternetConnectionProxy = 0x04;
inline constexpr std::uint32_t kInternetConnectionOffline = 0x20;
inline constexpr std::uint32_t kInternetConnectionConfigured = 0x40;

// WinINet errors the system and its tests tell apart.
inline constexpr std::uint32_t kErrorInternetTimeout = 12002;
inline constexpr std::uint32_t kErrorInternetInternalError = 12004;
inline constexpr std::uint32_t kErrorInternetInvalidUrl = 12005;
inline constexpr std::uint32_t kErrorInternetUnrecognizedScheme = 12006;
inline constexpr std::uint32_t kErrorInternetNameNotResolved = 12007;
inline constexpr std::uint32_t kErrorInternetOperationCancelled = 12017;
inline constexpr std::uint32_t kErrorInternetCannotConnect = 12029;
inline constexpr std::uint32_t kErrorInternetConnectionAborted = 12030;
inline constexpr std::uint32_t kErrorInternetConnectionReset = 12031;
inline constexpr std::uint32_t kErrorInternetSecFailure = 12175;
inline constexpr std::uint32_t kErrorInternetInvalidCa = 12045;
inline constexpr std::uint32_t kErrorInternetSecCertCnInvalid = 12038;
inline constexpr std::uint32_t kErrorInternetSecCertDateInvalid = 12037;
inline constexpr std::uint32_t kErrorInternetHttpsToHttpOnRedir = 12040;
inline constexpr std::uint32_t kErrorHttpRedirectFailed = 12156;
inline constexpr std::uint32_t kErrorHttpInvalidServerResponse = 12152;
}  // namespace win

// The handle InternetOpenUrl returns for one request: the response's status and headers
// are there when it is opened; the body is read from it. Closed when destroyed.
class InternetRequest {
 public:
  InternetRequest() = default;
  InternetRequest(const InternetRequest&) = delete;
  InternetRequest& operator=(const InternetRequest&) = delete;
  InternetRequest(InternetRequest&&) = delete;
  InternetRequest& operator=(InternetRequest&&) = delete;
  virtual ~InternetRequest() = default;

  // HTTP_QUERY_STATUS_CODE of the final response (after redirects); nothing when the query
  // fails.
  virtual std::optional<std::uint32_t> StatusCode() = 0;
  // HTTP_QUERY_CONTENT_LENGTH as a number; nothing when the header is absent or not a
  // number. 64-bit: a length that does not fit 32 bits is reported as it is.
  virtual std::optional<std::uint64_t> ContentLength() = 0;
  // Whether the body comes with chunked transfer coding (Transfer-Encoding: chunked), so
  // that a read of 0 bytes proves the whole body arrived.
  virtual bool IsChunked() = 0;

  // InternetReadFile: the number of bytes placed at the start of buffer, 0 at the end of
  // the body; nothing on an internet error (a reset, a time-out, a chunked body cut short),
  // with LastError() telling which. Once the stop token given to OpenUrl is requested, a
  // read (also one already waiting for data) fails within about a second with
  // kErrorInternetOperationCancelled, and so does every later one.
  virtual std::optional<std::size_t> Read(std::span<std::byte> buffer) = 0;
  // The WinINet error of the last failed call on this request.
  virtual std::uint32_t LastError() = 0;
};

// An InternetOpen session; closed when destroyed. Used by one thread at a time.
class InternetSession {
 public:
  InternetSession() = default;
  InternetSession(const InternetSession&) = delete;
  InternetSession& operator=(const InternetSession&) = delete;
  InternetSession(InternetSession&&) = delete;
  InternetSession& operator=(InternetSession&&) = delete;
  virtual ~InternetSession() = default;

  // InternetOpenUrl with no extra headers and the given flags: one GET, redirects followed
  // as WinINet follows them (never from https to http), returning when the final
  // response's headers have arrived. Only http and https URLs; anything else fails like an
  // unreachable host. Null on failure, with *error (when given) set to the WinINet error.
  // A stop requested on `stop` (before the call, while it connects or waits for the
  // answer, or later while the request's body is read) ends the request within about a
  // second with kErrorInternetOperationCancelled; a default token never stops. A session
  // whose request was stopped may refuse further requests the same way.
  virtual std::unique_ptr<InternetRequest> OpenUrl(std::string_view url, std::uint32_t flags,
                                                   std::uint32_t* error, std::stop_token stop) = 0;
};

// Winsock's answer when no entry exists for a name or address.
inline constexpr std::uint32_t kWsaHostNotFound = 11001;

// What gethostbyname answers for a name.
struct HostAddresses {
  std::uint32_t error = 0;             // 0, or the Winsock error (WSAHOST_NOT_FOUND ...)
  std::vector<std::string> addresses;  // IPv4 addresses in dotted form, in order
};

class Network {
 public:
  Network() = default;
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;
  Network(Network&&) = delete;
  Network& operator=(Network&&) = delete;
  virtual ~Network() = default;

  // InternetGetConnectedState: whether the PC has a connection; *flags (when given)
  // receives the INTERNET_CONNECTION_* bits.
  virtual bool ConnectedState(std::uint32_t* flags) = 0;

  // InternetOpen with INTERNET_OPEN_TYPE_PRECONFIG (the system's proxy settings), no proxy
  // name or bypass list, synchronous. Null when no session can be opened.
  virtual std::unique_ptr<InternetSession> OpenSession(std::string_view userAgent) = 0;

  // gethostbyname(name), IPv4 only.
  virtual HostAddresses ResolveHost(std::string_view name) = 0;

  // gethostbyaddr of a dotted IPv4 address (AF_INET, 4 bytes), a reverse lookup: the
  // entry's address list when a name is found for it. A backend without reverse lookups
  // finds nothing (WSAHOST_NOT_FOUND).
  virtual HostAddresses ResolveAddress(std::string_view /*address*/) {
    return {kWsaHostNotFound, {}};
  }
};

}  // namespace corvane
