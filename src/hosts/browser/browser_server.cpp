#include "hosts/browser/browser_server.h"

#include <httplib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
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

  Hooks hooks;
  std::chrono::milliseconds heartbeat{};
  httplib::Server server;
  std::thread listener;
  std::thread watchdog;

  std::mutex mutex;
  std::condition_variable changed;
  CallQueue calls;
  std::optional<PendingPrompt> prompt;
  int nextPromptId = 1;
  bool commandRunning = false;
  bool commandDone = false;
  bool seen = false;
  Clock::time_point lastSeen;
  std::optional<Clock::time_point> closedAt;
  bool gone = false;
  bool stopping = false;

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
      // A command or a prompt in the browser's own dialog stops the shim's polling.
      const bool silent = seen && !commandRunning && !prompt && now - lastSeen > heartbeat;
      if (hidden || silent) {
        gone = true;
        changed.notify_all();
        lock.unlock();
        if (hooks.closed) hooks.closed();
        lock.lock();
      }
    }
  }
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
  impl_->server.stop();
  if (impl_->listener.joinable()) impl_->listener.join();
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
  const std::string prefix = "/" + token_ + "/";
  // Every request must carry the secret; the rest of the path after it.
  const auto route = [prefix, &impl](const httplib::Request& request,
                                     httplib::Response& response) -> std::optional<std::string> {
    if (request.path.compare(0, prefix.size(), prefix) != 0) {
      response.status = 403;
      return {};
    }
    {
      const std::lock_guard lock(impl.mutex);
      impl.seen = true;
      impl.lastSeen = Clock::now();
    }
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

  // The dialog can block the workers: a command waits for the dialog thread, an answer for
  // the next prompt, and the shim long-polls for events. Enough workers for all at once.
  // httplib owns and deletes the queue it is given.
  impl.server.new_task_queue = [] {
    return new httplib::ThreadPool(8);  // NOLINT(cppcoreguidelines-owning-memory)
  };
  port_ = impl.server.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) return false;
  impl.listener = std::thread([&impl] { impl.server.listen_after_bind(); });
  impl.watchdog = std::thread([&impl] { impl.watch(); });
  return true;
}

}  // namespace corvane::browser
