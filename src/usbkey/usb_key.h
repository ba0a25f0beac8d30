#pragma once

// The USB key adapters: one abstract class over the vendors' key libraries and one subclass
// per library. An adapter loads its vendor's library from the program's folder (by full path,
// never searched for) and ReadKeyInfo fills UsbKeyInfo from it. The library stays loaded when
// the adapter goes.
//
// Whatever a library returns, the adapter reads and writes only inside its own buffers: text
// walks stop at a buffer's end (a missing NUL, or more keys claimed than texts written), every
// call gets its own copy of a serial text, and counts are bounded. A library that crashes
// inside a call ends that adapter's reading (what was read before stays); a missing export
// skips its step.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/libraries.h"

namespace corvane {

struct UsbKeyInfo {
  std::string vendor;
  std::string version;                              // GetSoftwareVersion's text
  std::vector<std::string> serialNumbers;           // one per plugged-in key, library's order
  std::vector<std::vector<std::string>> certNames;  // a list per key (Feitian: empty names)
  std::vector<std::int32_t> pinRetries;             // per key whose counter could be read
  std::vector<std::int32_t> keyIntact;              // non-zero: intact
  std::vector<std::int32_t> defaultPin;             // non-zero: still the default PIN
};

// Buffer sizes the libraries are given.
inline constexpr std::size_t kVersionBufferSize = 256;
inline constexpr std::size_t kListBufferSize = 2048;
// The most certificate names one key can report: as many as a list buffer can hold (a
// one-byte name and its NUL each). Larger Feitian counts are cut to it.
inline constexpr std::int32_t kMostCertificates = kListBufferSize / 2;

class CUSBKey {
 public:
  CUSBKey(const CUSBKey&) = delete;
  CUSBKey& operator=(const CUSBKey&) = delete;
  CUSBKey(CUSBKey&&) = delete;
  CUSBKey& operator=(CUSBKey&&) = delete;
  virtual ~CUSBKey() = default;

  // Fills info() from the library. Run once per adapter.
  virtual void ReadKeyInfo() = 0;

  [[nodiscard]] const UsbKeyInfo& info() const { return info_; }
  // The page's category of this vendor (800 to 803).
  [[nodiscard]] std::int32_t category() const { return category_; }
  // The vendor's library was loaded.
  [[nodiscard]] bool loaded() const { return static_cast<bool>(library_); }
  // A call into the library crashed; the reading stopped there.
  [[nodiscard]] bool crashed() const { return crashed_; }

 protected:
  // Loads libraryName ("BHDLL.dll") from the folder of the running program.
  CUSBKey(std::string_view vendor, std::string_view libraryName, std::int32_t category);

  // Steps 1 to 7 of every adapter: vendor, the exports' lookups by the caller, "load",
  // CheckKeyEnv, the version, the count and the serial numbers. False: stop reading.
  template <typename R>
  bool ReadCommon(bool callLoad, bool cutSerialAtBackslash);

  // The per-key steps. Each runs only when its export exists.
  template <typename R>
  void CertNameListStep();
  template <typename R>
  void CertCountStep();
  template <typename R>
  void WebUrlStep();
  template <typename R>
  void PinRetryStep();
  template <typename R>
  void KeyFileStep();
  template <typename R>
  void DefaultPinStep();
  template <typename R>
  void ChangePinStep();

  // Calls fn(args...) contained; nothing once a call has crashed.
  template <typename Fn, typename... A>
  auto Call(Fn fn, A... args) -> std::optional<decltype(fn(args...))>;

  template <typename Fn>
  Fn Find(std::string_view name) const;

 private:
  UsbKeyInfo info_;
  LibraryHandle library_;
  std::int32_t category_;
  bool crashed_ = false;
};

class CHuahongUSBKey final : public CUSBKey {
 public:
  CHuahongUSBKey();
  void ReadKeyInfo() override;
};

class CTianchengUSBKey final : public CUSBKey {
 public:
  CTianchengUSBKey();
  void ReadKeyInfo() override;
};

class CFeitianUSBKey final : public CUSBKey {
 public:
  CFeitianUSBKey();
  void ReadKeyInfo() override;
};

class CFeitian2USBKey final : public CUSBKey {
 public:
  CFeitian2USBKey();
  void ReadKeyInfo() override;
};

// The adapter whose class name is className exactly ("CFeitianUSBKey"), or null.
std::unique_ptr<CUSBKey> MakeUsbKeyAdapter(std::string_view className);

// The texts of a buffer of NUL-ended texts one after another: at most `count` texts, never
// past the buffer's end (a text without its NUL ends there, and the walk with it).
std::vector<std::string> TextsInBuffer(const char* buffer, std::size_t size, std::int64_t count);
// The texts up to the first empty one, never past the buffer's end.
std::vector<std::string> TextListInBuffer(const char* buffer, std::size_t size);

}  // namespace corvane
