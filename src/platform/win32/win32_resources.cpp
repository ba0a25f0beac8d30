#include "platform/win32/win32_resources.h"

#include "platform/win32/win32_util.h"

namespace corvane::win32 {
namespace {

// What FindResourceW takes for an id: MAKEINTRESOURCE or a name held in `storage`.
LPCWSTR ResourcePointer(const ResourceId& id, std::wstring& storage) {
  if (id.isNumber()) return MAKEINTRESOURCEW(id.number());
  storage = Wide(id.name());
  return storage.c_str();
}

}  // namespace

std::vector<std::uint8_t> Win32Resources::Load(const ResourceId& name, const ResourceId& type) {
  std::wstring nameText;
  std::wstring typeText;
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC found =
      ::FindResourceW(module, ResourcePointer(name, nameText), ResourcePointer(type, typeText));
  if (found == nullptr) return {};
  const DWORD size = ::SizeofResource(module, found);
  HGLOBAL loaded = ::LoadResource(module, found);  // module memory: nothing to free
  const auto* bytes = static_cast<const std::uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
  if (bytes == nullptr || size == 0) return {};
  return {bytes, bytes + size};
}

std::string Win32Resources::LoadTableString(std::uint32_t id) {
  // With a zero buffer size LoadStringW hands out a pointer into the resource itself.
  const wchar_t* text = nullptr;
  const int length =
      ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return Narrow(std::wstring_view(text, static_cast<std::size_t>(length)));
}

}  // namespace corvane::win32
