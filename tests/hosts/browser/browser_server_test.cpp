#include "hosts/browser/browser_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "../../platform/emulated/scratch_machine.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/platform.h"

namespace corvane::browser {
namespace {

using hosts::HostCommand;

TEST(ResourceForPathTest, MapsPathsAsTheResProtocolNamesResources) {
  struct Case {
    std::string_view path;
    std::optional<ResourceRef> expected;
  };
  const Case cases[] = {
      {"", ResourceRef{"23", "104"}},
      {"images/sps.gif", ResourceRef{"IMAGES", "SPS.GIF"}},
      {"js/jquery.min.js", ResourceRef{"JS", "JQUERY.MIN.JS"}},
      {"Images/Tabs.PNG", ResourceRef{"IMAGES", "TABS.PNG"}},
      // Nothing outside the flat TYPE/NAME shape reaches the resources.
      {"images/../104", std::nullopt},
      {"../images/sps.gif", std::nullopt},
      {"images/sub/sps.gif", std::nullopt},
      {"images/", std::nullopt},
      {"/sps.gif", std::nullopt},
      {"sps.gif", std::nullopt},
      {"images/a b.gif", std::nullopt},
      {"images/%2e%2e", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResourceForPath(c.path), c.expected) << c.path;
  }
}

TEST(InjectShimTest, PutsTheShimBeforeThePagesOwnScripts) {
  struct Case {
    std::string_view page;
    std::string_view expected;
  };
  const Case cases[] = {
      {"<html><head><SCRIPT src=a.js></SCRIPT><script>b()</script></head>",
       "<html><head>[shim]<SCRIPT src=a.js></SCRIPT><script>b()</script></head>"},
      {"<html><head><title></title></head><body></body>",
       "<html><head><title></title>[shim]</head><body></body>"},
      {"\xEF\xBB\xBF<p>no head</p>", "\xEF\xBB\xBF[shim]<p>no head</p>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InjectShim(c.page, "[shim]"), c.expected) << c.page;
  }
}

TEST(ExternalCommandTest, AcceptsThePagesCommandsOnly) {
  struct Case {
    std::string_view name;
    std::string_view body;
    std::optional<HostCommand> expected;
  };
  const Case cases[] = {
      {"fix", "[0]", HostCommand{HostCommand::Kind::kFix, {0}}},
      {"install", " [ 3 ] ", HostCommand{HostCommand::Kind::kInstall, {3}}},
      {"installmulti", "[2, 4]", HostCommand{HostCommand::Kind::kInstallmulti, {2, 4}}},
      {"installandfix", "[]", HostCommand{HostCommand::Kind::kInstallandfix, {}}},
      {"onOpen", "", HostCommand{HostCommand::Kind::kOpen, {}}},
      {"check", "[-1]", HostCommand{HostCommand::Kind::kCheck, {-1}}},
      {"fix", "[\"0\"]", std::nullopt},
      {"fix", "0", std::nullopt},
      {"fix", "[0", std::nullopt},
      {"fix", "[0);stop(1]", std::nullopt},
      {"onOpen", "[1]", std::nullopt},
      {"navigate", "[1]", std::nullopt},
      {"\tfix", "[1]", std::nullopt},
      {"fix ", "[1]", std::nullopt},
      {"", "[1]", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExternalCommand(c.name, c.body), c.expected) << c.name << ' ' << c.body;
  }
}

TEST(ScriptCallJsonTest, WritesNumbersAndEscapedTexts) {
  EXPECT_EQ(ScriptCallJson("setState", {0, 2, 1999}), R"({"name":"setState","args":[0,2,1999]})");
  EXPECT_EQ(ScriptCallJson("setState", {800, 2, std::string("a\"b\\c\n")}),
            R"({"name":"setState","args":[800,2,"a\"b\\c\n"]})");
  EXPECT_EQ(ScriptCallJson("clearState", {}), R"({"name":"clearState","args":[]})");
}

TEST(CallQueueTest, NumbersCallsAndKeepsThemUntilThePageHasAppliedThem) {
  CallQueue queue;
  EXPECT_EQ(queue.takeAfter(0), "[]");
  EXPECT_FALSE(queue.hasAfter(0));
  queue.push(R"({"name":"a"})");
  queue.push(R"({"name":"b"})");
  queue.push(R"({"name":"c"})");
  EXPECT_EQ(queue.takeAfter(0),
            R"([{"seq":1,"name":"a"},{"seq":2,"name":"b"},{"seq":3,"name":"c"}])");
  // Not applied yet: handed out again, as another request may be answered first.
  EXPECT_EQ(queue.takeAfter(1), R"([{"seq":2,"name":"b"},{"seq":3,"name":"c"}])");
  EXPECT_TRUE(queue.hasAfter(2));
  EXPECT_FALSE(queue.hasAfter(3));
  EXPECT_EQ(queue.takeAfter(3), "[]");
  // Applied calls are gone, even for a page that starts again from nothing (a reload).
  queue.push(R"({"name":"d"})");
  EXPECT_EQ(queue.takeAfter(0), R"([{"seq":4,"name":"d"}])");
}

TEST(RandomTokenTest, IsLongAndNotRepeated) {
  const std::string a = RandomToken();
  const std::string b = RandomToken();
  EXPECT_EQ(a.size(), 32U);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);
}

// The dialog thread of the tests: runs posted tasks in order.
class TaskThread {
 public:
  TaskThread() : thread_([this] { loop(); }) {}
  TaskThread(const TaskThread&) = delete;
  TaskThread& operator=(const TaskThread&) = delete;
  ~TaskThread() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    ready_.notify_all();
    thread_.join();
  }
  void post(std::function<void()> task) {
    {
      const std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    ready_.notify_all();
  }

 private:
  void loop() {
    std::unique_lock lock(mutex_);
    while (true) {
      ready_.wait(lock, [this] { return stop_ || !tasks_.empty(); });
      if (tasks_.empty()) return;
      std::function<void()> task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> tasks_;
  bool stop_ = false;
  std::thread thread_;
};

// Holds the server's connection gate at the start of a turn, so that connections queue up.
class GateLatch {
 public:
  // Returns once the gate waits.
  void hold() {
    std::unique_lock lock(mutex_);
    hold_ = true;
    changed_.wait(lock, [this] { return parked_; });
  }
  void release() {
    const std::lock_guard lock(mutex_);
    hold_ = false;
    changed_.notify_all();
  }
  // The gate's turn.
  void turn() {
    std::unique_lock lock(mutex_);
    parked_ = hold_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !hold_; });
    parked_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool hold_ = false;
  bool parked_ = false;
};

class BrowserServerTest : public ::testing::Test {
 protected:
  ~BrowserServerTest() override {
    gate_.release();
    server_.reset();
  }
  void start(std::chrono::milliseconds heartbeat = std::chrono::seconds(10)) {
    server_ = std::make_unique<BrowserServer>(
        BrowserServer::Hooks{[this](std::function<void()> task) { dialog_.post(std::move(task)); },
                             [this](const HostCommand& command) {
                               commands_.push_back(command);
                               if (onCommand_) onCommand_(command);
                             },
                             [this] { closed_ = true; },
                             {},
                             [this] { gate_.turn(); }},
        heartbeat);
    ASSERT_TRUE(server_->start());
    client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
    client_->set_read_timeout(10, 0);
  }
  std::string at(std::string_view rest) const {
    return "/" + server_->token() + "/" + std::string(rest);
  }

  bool waitClosed() {
    for (int i = 0; i < 100 && !closed_; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return closed_;
  }

  emulated::ScratchMachine machine_;
  ScopedPlatform platform_{std::make_unique<emulated::EmulatedPlatform>(machine_.folder().root())};
  std::vector<HostCommand> commands_;
  std::function<void(const HostCommand&)> onCommand_;
  GateLatch gate_;
  std::atomic<bool> closed_{false};
  TaskThread dialog_;
  std::unique_ptr<BrowserServer> server_;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(BrowserServerTest, RefusesEveryRequestWithoutTheSecret) {
  start();
  EXPECT_EQ(server_->url(),
            "http://127.0.0.1:" + std::to_string(server_->port()) + "/" + server_->token() + "/");
  const std::string wrong = "/" + RandomToken() + "/";
  for (const std::string& path : {std::string("/"), wrong, wrong + "images/sps.gif",
                                  "/" + server_->token(), "/x/" + server_->token() + "/"}) {
    const auto response = client_->Get(path.c_str());
    ASSERT_TRUE(response) << path;
    EXPECT_EQ(response->status, 403) << path;
  }
  const auto command = client_->Post((wrong + "external/fix").c_str(), "[0]", "application/json");
  ASSERT_TRUE(command);
  EXPECT_EQ(command->status, 403);
  const auto closing = client_->Post((wrong + "closed").c_str(), "", "text/plain");
  ASSERT_TRUE(closing);
  EXPECT_EQ(closing->status, 403);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(commands_.empty());
}

TEST_F(BrowserServerTest, ServesThePageWithTheShimAndTheResources) {
  start();
  const auto page = client_->Get(at("").c_str());
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  const std::size_t shim = page->body.find("window.external = external");
  const std::size_t jquery = page->body.find("src=\"js/jquery.min.js\"");
  const std::size_t own = page->body.find("function setState(");
  ASSERT_NE(shim, std::string::npos);
  ASSERT_NE(jquery, std::string::npos);
  ASSERT_NE(own, std::string::npos);
  EXPECT_LT(shim, jquery);
  EXPECT_LT(shim, own);
  EXPECT_NE(page->body.find("'/" + server_->token() + "/'"), std::string::npos);
  EXPECT_EQ(page->body.substr(0, 3), "\xEF\xBB\xBF");

  const auto image = client_->Get(at("images/sps.gif").c_str());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->status, 200);
  EXPECT_EQ(image->get_header_value("Content-Type"), "image/gif");
  EXPECT_EQ(image->body.substr(0, 3), "GIF");
  const auto script = client_->Get(at("js/jquery.min.js").c_str());
  ASSERT_TRUE(script);
  EXPECT_EQ(script->status, 200);
  EXPECT_EQ(script->get_header_value("Content-Type"), "application/javascript");

  for (const char* missing : {"images/none.gif", "images/../104", "a/b/c"}) {
    const auto response = client_->Get(at(missing).c_str());
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 404) << missing;
  }
}

TEST_F(BrowserServerTest, HandsOutTheDialogsCallsInOrder) {
  start();
  server_->queueCall("setState", {0, 2, 1002});
  server_->queueCall("clearState", {1, 3});
  server_->queueCall("setState", {0, 2, 1999});
  const auto first = client_->Get(at("events").c_str());
  ASSERT_TRUE(first);
  EXPECT_EQ(first->body, R"({"calls":[{"seq":1,"name":"setState","args":[0,2,1002]},)"
                         R"({"seq":2,"name":"clearState","args":[1,3]},)"
                         R"({"seq":3,"name":"setState","args":[0,2,1999]}],"prompt":null})");
  // A call made while the shim waits is handed out at once.
  std::thread later([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server_->queueCall("setState", {0, 0, 100});
  });
  const auto second = client_->Get(at("events?applied=3").c_str());
  later.join();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->body,
            R"({"calls":[{"seq":4,"name":"setState","args":[0,0,100]}],"prompt":null})");
}

// The page applies the answers of its requests as they arrive, and a command's answer can
// overtake the poll's: so the command's answer carries every call the page has not applied.
TEST_F(BrowserServerTest, ACommandsAnswerCarriesTheCallsThePollTookBefore) {
  start();
  onCommand_ = [this](const HostCommand&) { server_->queueCall("setState", {0, 2, 2999}); };
  server_->queueCall("setState", {0, 2, 1002});
  const auto poll = client_->Get(at("events").c_str());
  ASSERT_TRUE(poll);
  EXPECT_NE(poll->body.find(R"({"seq":1,)"), std::string::npos);
  const auto command =
      client_->Post(at("external/fix?applied=0").c_str(), "[2]", "application/json");
  ASSERT_TRUE(command);
  EXPECT_EQ(command->body, R"({"done":true,"calls":[{"seq":1,"name":"setState","args":[0,2,1002]},)"
                           R"({"seq":2,"name":"setState","args":[0,2,2999]}]})");
  const auto after = client_->Get(at("events?applied=2").c_str());
  ASSERT_TRUE(after);
  EXPECT_EQ(after->body, R"({"calls":[],"prompt":null})");
}

TEST_F(BrowserServerTest, AnswersACommandAfterTheDialogRanItWithItsCalls) {
  start();
  onCommand_ = [this](const HostCommand&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server_->queueCall("setState", {0, 2, 2999});
  };
  const auto response = client_->Post(at("external/fix").c_str(), "[0]", "application/json");
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, 200);
  EXPECT_EQ(response->body,
            R"({"done":true,"calls":[{"seq":1,"name":"setState","args":[0,2,2999]}]})");
  ASSERT_EQ(commands_.size(), 1U);
  EXPECT_EQ(commands_[0], (HostCommand{HostCommand::Kind::kFix, {0}}));

  const auto bad = client_->Post(at("external/fix").c_str(), "[\"0\"]", "application/json");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->status, 400);
  EXPECT_EQ(commands_.size(), 1U);
}

TEST_F(BrowserServerTest, APromptInsideACommandIsAskedAndAnswered) {
  start();
  std::promise<int> answered;
  onCommand_ = [this, &answered](const HostCommand&) {
    Prompt prompt;
    prompt.choice = true;
    prompt.title = "T";
    prompt.instruction = "I";
    prompt.content = "C";
    prompt.links = {{kIdYes, "yes"}, {kIdNo, "no"}};
    answered.set_value(server_->ask(prompt));
  };
  const auto asked = client_->Post(at("external/fix").c_str(), "[16]", "application/json");
  ASSERT_TRUE(asked);
  EXPECT_EQ(asked->body, R"({"done":false,"calls":[],"prompt":{"id":1,"choice":true,"title":"T",)"
                         R"("instruction":"I","content":"C","links":[{"id":6,"text":"yes"},)"
                         R"({"id":7,"text":"no"}]}})");
  // An answer to another prompt changes nothing.
  const auto stale = client_->Post(at("answer/9").c_str(), "7", "text/plain");
  ASSERT_TRUE(stale);
  EXPECT_NE(stale->body.find(R"("done":false)"), std::string::npos);
  const auto done = client_->Post(at("answer/1").c_str(), "6", "text/plain");
  ASSERT_TRUE(done);
  EXPECT_EQ(done->body, R"({"done":true,"calls":[]})");
  EXPECT_EQ(answered.get_future().get(), kIdYes);
}

TEST_F(BrowserServerTest, APageThatIsClosedOrStopsPollingEndsTheDialog) {
  start(std::chrono::milliseconds(400));
  // Until the page is first seen the heartbeat does not count.
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  EXPECT_FALSE(closed_);
  ASSERT_TRUE(client_->Get(at("events").c_str()));
  EXPECT_TRUE(waitClosed());
  // Once the page is gone, prompts no longer wait: a choice is refused.
  Prompt choice;
  choice.choice = true;
  EXPECT_EQ(server_->ask(choice), kIdNo);
}

TEST_F(BrowserServerTest, TheClosingBeaconEndsTheDialogUnlessThePageComesBack) {
  start();
  ASSERT_TRUE(client_->Post(at("closed").c_str(), "", "text/plain"));
  // A reload: the page is back at once.
  ASSERT_TRUE(client_->Get(at("events").c_str()));
  std::this_thread::sleep_for(std::chrono::milliseconds(2600));
  EXPECT_FALSE(closed_);
  ASSERT_TRUE(client_->Post(at("closed").c_str(), "", "text/plain"));
  EXPECT_TRUE(waitClosed());
}

// A client connection to the server, closed when destroyed.
class RawConnection {
 public:
  explicit RawConnection(int port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    const timeval timeout{10, 0};
    (void)::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  ~RawConnection() { ::close(fd_); }
  [[nodiscard]] bool connected() const { return connected_; }
  [[nodiscard]] bool send(std::string_view text) const {
    return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }
  // The status line of the answer; empty when the connection ends or times out without one.
  [[nodiscard]] std::string statusLine() const {
    std::string got;
    std::array<char, 512> bytes{};
    while (got.find("\r\n") == std::string::npos) {
      const ssize_t n = ::recv(fd_, bytes.data(), bytes.size(), 0);
      if (n <= 0) return {};
      got.append(bytes.data(), static_cast<std::size_t>(n));
    }
    return got.substr(0, got.find("\r\n"));
  }

 private:
  int fd_;
  bool connected_ = false;
};

// Another local program opens connections and sends nothing, as many as it likes and right
// after the page's own: the page's requests are answered all the same. The gate is held while
// the connections queue up, so it meets the page's connection with more idle ones behind it
// than it lets wait, in one go.
TEST_F(BrowserServerTest, IdleConnectionsOfOthersNeverCostThePageARequest) {
  start();
  const std::string request =
      "GET " + at("images/sps.gif") + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  // Each round the page's request has more idle connections behind it than may wait, and the
  // last round's still open before it.
  std::vector<std::unique_ptr<RawConnection>> before;
  for (int round = 0; round < 5; ++round) {
    gate_.hold();
    RawConnection page(server_->port());
    ASSERT_TRUE(page.connected());
    ASSERT_TRUE(page.send(request));
    std::vector<std::unique_ptr<RawConnection>> behind;
    for (std::size_t i = 0; i < kMaxWaitingConnections + 16; ++i) {
      behind.push_back(std::make_unique<RawConnection>(server_->port()));
      ASSERT_TRUE(behind.back()->connected());
    }
    gate_.release();
    EXPECT_EQ(page.statusLine(), "HTTP/1.1 200 OK") << round;
    before = std::move(behind);
  }
}

}  // namespace
}  // namespace corvane::browser
