#pragma once

// The browser host: the page served to a web browser from 127.0.0.1. Every URL carries a
// random secret, so other local programs and other pages cannot drive the dialog. A shim
// injected into the page gives it the window.external of the Internet Explorer host: each
// call posts synchronously and is answered once the dialog has run it, or early with the
// prompt the command waits on, which the shim shows over the page. The dialog's
// setState/clearState calls are numbered and kept until the page has applied them.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "app/page_host.h"
#include "hosts/common/options.h"
#include "ui/prompts.h"

namespace corvane::browser {

// Where a path under the secret goes: "" is the page (HTML resource 104), "images/sps.gif"
// the resource SPS.GIF of type IMAGES, as the res: protocol names them. Nothing for any
// other shape (deeper folders, "..", empty parts).
struct ResourceRef {
  std::string type;  // "23" for the page
  std::string name;
  bool operator==(const ResourceRef&) const = default;
};
std::optional<ResourceRef> ResourceForPath(std::string_view path);

// The path of a request line "METHOD SP PATH SP VERSION" (without its CR LF); empty when the
// line has no such shape. The server admits a connection only when this path starts with
// "/<token>/", before it reads anything past the line.
std::string_view RequestPath(std::string_view line);
std::string_view ContentTypeFor(std::string_view name);

// The page with the shim's <script> before the page's first script (or at the end of the
// head), so window.external exists before any of the page's code runs.
std::string InjectShim(std::string_view page, std::string_view shimTag);
// The shim for a page served under "/<token>/".
std::string ShimScript(std::string_view token);

// The host's own call into the page, which the shim answers rather than the page: opens
// its one argument, the bank's site, in a new tab of the browser that shows the page.
inline constexpr std::string_view kOpenSiteCall = "corvane:openSite";

// One queued call into the page as JSON: {"name":"setState","args":[0,2,1002]}.
std::string ScriptCallJson(std::string_view name, const std::vector<ScriptArg>& args);
// A prompt as the shim shows it: {"id":3,"choice":true,"title":...,"links":[...]}.
std::string PromptJson(int id, const Prompt& prompt);
// The command of POST /<token>/external/<name> with the JSON array `body` of integers;
// nothing when the name or the arguments are not one of the page's commands.
std::optional<hosts::HostCommand> ExternalCommand(std::string_view name, std::string_view body);

// The dialog's calls into the page, numbered from 1 in order. Several requests of the page
// carry them (the event poll and a command's answer), and the page may apply their answers
// in any order; so each call keeps its number, the page applies only numbers above the last
// one it applied, and a call is forgotten once the page says it has applied it.
class CallQueue {
 public:
  void push(std::string json);
  // The calls numbered above `applied`, oldest first, as a JSON array with each call's
  // "seq"; those up to `applied` are forgotten.
  std::string takeAfter(std::uint64_t applied);
  [[nodiscard]] bool hasAfter(std::uint64_t applied) const;

 private:
  mutable std::mutex mutex_;
  std::uint64_t last_ = 0;
  std::vector<std::pair<std::uint64_t, std::string>> calls_;
};

// Connections that have not sent their request line yet, at most. Beyond, a new one takes the
// place of the oldest that has had kLineGrace for its line, and waits in the listening queue
// while none has; what a connection has sent is read before it can be dropped.
inline constexpr std::size_t kMaxWaitingConnections = 256;
inline constexpr std::chrono::milliseconds kLineGrace{500};

// A random secret of 32 hex digits from the system's CSPRNG.
std::string RandomToken();

class BrowserServer {
 public:
  struct Hooks {
    // Runs `task` on the dialog thread (the EventLoop's post()).
    std::function<void(std::function<void()>)> post;
    // On the dialog thread: runs a command the page sent.
    std::function<void(const hosts::HostCommand&)> run;
    // Any thread: the page is gone, end the dialog.
    std::function<void()> closed;
    // Any thread, once: the first request with the secret has come (the browser has the URL).
    std::function<void()> arrived;
    // Tests: runs on the connection gate at the start of each of its turns, before it looks for
    // new connections, so a test can let connections pile up in the listening queue.
    std::function<void()> gateTurn;
  };

  explicit BrowserServer(Hooks hooks,
                         std::chrono::milliseconds heartbeat = std::chrono::seconds(10),
                         std::string token = RandomToken());
  BrowserServer(const BrowserServer&) = delete;
  BrowserServer& operator=(const BrowserServer&) = delete;
  BrowserServer(BrowserServer&&) = delete;
  BrowserServer& operator=(BrowserServer&&) = delete;
  ~BrowserServer();

  // Listens on 127.0.0.1 on a free port; false when it cannot.
  bool start();
  [[nodiscard]] int port() const { return port_; }
  [[nodiscard]] const std::string& token() const { return token_; }
  [[nodiscard]] std::string url() const;

  // The dialog's call into the page (PageHost::callScript). Any thread.
  void queueCall(std::string_view name, const std::vector<ScriptArg>& args);
  // Shows `prompt` over the page and blocks until it is answered (PromptHost::show). No
  // page to answer (closed): a choice is refused, a message acknowledged.
  int ask(const Prompt& prompt);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string token_;
  int port_ = 0;
};

}  // namespace corvane::browser
