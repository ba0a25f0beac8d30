#include "hosts/browser/browser_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <deque>
#include <random>
#include <sstream>
#include <utility>

#include "hosts/common/transcript.h"
#include "platform/resources.h"

namespace corvane::browser {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollWait = std::chrono::seconds(1);
// A reload also hides the page; only a page that stays away this long is closed.
constexpr auto kCloseGrace = std::chrono::seconds(2);

// What a connection may take, so that no one who lacks the secret can hold the server: the
// request line within kRequestLineTime of the connection (the path is checked then), the
// whole request within kRequestTime, a body of at most kMaxBody bytes. The page's requests
// are a line, a few headers and a few bytes, sent at once.
constexpr auto kRequestLineTime = std::chrono::seconds(2);
constexpr auto kRequestTime = std::chrono::seconds(5);
constexpr auto kWriteTime = std::chrono::seconds(5);
constexpr std::size_t kMaxBody = 4096;
constexpr std::size_t kMaxRequestLine = 2048;
// Refused connections closing gently (see CloseGently), at most; beyond, the oldest is closed.
constexpr std::size_t kMaxClosing = 64;
// Connections waiting for new ones to make room stay in the listening queue.
constexpr int kListenBacklog = 1024;
// Admitted connections (all are the page's: they passed the path check), served by kWorkers
// threads; those beyond wait for a worker. The page holds at most a command or an answer, the
// event poll and the browser's parallel loads at once.
constexpr int kWorkers = 16;
constexpr int kMaxAdmitted = 64;

// An accepted socket, closed when destroyed.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~Socket() { reset(); }
  [[nodiscard]] int fd() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60000));
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
  pollfd entry{fd, events, 0};
  while (true) {
    const int ready = ::poll(&entry, 1, MillisecondsUntil(deadline));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

// Sends a whole short answer without blocking past `deadline`; best effort.
void SendAll(int fd, std::string_view text, Clock::time_point deadline) {
  while (!text.empty() && WaitFor(fd, POLLOUT, deadline)) {
    const ssize_t sent = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent <= 0) {
      if (sent < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(sent));
  }
}

void Refuse(int fd, std::string_view status) {
  SendAll(fd,
          "HTTP/1.1 " + std::string(status) + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
          Clock::now() + std::chrono::milliseconds(200));
}

// Closes after the peer has had our answer: the write side first, then what the peer still
// sends is read and dropped for a moment, as closing with unread bytes would reset the
// connection and could lose the answer.
void CloseGently(Socket& socket) {
  ::shutdown(socket.fd(), SHUT_WR);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(500);
  std::array<char, 4096> scratch{};
  for (std::size_t dropped = 0;
       dropped < std::size_t{256} * 1024 && WaitFor(socket.fd(), POLLIN, deadline);) {
    const ssize_t got = ::recv(socket.fd(), scratch.data(), scratch.size(), MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) break;
    if (got > 0) dropped += static_cast<std::size_t>(got);
  }
  socket.reset();
}

// A connection as httplib reads and writes it: the bytes the gate already took first, then
// the socket, with every read bounded by the request's deadline and every write by its own.
class DeadlineStream final : public httplib::Stream {
 public:
  DeadlineStream(int fd, std::string taken, Clock::time_point readDeadline)
      : fd_(fd), buffer_(std::move(taken)), readDeadline_(readDeadline) {}

  [[nodiscard]] bool is_readable() const override {
    return offset_ < buffer_.size() || WaitFor(fd_, POLLIN, readDeadline_);
  }
  [[nodiscard]] bool is_writable() const override {
    return WaitFor(fd_, POLLOUT, Clock::now() + kWriteTime);
  }
  ssize_t read(char* ptr, size_t size) override {
    if (offset_ == buffer_.size()) {
      buffer_.resize(4096);
      offset_ = 0;
      ssize_t got = -1;
      do {
        if (!WaitFor(fd_, POLLIN, readDeadline_)) {
          buffer_.clear();
          return -1;
        }
        got = ::recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
      } while (got < 0 && (errno == EAGAIN || errno == EINTR));
      buffer_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
      if (got <= 0) return got;
    }
    const std::size_t count = std::min(size, buffer_.size() - offset_);
    std::copy_n(buffer_.data() + offset_, count, ptr);
    offset_ += count;
    return static_cast<ssize_t>(count);
  }
  ssize_t write(const char* ptr, size_t size) override {
    while (true) {
      if (!is_writable()) return -1;
      const ssize_t sent = ::send(fd_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent >= 0 || (errno != EAGAIN && errno != EINTR)) return sent;
    }
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  [[nodiscard]] socket_t socket() const override { return fd_; }

 private:
  int fd_;
  std::string buffer_;
  std::size_t offset_ = 0;
  Clock::time_point readDeadline_;
};

// httplib's routing and handlers, fed one request at a time by the gate below instead of
// its own accept loop, whose connections no one bounds.
class RoutingServer final : public httplib::Server {
 public:
  void serve(httplib::Stream& stream) {
    bool closed = false;
    (void)process_request(stream, /*close_connection=*/true, closed,
                          [](httplib::Request& /*request*/) {});
  }
};

std::string Upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         Upper(text.substr(text.size() - suffix.size())) == Upper(suffix);
}

// The number of the last call the page has applied, sent with each of its requests.
std::uint64_t AppliedOf(const httplib::Request& request) {
  const std::string text = request.get_param_value("applied");
  std::uint64_t applied = 0;
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), applied);
  return parsed.ec == std::errc() ? applied : 0;
}

}  // namespace

std::optional<ResourceRef> ResourceForPath(std::string_view path) {
  if (path.empty()) return ResourceRef{"23", "104"};
  const std::size_t slash = path.find('/');
  if (slash == std::string_view::npos || slash == 0 || slash + 1 == path.size()) return {};
  const std::string_view folder = path.substr(0, slash);
  const std::string_view file = path.substr(slash + 1);
  if (file.find('/') != std::string_view::npos) return {};
  const auto plain = [](std::string_view part) {
    return part != "." && part != ".." &&
           std::all_of(part.begin(), part.end(), [](unsigned char c) {
             return std::isalnum(c) != 0 || c == '.' || c == '_' || c == '-';
           });
  };
  if (!plain(folder) || !plain(file)) return {};
  return ResourceRef{Upper(folder), Upper(file)};
}

std::string_view ContentTypeFor(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kTypes{{
      {".gif", "image/gif"},
      {".jpg", "image/jpeg"},
      {".png", "image/png"},
      {".js", "application/javascript"},
      {".css", "text/css"},
      {".ico", "image/x-icon"},
      {".htm", "text/html; charset=utf-8"},
  }};
  for (const auto& [suffix, type] : kTypes) {
    if (EndsWithNoCase(name, suffix)) return type;
  }
  return "application/octet-stream";
}

std::string InjectShim(std::string_view page, std::string_view shimTag) {
  const std::string upper = Upper(page);
  std::size_t at = upper.find("<SCRIPT");
  if (at == std::string::npos) at = upper.find("</HEAD");
  if (at == std::string::npos) {
    // No head: after the byte-order mark, so it stays first.
    at = page.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  }
  std::string out(page.substr(0, at));
  out += shimTag;
  out += page.substr(at);
  return out;
}

std::string ScriptCallJson(std::string_view name, const std::vector<ScriptArg>& args) {
  std::string json = "{\"name\":" + hosts::JsonString(name) + ",\"args\":[";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i != 0) json += ',';
    if (const auto* number = std::get_if<std::int32_t>(&args[i])) {
      json += std::to_string(*number);
    } else {
      json += hosts::JsonString(std::get<std::string>(args[i]));
    }
  }
  return json + "]}";
}

std::string PromptJson(int id, const Prompt& prompt) {
  std::string json = "{\"id\":" + std::to_string(id) +
                     ",\"choice\":" + (prompt.choice ? "true" : "false") +
                     ",\"title\":" + hosts::JsonString(prompt.title) +
                     ",\"instruction\":" + hosts::JsonString(prompt.instruction) +
                     ",\"content\":" + hosts::JsonString(prompt.content) + ",\"links\":[";
  for (std::size_t i = 0; i < prompt.links.size(); ++i) {
    if (i != 0) json += ',';
    json += "{\"id\":" + std::to_string(prompt.links[i].id) +
            ",\"text\":" + hosts::JsonString(prompt.links[i].text) + "}";
  }
  return json + "]}";
}

std::optional<hosts::HostCommand> ExternalCommand(std::string_view name, std::string_view body) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!body.empty() && isSpace(body.front())) body.remove_prefix(1);
  while (!body.empty() && isSpace(body.back())) body.remove_suffix(1);
  if (body.empty()) body = "[]";
  if (body.front() != '[' || body.back() != ']') return {};
  std::string inner;
  for (const char c : body.substr(1, body.size() - 2)) {
    if (isSpace(c)) continue;
    if (std::isdigit(static_cast<unsigned char>(c)) == 0 && c != '-' && c != ',') return {};
    inner += c;
  }
  if (name == "onOpen") {
    if (!inner.empty()) return {};
    return hosts::ParseHostCommand("onOpen");
  }
  // The command names are the page's: the --do parser knows them and their arities. It
  // forgives blanks around a name; a request must name the command exactly.
  const bool word = !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) {
    return std::isalpha(c) != 0;
  });
  if (!word) return {};
  return hosts::ParseHostCommand(std::string(name) + "(" + inner + ")");
}

void CallQueue::push(std::string json) {
  const std::lock_guard lock(mutex_);
  calls_.emplace_back(++last_, std::move(json));
}

std::string CallQueue::takeAfter(std::uint64_t applied) {
  const std::lock_guard lock(mutex_);
  std::erase_if(calls_, [applied](const auto& call) { return call.first <= applied; });
  std::string json = "[";
  for (const auto& [seq, call] : calls_) {
    if (json.size() > 1) json += ',';
    // {"name":...} becomes {"seq":N,"name":...}
    json += "{\"seq\":" + std::to_string(seq) + "," + call.substr(1);
  }
  return json + "]";
}

bool CallQueue::hasAfter(std::uint64_t applied) const {
  const std::lock_guard lock(mutex_);
  return !calls_.empty() && calls_.back().first > applied;
}

std::string RandomToken() {
  std::random_device device;  // the system's CSPRNG (/dev/urandom, getrandom)
  std::string token;
  static constexpr std::string_view kHex = "0123456789abcdef";
  for (int i = 0; i < 4; ++i) {
    std::uint32_t bits = device();
    for (int j = 0; j < 8; ++j) {
      token += kHex[bits & 0xFU];
      bits >>= 4U;
    }
  }
  return token;
}

struct BrowserServer::Impl {
  struct PendingPrompt {
    int id = 0;
    std::string json;
    std::optional<int> answer;
  };

  struct Waiting {
    Socket socket;
    Clock::time_point since;
    std::string taken;  // the request so far
  };

  Hooks hooks;
  std::chrono::milliseconds heartbeat{};
  std::string prefix;  // "/<token>/"
  RoutingServer server;
  Socket listening;
  std::unique_ptr<httplib::ThreadPool> workers;
  std::atomic<int> serving{0};
  std::atomic<bool> arrived{false};  // the page's first request has come
  std::deque<Waiting> closing;       // refused, closing gently; the gate's own
  std::thread gate;
  std::thread watchdog;

  std::mutex mutex;
  std::condition_variable changed;
  CallQueue calls;
  std::optional<PendingPrompt> prompt;
  int nextPromptId = 1;
  bool commandRunning = false;
  bool commandDone = false;
  bool seen = false;
  int inFlight = 0;            // the page's requests being served
  Clock::time_point lastSeen;  // the start of the page's last request
  Clock::time_point lastDone;  // the end of the page's last request
  std::optional<Clock::time_point> closedAt;
  bool gone = false;

  [[nodiscard]] bool promptWaiting() const { return prompt && !prompt->answer; }

  // The answer to a command's request: done, or the prompt the command waits on.
  std::string commandState(std::unique_lock<std::mutex>& lock, std::uint64_t applied) {
    changed.wait(lock, [this] { return commandDone || promptWaiting() || gone || stopping; });
    if (!commandDone && promptWaiting()) {
      return R"({"done":false,"calls":)" + calls.takeAfter(applied) + R"(,"prompt":)" +
             prompt->json + "}";
    }
    commandRunning = false;
    return R"({"done":true,"calls":)" + calls.takeAfter(applied) + "}";
  }

  void watch() {
    std::unique_lock lock(mutex);
    while (!stopping) {
      changed.wait_for(lock, std::chrono::milliseconds(250));
      if (stopping || gone) continue;
      const Clock::time_point now = Clock::now();
      const bool hidden = closedAt && lastSeen <= *closedAt && now - *closedAt > kCloseGrace;
      // The page polls whatever it shows, a prompt included, and a command's request is in
      // flight until the command ends or asks: a page that sends nothing for the heartbeat
      // is gone (a crashed browser sends no closing beacon).
      const bool silent = seen && inFlight == 0 && now - lastDone > heartbeat;
      if (hidden || silent) {
        gone = true;
        changed.notify_all();
        lock.unlock();
        if (hooks.closed) hooks.closed();
        lock.lock();
      }
    }
  }

  // One request of the page, on a worker.
  void serveRequest(Socket socket, std::string taken, Clock::time_point since) {
    {
      const std::lock_guard lock(mutex);
      seen = true;
      ++inFlight;
      lastSeen = Clock::now();
    }
    DeadlineStream stream(socket.fd(), std::move(taken), since + kRequestTime);
    server.serve(stream);
    CloseGently(socket);
    {
      const std::lock_guard lock(mutex);
      --inFlight;
      lastDone = Clock::now();
    }
    --serving;
  }

  // Answers `status`, then lets the connection close gently on the gate.
  void refuse(Waiting connection, std::string_view status) {
    Refuse(connection.socket.fd(), status);
    ::shutdown(connection.socket.fd(), SHUT_WR);
    if (closing.size() >= kMaxClosing) closing.pop_front();
    connection.since = Clock::now();
    closing.push_back(std::move(connection));
  }

  // A waiting connection's request line is complete: the page's go to a worker, the rest are
  // refused before anything more of them is read.
  void admit(Waiting waiting, std::size_t lineEnd) {
    const std::string_view path = RequestPath(std::string_view(waiting.taken).substr(0, lineEnd));
    if (path.compare(0, prefix.size(), prefix) != 0) {
      refuse(std::move(waiting), "403 Forbidden");
      return;
    }
    // Only the page gets here: more than it ever holds at once means something is wrong.
    if (serving >= kMaxAdmitted) {
      refuse(std::move(waiting), "503 Service Unavailable");
      return;
    }
    if (!arrived.exchange(true) && hooks.arrived) hooks.arrived();
    ++serving;
    auto job = std::make_shared<Waiting>(std::move(waiting));
    workers->enqueue(
        [this, job] { serveRequest(std::move(job->socket), std::move(job->taken), job->since); });
  }

  // Reads what has come on a waiting connection, up to its request line; false when the peer
  // has gone or failed.
  static bool pull(Waiting& w) {
    std::array<char, 512> bytes{};
    while (w.taken.find("\r\n") == std::string::npos && w.taken.size() <= kMaxRequestLine) {
      const ssize_t got = ::recv(w.socket.fd(), bytes.data(), bytes.size(), MSG_DONTWAIT);
      if (got > 0) {
        w.taken.append(bytes.data(), static_cast<std::size_t>(got));
      } else if (got < 0 && errno == EINTR) {
        continue;
      } else {
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
      }
    }
    return true;
  }

  // A connection whose line is complete, too long or late leaves for a worker or a refusal;
  // true when it still waits.
  bool settle(Waiting& w, Clock::time_point now) {
    if (const std::size_t end = w.taken.find("\r\n"); end != std::string::npos) {
      admit(std::move(w), end);
    } else if (w.taken.size() > kMaxRequestLine) {
      refuse(std::move(w), "414 URI Too Long");
    } else if (now - w.since > kRequestLineTime) {
      refuse(std::move(w), "408 Request Timeout");
    } else {
      return true;
    }
    return false;
  }

  // Whether a new connection could wait: there is room, or the oldest has had its grace.
  static bool roomFor(const std::deque<Waiting>& waiting, Clock::time_point now) {
    return waiting.size() < kMaxWaitingConnections || now - waiting.front().since >= kLineGrace;
  }

  // Makes room for one more waiting connection (roomFor holds): the oldest goes, served if its
  // line has come meanwhile, else closed unanswered, as it sent no line in its grace.
  void makeRoom(std::deque<Waiting>& waiting, Clock::time_point now) {
    if (waiting.size() < kMaxWaitingConnections) return;
    Waiting& oldest = waiting.front();
    if (pull(oldest) && oldest.taken.find("\r\n") != std::string::npos) (void)settle(oldest, now);
    waiting.pop_front();
  }

  // Accepts connections and reads their request lines, all on this one thread. The waiting
  // ones are bounded, and one is dropped only after its grace and after reading what it sent,
  // so however many connections others open and leave idle, the page's line is read and its
  // request served.
  void runGate() {
    std::deque<Waiting> waiting;
    std::vector<pollfd> polled;
    while (!stopping.load()) {
      if (hooks.gateTurn) hooks.gateTurn();
      Clock::time_point now = Clock::now();
      // While no waiting connection can make room, new ones stay queued and are not polled.
      const bool room = roomFor(waiting, now);
      const int timeout =
          room ? 100 : std::min(100, MillisecondsUntil(waiting.front().since + kLineGrace) + 1);
      polled.assign(1, pollfd{listening.fd(), static_cast<short>(room ? POLLIN : 0), 0});
      for (const Waiting& w : waiting) polled.push_back(pollfd{w.socket.fd(), POLLIN, 0});
      for (const Waiting& c : closing) polled.push_back(pollfd{c.socket.fd(), POLLIN, 0});
      if (::poll(polled.data(), polled.size(), timeout) < 0 && errno != EINTR) break;
      now = Clock::now();
      // Refused connections: what they still send is dropped until they close or their
      // moment is over (see CloseGently).
      std::deque<Waiting> closingStill;
      for (std::size_t i = 0; i < closing.size(); ++i) {
        Waiting& c = closing[i];
        if ((polled[1 + waiting.size() + i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
          std::array<char, 4096> scratch{};
          const ssize_t got = ::recv(c.socket.fd(), scratch.data(), scratch.size(), MSG_DONTWAIT);
          if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) continue;
        }
        if (now - c.since < std::chrono::milliseconds(500)) closingStill.push_back(std::move(c));
      }
      closing = std::move(closingStill);
      std::deque<Waiting> still;
      for (std::size_t i = 0; i < waiting.size(); ++i) {
        Waiting& w = waiting[i];
        const bool ready = (polled[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
        if (ready && !pull(w)) continue;  // gone
        if (settle(w, now)) still.push_back(std::move(w));
      }
      waiting = std::move(still);
      while (roomFor(waiting, now)) {
        const int fd = ::accept4(listening.fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) break;
        // The page sends its line with the connection: it is read at once, and a connection
        // that leaves for a worker or a refusal never counts against the limit.
        Waiting w{Socket(fd), Clock::now(), {}};
        if (!pull(w) || !settle(w, now)) continue;
        makeRoom(waiting, now);
        waiting.push_back(std::move(w));
      }
    }
  }

  // stopping is read by the gate without the mutex.
  std::atomic<bool> stopping{false};
};

BrowserServer::BrowserServer(Hooks hooks, std::chrono::milliseconds heartbeat, std::string token)
    : impl_(std::make_unique<Impl>()), token_(std::move(token)) {
  impl_->hooks = std::move(hooks);
  impl_->heartbeat = heartbeat;
}

BrowserServer::~BrowserServer() {
  {
    const std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->changed.notify_all();
  if (impl_->gate.joinable()) impl_->gate.join();
  // Joins the workers; every wait of theirs ends on `stopping`.
  if (impl_->workers) impl_->workers->shutdown();
  if (impl_->watchdog.joinable()) impl_->watchdog.join();
}

std::string BrowserServer::url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + token_ + "/";
}

void BrowserServer::queueCall(std::string_view name, const std::vector<ScriptArg>& args) {
  impl_->calls.push(ScriptCallJson(name, args));
  const std::lock_guard lock(impl_->mutex);
  impl_->changed.notify_all();
}

int BrowserServer::ask(const Prompt& prompt) {
  const int unanswered = prompt.choice ? kIdNo : kIdOk;
  Impl& impl = *impl_;
  std::unique_lock lock(impl.mutex);
  // One prompt at a time, whichever thread asks.
  impl.changed.wait(lock, [&impl] { return !impl.prompt || impl.gone || impl.stopping; });
  if (impl.gone || impl.stopping) return unanswered;
  const int id = impl.nextPromptId++;
  impl.prompt = Impl::PendingPrompt{id, PromptJson(id, prompt), std::nullopt};
  impl.changed.notify_all();
  impl.changed.wait(lock, [&impl] { return impl.prompt->answer || impl.gone || impl.stopping; });
  const int answer = impl.prompt->answer.value_or(unanswered);
  impl.prompt.reset();
  impl.changed.notify_all();
  return answer;
}

bool BrowserServer::start() {
  Impl& impl = *impl_;
  impl.prefix = "/" + token_ + "/";
  const std::string& prefix = impl.prefix;
  // The gate has checked the request line's path; httplib's decoded path is checked again,
  // before any body is read, and bodies are small.
  impl.server.set_pre_routing_handler(
      [prefix](const httplib::Request& request, httplib::Response& response) {
        if (request.path.compare(0, prefix.size(), prefix) != 0) {
          response.status = 403;
          return httplib::Server::HandlerResponse::Handled;
        }
        // An announced body beyond the cap is refused without reading it.
        if (request.get_header_value<std::uint64_t>("Content-Length") > kMaxBody) {
          response.status = 413;
          return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
      });
  impl.server.set_payload_max_length(kMaxBody);
  // The rest of the path after the secret.
  const auto route = [prefix](const httplib::Request& request,
                              httplib::Response& /*response*/) -> std::optional<std::string> {
    return request.path.substr(prefix.size());
  };
  const auto json = [](httplib::Response& response, const std::string& body) {
    response.set_header("Cache-Control", "no-store");
    response.set_content(body, "application/json; charset=utf-8");
  };

  impl.server.Get(".*", [this, route, json, &impl](const httplib::Request& request,
                                                   httplib::Response& response) {
    const std::optional<std::string> rest = route(request, response);
    if (!rest) return;
    if (*rest == "events") {
      const std::uint64_t applied = AppliedOf(request);
      std::unique_lock lock(impl.mutex);
      impl.changed.wait_for(lock, kPollWait, [&impl, applied] {
        return impl.calls.hasAfter(applied) || impl.promptWaiting() || impl.stopping;
      });
      const std::string prompt = impl.promptWaiting() ? impl.prompt->json : "null";
      json(response, "{\"calls\":" + impl.calls.takeAfter(applied) + ",\"prompt\":" + prompt + "}");
      return;
    }
    const std::optional<ResourceRef> ref = ResourceForPath(*rest);
    if (!ref) {
      response.status = 404;
      return;
    }
    const bool page = ref->type == "23";
    const std::vector<std::uint8_t> bytes =
        page ? LoadResourceBytes(104, 23) : LoadResourceBytes(ref->name.c_str(), ref->type.c_str());
    if (bytes.empty()) {
      response.status = 404;
      return;
    }
    std::string body(bytes.begin(), bytes.end());
    if (page) {
      body = InjectShim(body,
                        "<script type=\"text/javascript\">" + ShimScript(token_) + "</script>\n");
    }
    response.set_header("Cache-Control", "no-store");
    response.set_content(
        body, std::string(page ? "text/html; charset=utf-8" : ContentTypeFor(ref->name)));
  });

  impl.server.Post(
      ".*", [route, json, &impl](const httplib::Request& request, httplib::Response& response) {
        const std::optional<std::string> rest = route(request, response);
        if (!rest) return;
        const std::string_view path = *rest;
        if (path == "closed") {
          const std::lock_guard lock(impl.mutex);
          impl.closedAt = Clock::now();
          return;
        }
        if (path.substr(0, 9) == "external/") {
          const std::optional<hosts::HostCommand> command =
              ExternalCommand(path.substr(9), request.body);
          if (!command) {
            response.status = 400;
            return;
          }
          std::unique_lock lock(impl.mutex);
          if (impl.commandRunning || impl.gone) {
            response.status = 409;  // the page is synchronous: one command at a time
            return;
          }
          impl.commandRunning = true;
          impl.commandDone = false;
          lock.unlock();
          impl.hooks.post([&impl, command = *command] {
            impl.hooks.run(command);
            const std::lock_guard done(impl.mutex);
            impl.commandDone = true;
            impl.changed.notify_all();
          });
          lock.lock();
          json(response, impl.commandState(lock, AppliedOf(request)));
          return;
        }
        if (path.substr(0, 7) == "answer/") {
          int id = 0;
          int answer = 0;
          const std::string_view idText = path.substr(7);
          const std::string& body = request.body;
          if (std::from_chars(idText.data(), idText.data() + idText.size(), id).ec != std::errc() ||
              std::from_chars(body.data(), body.data() + body.size(), answer).ec != std::errc()) {
            response.status = 400;
            return;
          }
          std::unique_lock lock(impl.mutex);
          // A stale or repeated answer is ignored.
          if (impl.prompt && impl.prompt->id == id && !impl.prompt->answer) {
            impl.prompt->answer = answer;
            impl.changed.notify_all();
            // Let the asking thread take it before looking at the command again.
            impl.changed.wait(lock, [&impl, id] {
              return !impl.prompt || impl.prompt->id != id || impl.stopping;
            });
          }
          const std::uint64_t applied = AppliedOf(request);
          if (impl.commandRunning) {
            json(response, impl.commandState(lock, applied));
          } else {
            json(response, R"({"done":true,"calls":)" + impl.calls.takeAfter(applied) + "}");
          }
          return;
        }
        response.status = 404;
      });

  impl.listening = Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (impl.listening.fd() < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;  // a free port
  socklen_t length = sizeof address;
  if (::bind(impl.listening.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(impl.listening.fd(), kListenBacklog) != 0 ||
      ::getsockname(impl.listening.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return false;
  }
  port_ = ntohs(address.sin_port);
  // The dialog can block the workers: a command waits for the dialog thread, an answer for
  // the next prompt, and the shim long-polls for events; each for a short while or one at a time.
  impl.workers = std::make_unique<httplib::ThreadPool>(kWorkers);
  impl.gate = std::thread([&impl] { impl.runGate(); });
  impl.watchdog = std::thread([&impl] { impl.watch(); });
  return true;
}

std::string_view RequestPath(std::string_view line) {
  const std::size_t first = line.find(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t second = line.find(' ', first + 1);
  if (second == std::string_view::npos) return {};
  return line.substr(first + 1, second - first - 1);
}

}  // namespace corvane::browser
