#include "platform/win32/win32_instance_lock.h"

#include <windows.h>

#include "platform/utf.h"
#include "platform/win_errors.h"

namespace corvane::win32 {
namespace {

class MutexHandle final : public InstanceHold::Handle {
 public:
  explicit MutexHandle(HANDLE mutex) : mutex_(mutex) {}
  ~MutexHandle() override { ::CloseHandle(mutex_); }
  MutexHandle(const MutexHandle&) = delete;
  MutexHandle& operator=(const MutexHandle&) = delete;

 private:
  HANDLE mutex_;
};

}  // namespace

std::uint32_t Win32InstanceLock::Acquire(std::string_view name, InstanceHold& hold) {
  hold.Release();
  const std::u16string wide = Utf8ToUtf16(name);
  const std::wstring wname(wide.begin(), wide.end());
  HANDLE mutex = ::CreateMutexW(nullptr, TRUE, wname.c_str());
  const DWORD error = ::GetLastError();
  if (mutex == nullptr) return error == 0 ? win::kErrorInvalidHandle : error;
  auto handle = std::make_unique<MutexHandle>(mutex);
  if (error == ERROR_ALREADY_EXISTS) return win::kErrorAlreadyExists;  // handle closes
  hold = InstanceHold(std::move(handle));
  return win::kErrorSuccess;
}

}  // namespace corvane::win32
