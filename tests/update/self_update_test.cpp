#include "update/self_update.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/environment.h"
#include "platform/file_md5.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/win_errors.h"
#include "support/md5.h"

#if !defined(_WIN32)
#include "bank_server.h"
#include "config/config_paths.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/program_image.h"
#include "platform/emulated/running_images.h"
#include "platform/emulated/scratch_machine.h"

namespace corvane {
namespace {

constexpr std::uint32_t kV1High = 0x10000;    // 1.0.0.0
constexpr std::uint32_t kV2High = 0x20000;    // 2.0.0.0
constexpr std::uint32_t kEvilHigh = 0x60006;  // 6.6.0.0

std::string ReadHost(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class PromptAnswer final : public PromptHost {
 public:
  explicit PromptAnswer(int answer) : answer_(answer) {}
  int show(const Prompt& prompt) override {
    shown.push_back(prompt.stringIds);
    return answer_;
  }
  std::vector<std::vector<int>> shown;

 private:
  int answer_;
};

// Consents, after writing `bytes` over `file` on the host as another program would while
// the question is open.
class SwapWhileAsked final : public PromptHost {
 public:
  SwapWhileAsked(std::filesystem::path file, std::string bytes)
      : file_(std::move(file)), bytes_(std::move(bytes)) {}
  int show(const Prompt& /*prompt*/) override {
    std::ofstream(file_.string() + ".swap", std::ios::binary) << bytes_;
    std::filesystem::rename(file_.string() + ".swap", file_);
    return kIdYes;
  }

 private:
  std::filesystem::path file_;
  std::string bytes_;
};

std::string Md5Of(std::string_view bytes) {
  Md5Context context;
  context.Update(bytes.data(), bytes.size());
  context.Final();
  return Md5Hex(context.digest);
}

// A scratch emulated PC as the process's platform, with the program installed at the module
// path as version 1.0.0.0 and run by this test process.
class SelfUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto machine = std::make_unique<emulated::EmulatedPlatform>(machine_.folder().root());
    platform_ = machine.get();
    installed_ = std::make_unique<ScopedPlatform>(std::move(machine));
    program_ = CurrentPlatform().environment().modulePath();
  }

  FileSystem& files() { return CurrentPlatform().files(); }
  std::filesystem::path host(std::string_view path) {
    return platform_->emulatedFiles().hostPath(path);
  }
  void Write(std::string_view path, const std::string& bytes) {
    ASSERT_EQ(files().writeFile(path, bytes), 0U) << path;
  }
  std::string Read(std::string_view path) {
    std::string bytes;
    files().readFile(path, bytes);
    return bytes;
  }
  // Installs the program (version 1.0.0.0) and runs it as this process does.
  void RunProgram(const std::filesystem::path& hostProgram = "/bin/true") {
    ASSERT_EQ(platform_->runAsProgram(hostProgram, kV1High, 0), 0U);
  }
  std::string Download() {
    return DownloadPathFor("http://update.marrowby.example/corvane/Corvane.exe");
  }

  emulated::ScratchMachine machine_;
  emulated::EmulatedPlatform* platform_ = nullptr;
  std::unique_ptr<ScopedPlatform> installed_;
  std::string program_;
};

TEST_F(SelfUpdateTest, TheFileTestComparesEachVersionHalfAndTheExactDigest) {
  const std::string v11 = R"(C:\v11.exe)";
  Write(v11, emulated::MakeProgramImage(0x10001, 0));  // 1.1.0.0
  Write(R"(C:\plain.txt)", "not a program");
  const std::string digest = FileMd5Hex(files(), v11);
  std::string upper = digest;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  struct Case {
    std::string path;
    std::string version;
    std::string md5;
    bool meets;
  };
  const Case cases[] = {
      {v11, "1.1.0.0", "", true},
      {v11, "1.0.0.0", "", true},
      {v11, "1.0.0.5", "", false},  // low half 0 is below 5, whatever the high half says
      {v11, "1.2", "", false},
      {v11, "1", "", true},
      {v11, " 1.x1", "", true},    // atoi: " 1" and "x1" read 1 and 0
      {v11, "65537.1", "", true},  // cut to 16 bits: 1.1
      {v11, "", digest, true},
      {v11, "", upper, false},  // the digest is lower case; a capital md5 never matches
      {v11, "1.1.0.0", "00000000000000000000000000000000", false},
      {v11, "", "", true},
      {R"(C:\plain.txt)", "1.0.0.0", "", false},  // no version resource
      {R"(C:\plain.txt)", "", "", true},
      {R"(C:\missing.exe)", "", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExecutableMeets(c.path, c.version, c.md5), c.meets)
        << c.path << " version '" << c.version << "' md5 '" << c.md5 << "'";
  }
}

TEST_F(SelfUpdateTest, TheRunningProgramIsUpdatedWhenItDoesNotMeetAppinfo) {
  RunProgram();
  CheckConfig config;
  config.appInfo.version = "1.0.0.0";
  EXPECT_FALSE(isUpdateNeeded(config));
  config.appInfo.version = "1.0.0.1";
  EXPECT_TRUE(isUpdateNeeded(config));
  config.appInfo = {};
  config.appInfo.md5 = FileMd5Hex(files(), program_);
  EXPECT_FALSE(isUpdateNeeded(config));
  config.appInfo.md5[0] = config.appInfo.md5[0] == '0' ? '1' : '0';
  EXPECT_TRUE(isUpdateNeeded(config));
}

// The update worker against the local bank server: only the announced file counts.
TEST_F(SelfUpdateTest, TheDownloadCountsOnlyWhenItIsTheAnnouncedExecutable) {
  RunProgram();
  testing::BankServer server;
  ASSERT_EQ(server.error(), "");
  ASSERT_TRUE(server.WriteNetworkIni(machine_.folder().root()));
  // network.ini is read when the machine opens.
  installed_.reset();
  auto machine = std::make_unique<emulated::EmulatedPlatform>(machine_.folder().root());
  platform_ = machine.get();
  installed_ = std::make_unique<ScopedPlatform>(std::move(machine));
  RunProgram();

  const std::string v2 = emulated::MakeProgramImage(kV2High, 0);
  const std::string v15 = emulated::MakeProgramImage(0x10005, 0);
  server.Serve("/corvane/Corvane.exe", v2);
  server.Serve("/corvane/Old.exe", v15);
  Write(R"(C:\v2.exe)", v2);
  const std::string v2Digest = FileMd5Hex(files(), R"(C:\v2.exe)");

  struct Case {
    const char* what;
    std::string file;
    std::string version;
    std::string md5;
    UpdateOutcome outcome;
  };
  const Case cases[] = {
      {"announced version and digest", "Corvane.exe", "2.0.0.0", v2Digest,
       UpdateOutcome::kUpdateReady},
      {"version only", "Corvane.exe", "2.0.0.0", "", UpdateOutcome::kUpdateReady},
      {"digest differs", "Corvane.exe", "2.0.0.0", std::string(32, '0'), UpdateOutcome::kRunChecks},
      {"served file older than announced", "Old.exe", "2.0.0.0", "", UpdateOutcome::kRunChecks},
      {"nothing served", "Missing.exe", "2.0.0.0", "", UpdateOutcome::kRunChecks},
      {"running program current", "Corvane.exe", "1.0.0.0", "", UpdateOutcome::kRunChecks},
  };
  for (const Case& c : cases) {
    CheckConfig config;
    config.appInfo.version = c.version;
    config.appInfo.md5 = c.md5;
    config.appInfo.remote = "http://update.marrowby.example/corvane/" + c.file;
    config.appInfo.localPath = DownloadPathFor(config.appInfo.remote);
    EXPECT_EQ(updateThreadProc(config, {}), c.outcome) << c.what;
  }
  EXPECT_EQ(server.requestCount("/corvane/Corvane.exe"), 3);  // not when current
}

TEST_F(SelfUpdateTest, TheRunningProgramIsRenamedAndReplacedAndItsOldFileGoesAtRestart) {
  RunProgram();
  const std::string old = program_ + ".old";
  const std::string v2 = emulated::MakeProgramImage(kV2High, 0);
  const std::string download = Download();
  Write(download, v2);
  // As on Windows: the running program's file can be renamed, not deleted or overwritten.
  EXPECT_EQ(files().deleteFile(program_), win::kErrorAccessDenied);
  EXPECT_NE(files().copy(download, program_, false), 0U);

  EXPECT_TRUE(replaceExecutable(program_, download));
  EXPECT_EQ(Read(program_), v2);
  EXPECT_FALSE(files().exists(download));
  // The renamed image still runs: its deletion waits for the next restart.
  ASSERT_TRUE(files().exists(old));
  EXPECT_EQ(files().deleteFile(old), win::kErrorAccessDenied);
  const auto moves = platform_->emulatedFiles().pendingMoves();
  ASSERT_EQ(moves.size(), 1U);
  EXPECT_EQ(moves[0].from, old);
  EXPECT_EQ(moves[0].to, "");
}

TEST_F(SelfUpdateTest, AProgramThatIsNotRunningIsOverwrittenOrCreated) {
  const std::string v2 = emulated::MakeProgramImage(kV2High, 0);
  const std::string download = Download();
  for (const bool present : {true, false}) {
    if (present) {
      Write(program_, emulated::MakeProgramImage(kV1High, 0));
    } else {
      files().deleteFile(program_);
    }
    Write(download, v2);
    EXPECT_TRUE(replaceExecutable(program_, download)) << present;
    EXPECT_EQ(Read(program_), v2) << present;
    EXPECT_FALSE(files().exists(download)) << present;
    EXPECT_FALSE(files().exists(program_ + ".old")) << present;
  }
  EXPECT_TRUE(platform_->emulatedFiles().pendingMoves().empty());
}

TEST_F(SelfUpdateTest, ACopyThatFailsAfterTheRenamePutsTheOldProgramBackAtOnce) {
  RunProgram();
  const std::string v1 = Read(program_);
  // A source the file service refuses to read: a host link planted in the download folder.
  const std::string download = Download();
  Write(download, "x");
  const std::filesystem::path link = host(download);
  std::filesystem::remove(link);
  std::filesystem::create_symlink("/etc/hostname", link);

  EXPECT_FALSE(replaceExecutable(program_, download));
  EXPECT_EQ(Read(program_), v1);  // never missing, not even until the next restart
  EXPECT_FALSE(files().exists(program_ + ".old"));
  EXPECT_EQ(files().deleteFile(program_), win::kErrorAccessDenied);  // still the running image
}

TEST_F(SelfUpdateTest, AFailedReplacementRegistersAMoveOfTheCheckedCopyNotOfTheDownload) {
  RunProgram();
  const std::string v1 = Read(program_);
  const std::string old = program_ + ".old";
  // A leftover ".old" that cannot go keeps the running program from being renamed.
  Write(old, "leftover");
  ASSERT_EQ(files().setAttributes(old, win::kFileAttributeReadOnly), 0U);
  const std::string v2 = emulated::MakeProgramImage(kV2High, 0);
  const std::string download = Download();
  Write(download, v2);

  EXPECT_EQ(ReplaceExecutable(program_, download, "2.0.0.0", Md5Of(v2)), Replacement::kFailed);
  EXPECT_EQ(Read(program_), v1);
  EXPECT_EQ(Read(program_ + ".new"), v2);  // kept for the move
  // The download folder is anyone's: a file swapped in there after this must not become the
  // program at the restart.
  const auto moves = platform_->emulatedFiles().pendingMoves();
  ASSERT_EQ(moves.size(), 1U);
  EXPECT_EQ(moves[0].from, program_ + ".new");
  Write(download, emulated::MakeProgramImage(kEvilHigh, 0));

  // The machine restarts: nothing runs any more, and the move must replace the old program.
  installed_.reset();
  platform_ = nullptr;
  emulated::EmulatedPlatform rebooted(machine_.folder().root());
  EXPECT_EQ(rebooted.emulatedFiles().Reboot(), 1U);
  std::string bytes;
  rebooted.files().readFile(program_, bytes);
  EXPECT_EQ(bytes, v2);
  EXPECT_FALSE(rebooted.files().exists(program_ + ".new"));
}

// Host programs of the restart: a script that writes its arguments, one per line.
std::filesystem::path WriteArgumentRecorder(const std::filesystem::path& folder) {
  const std::filesystem::path script = folder / "record-args.sh";
  std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \""
                        << (folder / "args.txt").string() << ".tmp\"\nmv \""
                        << (folder / "args.txt").string() << ".tmp\" \""
                        << (folder / "args.txt").string() << "\"\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  return script;
}

std::string WaitForFile(const std::filesystem::path& file) {
  for (int i = 0; i < 200 && !std::filesystem::exists(file); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return ReadHost(file);
}

TEST_F(SelfUpdateTest, ConsentReplacesAndRestartsTheProgramWithUpdateAndTheHostOptions) {
  const std::filesystem::path work = machine_.folder().root() / "host";
  std::filesystem::create_directories(work);
  RunProgram(WriteArgumentRecorder(work));
  // A program folder deep enough that the restart command line passes 260 units.
  const std::string deep = R"(C:\Program Files (x86)\)" + std::string(220, 'd');
  ASSERT_EQ(files().createDirectory(deep), 0U);
  const std::string program = deep + R"(\corvane.exe)";
  ASSERT_LT(program.size(), 260U);
  ASSERT_GT(RestartCommandLine(program, "").size(), 260U);
  platform_->emulatedEnvironment().setModulePath(program);
  RunProgram(WriteArgumentRecorder(work));

  const std::string v2 = emulated::MakeProgramImage(kV2High, 0);
  AppInfo app;
  app.localPath = Download();
  Write(app.localPath, v2);
  PromptAnswer consent(kIdYes);
  EXPECT_TRUE(ApplyUpdate(consent, app, R"(--ui none --transcript "/tmp/a b.jsonl")"));
  ASSERT_EQ(consent.shown.size(), 1U);
  EXPECT_EQ(consent.shown[0], (std::vector<int>{139, 142, 143}));
  EXPECT_EQ(Read(program), v2);
  EXPECT_EQ(WaitForFile(work / "args.txt"), "/update\n--ui\nnone\n--transcript\n/tmp/a b.jsonl\n");
}

// Another program of the user's may swap, cut or grow the download while the question is
// open: what becomes the program is a copy beside it, checked after it was made; a copy
// that is not the announced program leaves the old one in place and starts nothing.
TEST_F(SelfUpdateTest, ADownloadChangedWhileTheQuestionIsOpenNeverBecomesTheProgram) {
  const std::filesystem::path work = machine_.folder().root() / "host";
  std::filesystem::create_directories(work);
  RunProgram(WriteArgumentRecorder(work));
  const std::string v1 = Read(program_);
  const std::string v2 = emulated::MakeProgramImage(kV2High, 0);
  struct Change {
    const char* what;
    std::string bytes;
  };
  const std::vector<Change> changes = {
      {"swapped for another version", emulated::MakeProgramImage(kEvilHigh, 0)},
      {"cut short", v2.substr(0, v2.size() / 2)},
      {"grown", v2 + "tail"},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    AppInfo app;
    app.version = "2.0.0.0";
    app.md5 = Md5Of(v2);
    app.localPath = Download();
    Write(app.localPath, v2);
    ASSERT_TRUE(ExecutableMeets(app.localPath, app.version, app.md5));
    SwapWhileAsked consent(host(app.localPath), change.bytes);
    EXPECT_FALSE(ApplyUpdate(consent, app, ""));
    EXPECT_EQ(Read(program_), v1);
    EXPECT_FALSE(files().exists(program_ + ".new"));
    EXPECT_TRUE(platform_->emulatedFiles().pendingMoves().empty());
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(std::filesystem::exists(work / "args.txt"));
}

TEST_F(SelfUpdateTest, ARefusalReplacesAndStartsNothing) {
  const std::filesystem::path work = machine_.folder().root() / "host";
  std::filesystem::create_directories(work);
  RunProgram(WriteArgumentRecorder(work));
  const std::string v1 = Read(program_);
  AppInfo app;
  app.localPath = Download();
  Write(app.localPath, emulated::MakeProgramImage(kV2High, 0));
  PromptAnswer refusal(kIdNo);
  EXPECT_FALSE(ApplyUpdate(refusal, app, ""));
  EXPECT_EQ(Read(program_), v1);
  EXPECT_TRUE(files().exists(app.localPath));  // offered again at the next start
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(std::filesystem::exists(work / "args.txt"));
}

TEST(RunningImageTest, ARecordLastsAsLongAsItsHolderAndFollowsARename) {
  emulated::ScratchMachine machine;
  const std::filesystem::path file = machine.folder().root() / "a.exe";
  const std::filesystem::path renamed = machine.folder().root() / "a.exe.old";
  std::ofstream(file) << "image";
  EXPECT_FALSE(emulated::IsRunningImage(machine.folder(), file));
  {
    auto image = emulated::RunningImage::Start(machine.folder(), file);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(emulated::IsRunningImage(machine.folder(), file));
    std::filesystem::rename(file, renamed);
    EXPECT_TRUE(emulated::IsRunningImage(machine.folder(), renamed));
    std::ofstream(file) << "new";  // a new file at the old name is not the running one
    EXPECT_FALSE(emulated::IsRunningImage(machine.folder(), file));
  }
  EXPECT_FALSE(emulated::IsRunningImage(machine.folder(), renamed));
}

}  // namespace
}  // namespace corvane
#endif
