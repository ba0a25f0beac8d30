#pragma once

// The single-instance rule: a named lock that one process at a time can hold, and that goes
// when its holder lets it go or ends, by a crash too. On Windows it is the named mutex that
// start-up creates with initial ownership; a second instance learns that the first runs from
// ERROR_ALREADY_EXISTS.

#include <cstdint>
#include <memory>
#include <string_view>

namespace corvane {

// The name Corvane's instances agree on.
inline constexpr std::string_view kCorvaneInstanceName = "{00F157BD-8A90-4E44-B955-4E3C41C6047E}";

// A held instance lock; released when the object goes.
class InstanceHold {
 public:
  class Handle {
   public:
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    virtual ~Handle() = default;
  };

  InstanceHold() = default;
  explicit InstanceHold(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

  [[nodiscard]] bool held() const { return handle_ != nullptr; }
  void Release() { handle_.reset(); }

 private:
  std::unique_ptr<Handle> handle_;
};

class InstanceLock {
 public:
  InstanceLock() = default;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  virtual ~InstanceLock() = default;

  // Claims `name`. kErrorSuccess: nobody else holds it, and `hold` keeps it.
  // kErrorAlreadyExists: another holder has it (another process, or another hold in this
  // one); `hold` stays empty. Any other code: the lock could not be made, and the caller
  // cannot know whether another instance runs.
  virtual std::uint32_t Acquire(std::string_view name, InstanceHold& hold) = 0;
};

}  // namespace corvane
