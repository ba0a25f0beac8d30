// The owning handle template and ComPtr of the Windows gateway: each handle is closed exactly
// once, "none" is never handed to the closer, and moves pass ownership.
#include <gtest/gtest.h>

#include <utility>

#include "platform/win32/win32_util.h"

namespace corvane::win32 {
namespace {

// Whether `handle` is still an open kernel handle of this process.
bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(UniqueAnyTest, ClosesItsHandleOnceAndPassesItOnWhenMoved) {
  HANDLE raw = NewEvent();
  ASSERT_NE(raw, nullptr);
  {
    UniqueHandle first(raw);
    EXPECT_TRUE(first.valid());
    UniqueHandle second(std::move(first));
    EXPECT_FALSE(first.valid());  // NOLINT(bugprone-use-after-move): the moved-from state
    EXPECT_EQ(second.get(), raw);
    UniqueHandle third;
    third = std::move(second);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));
}

TEST(UniqueAnyTest, ResetPutAndReleaseCloseWhatTheyReplaceOnly) {
  HANDLE a = NewEvent();
  HANDLE b = NewEvent();
  UniqueHandle held(a);
  held.reset(b);
  EXPECT_FALSE(IsOpen(a));
  EXPECT_TRUE(IsOpen(b));
  HANDLE* slot = held.put();
  EXPECT_FALSE(IsOpen(b));
  EXPECT_EQ(*slot, nullptr);
  *slot = NewEvent();
  HANDLE given = held.release();
  EXPECT_FALSE(held.valid());
  EXPECT_TRUE(IsOpen(given));
  ::CloseHandle(given);
}

// A closer that counts, to see which values reach it.
int closed = 0;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): test probe
BOOL WINAPI CountClose(HANDLE /*handle*/) {
  ++closed;
  return TRUE;
}

TEST(UniqueAnyTest, NeverClosesNone) {
  closed = 0;
  using Counted = UniqueAny<HANDLE, &CountClose, 0, static_cast<std::uintptr_t>(-1)>;
  {
    Counted none;
    Counted invalid(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(none.valid());
    EXPECT_FALSE(invalid.valid());
    Counted some(reinterpret_cast<HANDLE>(std::uintptr_t{0x1234}));
    EXPECT_TRUE(some.valid());
  }
  EXPECT_EQ(closed, 1);
  // A registry key: only null is none; the key itself is closed.
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key), ERROR_SUCCESS);
  UniqueHkey owned(key);
  EXPECT_TRUE(owned.valid());
  owned.reset();
  EXPECT_FALSE(owned.valid());
}

// A COM object that counts its references.
class Counter final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID /*iid*/, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ULONG references = 1;
};

TEST(ComPtrTest, HoldsOneReferenceEachAndReleasesIt) {
  Counter object;
  {
    ComPtr<Counter> first(&object);  // takes the creator's reference
    EXPECT_EQ(object.references, 1U);
    {
      ComPtr<Counter> copy = first;
      EXPECT_EQ(object.references, 2U);
      ComPtr<Counter> moved(std::move(copy));
      EXPECT_EQ(object.references, 2U);
      EXPECT_FALSE(copy);  // NOLINT(bugprone-use-after-move): the moved-from state
      first = moved;       // the same object: still one reference each
      EXPECT_EQ(object.references, 2U);
    }
    EXPECT_EQ(object.references, 1U);
    Counter** slot = first.put();
    EXPECT_EQ(object.references, 0U);
    EXPECT_EQ(*slot, nullptr);
  }
  EXPECT_EQ(object.references, 0U);
}

}  // namespace
}  // namespace corvane::win32
