#pragma once

// The Windows registry with RegOpenKeyEx / RegQueryValueEx semantics. Names are UTF-8 and
// compare without regard to case; value data is the raw bytes Windows stores, so string
// values are UTF-16LE with their terminating NUL, exactly as RegQueryValueExW returns them.
// The helpers on RegistryKey convert strings to and from UTF-8 for callers that want text.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane {

namespace win {

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// Access rights (REGSAM).
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyWow64View64 = 0x0100;  // KEY_WOW64_64KEY
inline constexpr std::uint32_t kKeyWow64View32 = 0x0200;  // KEY_WOW64_32KEY
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// Registry failures beyond the common codes of win_errors.h.
inline constexpr std::uint32_t kErrorBadPathname = 161;
inline constexpr std::uint32_t kErrorRegistryCorrupt = 1015;
inline constexpr std::uint32_t kErrorRegistryIoFailed = 1016;
inline constexpr std::uint32_t kErrorKeyDeleted = 1018;
inline constexpr std::uint32_t kErrorUnsupportedType = 1630;

}  // namespace win

enum class RegistryRoot { kLocalMachine, kCurrentUser, kClassesRoot };

// "HKEY_LOCAL_MACHINE" and so on, as regedit writes them.
std::string_view RegistryRootName(RegistryRoot root);

// What RegQueryValueEx reports about a value besides its data.
struct RegistryValueInfo {
  std::uint32_t type = win::kRegNone;
  std::uint32_t size = 0;  // bytes of data
};

// One open key as a backend holds it. Callers use RegistryKey.
class RegistryKeyHandle {
 public:
  RegistryKeyHandle() = default;
  RegistryKeyHandle(const RegistryKeyHandle&) = delete;
  RegistryKeyHandle& operator=(const RegistryKeyHandle&) = delete;
  virtual ~RegistryKeyHandle() = default;

  // RegQueryValueEx. With a null `data` only the type and size are reported.
  virtual std::uint32_t QueryValue(std::string_view name, std::uint8_t* data,
                                   std::uint32_t capacity, RegistryValueInfo& info) = 0;
  virtual std::uint32_t SetValue(std::string_view name, std::uint32_t type,
                                 std::span<const std::uint8_t> data) = 0;
  virtual std::uint32_t DeleteValue(std::string_view name) = 0;
  // RegEnumKeyEx / RegEnumValue, all at once.
  virtual std::uint32_t SubKeyNames(std::vector<std::string>& names) = 0;
  virtual std::uint32_t ValueNames(std::vector<std::string>& names) = 0;
};

// An open registry key; closed when the object goes. A default-constructed key is closed and
// every operation on it fails with kErrorInvalidHandle.
class RegistryKey {
 public:
  RegistryKey() = default;
  explicit RegistryKey(std::unique_ptr<RegistryKeyHandle> handle) : handle_(std::move(handle)) {}

  [[nodiscard]] bool isOpen() const { return handle_ != nullptr; }
  void Close() { handle_.reset(); }

  // The size probe of RegQueryValueEx (data pointer NULL): type and size, no data.
  std::uint32_t ProbeValue(std::string_view name, RegistryValueInfo& info);
  // RegQueryValueEx into `buffer`. When the data does not fit the result is kErrorMoreData
  // and info.size is the size needed; the buffer's contents are then unspecified.
  std::uint32_t QueryValue(std::string_view name, std::span<std::uint8_t> buffer,
                           RegistryValueInfo& info);
  // The whole value, however large.
  std::uint32_t ReadValue(std::string_view name, std::uint32_t& type,
                          std::vector<std::uint8_t>& data);
  // REG_SZ or REG_EXPAND_SZ as UTF-8, without the terminating NUL; another type gives
  // kErrorUnsupportedType.
  std::uint32_t ReadString(std::string_view name, std::string& text);
  // A REG_DWORD of exactly 4 bytes; another type or size gives kErrorUnsupportedType.
  std::uint32_t ReadDword(std::string_view name, std::uint32_t& value);

  // RegSetValueEx with raw bytes.
  std::uint32_t SetValue(std::string_view name, std::uint32_t type,
                         std::span<const std::uint8_t> data);
  // Text as UTF-16LE with its terminating NUL, as REG_SZ (or REG_EXPAND_SZ).
  std::uint32_t SetString(std::string_view name, std::string_view text,
                          std::uint32_t type = win::kRegSz);
  std::uint32_t SetDword(std::string_view name, std::uint32_t value);
  std::uint32_t DeleteValue(std::string_view name);

  std::uint32_t SubKeyNames(std::vector<std::string>& names);
  std::uint32_t ValueNames(std::vector<std::string>& names);

 private:
  std::unique_ptr<RegistryKeyHandle> handle_;
};

class Registry {
 public:
  Registry() = default;
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;
  virtual ~Registry() = default;

  // RegOpenKeyEx. An empty sub key opens the root itself. A missing key gives
  // kErrorFileNotFound. `access` is a REGSAM: kKeyRead, kKeyWrite, their union, plus
  // kKeyWow64View64 or kKeyWow64View32 to pick a registry view.
  virtual std::uint32_t OpenKey(RegistryRoot root, std::string_view subKey, std::uint32_t access,
                                RegistryKey& key) = 0;
  // RegCreateKeyEx (non-volatile, no class): opens the key, creating it and any missing
  // parents. `created`, when given, tells whether the key was new.
  virtual std::uint32_t CreateKey(RegistryRoot root, std::string_view subKey, std::uint32_t access,
                                  RegistryKey& key, bool* created = nullptr) = 0;
  // RegDeleteKey (RegDeleteKeyEx when `access` names a view): deletes a key without sub
  // keys. A key that has sub keys is kept and the result is kErrorAccessDenied, as on
  // Windows.
  virtual std::uint32_t DeleteKey(RegistryRoot root, std::string_view subKey,
                                  std::uint32_t access = 0) = 0;

  // SHRegGetUSValue without a default: the value `name` of HKEY_CURRENT_USER\subKey or, when
  // the user's key or value is missing or `ignoreCurrentUser` is set, of
  // HKEY_LOCAL_MACHINE\subKey, read into `buffer` as RegistryKey::QueryValue reads
  // (kErrorMoreData when it does not fit). Keys are opened for reading, without a view flag.
  virtual std::uint32_t QueryUserSpecificValue(std::string_view subKey, std::string_view name,
                                               bool ignoreCurrentUser,
                                               std::span<std::uint8_t> buffer,
                                               RegistryValueInfo& info);

  // Why the registry, or part of it, cannot be used (for example a hive file with a syntax
  // error, named with its line); empty when all is well. Operations on an unusable part
  // fail with kErrorRegistryCorrupt.
  [[nodiscard]] virtual std::string loadError() const { return {}; }
};

}  // namespace corvane
