#include "platform/win32/win32_url_zones.h"

#include <cwchar>

#include "platform/win32/win32_util.h"

namespace corvane::win32 {
namespace {

// The classes and interfaces by their published ids, so no import library of ids is needed.
constexpr CLSID kClsidInternetZoneManager = {
    0x7B8A2D95, 0x0AC9, 0x11D1, {0x89, 0x6C, 0x00, 0xC0, 0x4F, 0xB6, 0xBF, 0xC4}};
constexpr IID kIidInternetZoneManager = {
    0x79EAC9EF, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
constexpr CLSID kClsidInternetSecurityManager = {
    0x7B8A2D94, 0x0AC9, 0x11D1, {0x89, 0x6C, 0x00, 0xC0, 0x4F, 0xB6, 0xBF, 0xC4}};
constexpr IID kIidInternetSecurityManager = {
    0x79EAC9EE, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};

// COM on this thread for the life of the object; a thread already in another apartment
// keeps it (and is not uninitialised).
class ComApartment {
 public:
  ComApartment() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }

 private:
  HRESULT result_;
};

template <std::size_t N>
void CopyText(WCHAR (&field)[N], const std::string& text) {
  const std::wstring wide = Wide(text);
  std::size_t length = wide.size() < N - 1 ? wide.size() : N - 1;
  // Never end on half a surrogate pair.
  if (length == N - 1 && length > 0 && wide[length - 1] >= 0xD800 && wide[length - 1] <= 0xDBFF) {
    --length;
  }
  std::wmemcpy(field, wide.data(), length);
  field[length] = L'\0';
}

template <std::size_t N>
std::string ReadText(const WCHAR (&field)[N]) {
  return Narrow(std::wstring_view(field, ::wcsnlen(field, N)));
}

class Win32ZoneManager final : public ZoneManager {
 public:
  win::HResult create() {
    return ::CoCreateInstance(kClsidInternetZoneManager, nullptr, CLSCTX_ALL,
                              kIidInternetZoneManager, reinterpret_cast<void**>(zones_.put()));
  }

  win::HResult GetZoneAttributes(std::uint32_t zone, ZoneAttributes& attributes) override {
    ZONEATTRIBUTES record{};
    record.cbSize = sizeof(record);
    record.dwFlags = attributes.flags;
    const HRESULT result = zones_->GetZoneAttributes(zone, &record);
    if (FAILED(result)) return result;
    attributes.displayName = ReadText(record.szDisplayName);
    attributes.description = ReadText(record.szDescription);
    attributes.iconPath = ReadText(record.szIconPath);
    attributes.templateMinLevel = record.dwTemplateMinLevel;
    attributes.templateRecommended = record.dwTemplateRecommended;
    attributes.templateCurrentLevel = record.dwTemplateCurrentLevel;
    attributes.flags = record.dwFlags;
    return result;
  }

  win::HResult SetZoneAttributes(std::uint32_t zone, const ZoneAttributes& attributes) override {
    ZONEATTRIBUTES record{};
    record.cbSize = sizeof(record);
    CopyText(record.szDisplayName, attributes.displayName);
    CopyText(record.szDescription, attributes.description);
    CopyText(record.szIconPath, attributes.iconPath);
    record.dwTemplateMinLevel = attributes.templateMinLevel;
    record.dwTemplateRecommended = attributes.templateRecommended;
    record.dwTemplateCurrentLevel = attributes.templateCurrentLevel;
    record.dwFlags = attributes.flags;
    return zones_->SetZoneAttributes(zone, &record);
  }

  win::HResult CopyTemplatePoliciesToZone(std::uint32_t templateLevel, std::uint32_t zone,
                                          std::uint32_t reserved) override {
    return zones_->CopyTemplatePoliciesToZone(templateLevel, zone, reserved);
  }

 private:
  ComApartment apartment_;  // outlives the interface
  ComPtr<IInternetZoneManager> zones_;
};

class Win32SecurityManager final : public SecurityManager {
 public:
  win::HResult create() {
    return ::CoCreateInstance(kClsidInternetSecurityManager, nullptr, CLSCTX_ALL,
                              kIidInternetSecurityManager,
                              reinterpret_cast<void**>(manager_.put()));
  }

  win::HResult MapUrlToZone(std::string_view url, std::uint32_t& zone,
                            std::uint32_t flags) override {
    DWORD mapped = win::kUrlZoneInvalid;
    const HRESULT result = manager_->MapUrlToZone(Wide(url).c_str(), &mapped, flags);
    zone = SUCCEEDED(result) ? mapped : win::kUrlZoneInvalid;
    return result;
  }

  win::HResult SetZoneMapping(std::uint32_t zone, std::string_view pattern,
                              std::uint32_t flags) override {
    return manager_->SetZoneMapping(zone, Wide(pattern).c_str(), flags);
  }

 private:
  ComApartment apartment_;  // outlives the interface
  ComPtr<IInternetSecurityManager> manager_;
};

template <typename Manager, typename Base>
win::HResult Create(std::unique_ptr<Base>& out) {
  out.reset();
  auto manager = std::make_unique<Manager>();
  const win::HResult result = manager->create();
  if (SUCCEEDED(result)) out = std::move(manager);
  return result;
}

}  // namespace

win::HResult Win32UrlZones::CreateZoneManager(std::unique_ptr<ZoneManager>& manager) {
  return Create<Win32ZoneManager>(manager);
}

win::HResult Win32UrlZones::CreateSecurityManager(std::unique_ptr<SecurityManager>& manager) {
  return Create<Win32SecurityManager>(manager);
}

}  // namespace corvane::win32
