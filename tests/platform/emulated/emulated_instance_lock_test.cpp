#include "platform/emulated/emulated_instance_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/win_errors.h"
#include "scratch_machine.h"

extern char** environ;

namespace corvane::emulated {
namespace {

class EmulatedInstanceLockTest : public ::testing::Test {
 protected:
  ScratchMachine scratch_;
  std::filesystem::path folder_ = scratch_.folder().root() / "locks";
  EmulatedInstanceLock lock_{folder_};
};

// A first instance in another process; the lock goes when that process dies, even by
// SIGKILL, with no clean-up of its own.
TEST_F(EmulatedInstanceLockTest, AnotherProcessHoldsTheLockUntilItDies) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstanceHold hold;
    const char status = lock_.Acquire(kCorvaneInstanceName, hold) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &status, 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char status = 0;
  ASSERT_EQ(::read(ready[0], &status, 1), 1);
  ::close(ready[0]);
  EXPECT_EQ(status, 'y');

  InstanceHold hold;
  EXPECT_EQ(lock_.Acquire(kCorvaneInstanceName, hold), win::kErrorAlreadyExists);

  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(lock_.Acquire(kCorvaneInstanceName, hold), win::kErrorSuccess);
}

// Programs the instance starts (installers, the browser) must not keep it alive.
TEST_F(EmulatedInstanceLockTest, StartedProgramsDoNotInheritTheLock) {
  InstanceHold hold;
  ASSERT_EQ(lock_.Acquire(kCorvaneInstanceName, hold), win::kErrorSuccess);
  pid_t sleeper = 0;
  char sleepPath[] = "/bin/sleep";
  char seconds[] = "30";
  char* argv[] = {sleepPath, seconds, nullptr};
  ASSERT_EQ(::posix_spawn(&sleeper, sleepPath, nullptr, nullptr, argv, environ), 0);

  hold.Release();
  InstanceHold again;
  EXPECT_EQ(lock_.Acquire(kCorvaneInstanceName, again), win::kErrorSuccess);
  ::kill(sleeper, SIGKILL);
  ::waitpid(sleeper, nullptr, 0);
}

TEST_F(EmulatedInstanceLockTest, RefusesAFolderOthersCanWriteTo) {
  std::filesystem::create_directories(folder_);
  ::chmod(folder_.c_str(), 0777);
  InstanceHold hold;
  EXPECT_EQ(lock_.Acquire(kCorvaneInstanceName, hold), win::kErrorAccessDenied);
  EXPECT_FALSE(hold.held());

  std::filesystem::remove(folder_);
  std::filesystem::create_directory_symlink(scratch_.folder().root(), folder_);
  EXPECT_EQ(lock_.Acquire(kCorvaneInstanceName, hold), win::kErrorAccessDenied);
}

}  // namespace
}  // namespace corvane::emulated
