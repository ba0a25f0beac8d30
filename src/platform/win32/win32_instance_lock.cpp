#include "platform/win32/win32_instance_lock.h"

#include "platform/win32/win32_util.h"
#include "platform/win_errors.h"

namespace corvane::win32 {
namespace {

class MutexHandle final : public InstanceHold::Handle {
 public:
  explicit MutexHandle(UniqueHandle mutex) : mutex_(std::move(mutex)) {}

 private:
  UniqueHandle mutex_;
};

}  // namespace

std::uint32_t Win32InstanceLock::Acquire(std::string_view name, InstanceHold& hold) {
  hold.Release();
  UniqueHandle mutex(::CreateMutexW(nullptr, TRUE, Wide(name).c_str()));
  const DWORD error = ::GetLastError();
  if (!mutex.valid()) return error == 0 ? win::kErrorInvalidHandle : error;
  auto handle = std::make_unique<MutexHandle>(std::move(mutex));
  if (error == ERROR_ALREADY_EXISTS) return win::kErrorAlreadyExists;  // handle closes
  hold = InstanceHold(std::move(handle));
  return win::kErrorSuccess;
}

}  // namespace corvane::win32
