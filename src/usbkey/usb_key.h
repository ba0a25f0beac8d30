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
//
// Where the platform reads libraries in a helper process (the emulated PC), ReadKeyInfo runs
// this same reading there (corvane-key-reader) and takes back the helper's account of it
// (EncodeKeyReading), checked against the limits above: text sizes, counts, valid UTF-8,
// complete. An account that breaks them, or a helper that fails, hangs or is killed, counts
// as a library that could not be loaded.

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
  void ReadKeyInfo();

  [[nodiscard]] const UsbKeyInfo& info() const { return info_; }
  // The page's category of this vendor (800 to 803).
  [[nodiscard]] std::int32_t category() const { return category_; }
  // The vendor's library was loaded.
  [[nodiscard]] bool loaded() const { return loaded_; }
  // A call into the library crashed; the reading stopped there.
  [[nodiscard]] bool crashed() const { return crashed_; }

 protected:
  // Loads libraryName ("BHDLL.dll") from the folder of the running program. className:
  // the adapter's own ("CHuahongUSBKey"), which the helper is given.
  CUSBKey(std::string_view className, std::string_view vendor, std::string_view libraryName,
          std::int32_t category);

  // The vendor's reading, in this process.
  virtual void ReadFromLibrary() = 0;

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
  friend std::string EncodeKeyReading(const CUSBKey& adapter);
  friend bool DecodeKeyReading(std::string_view account, CUSBKey& adapter);

  UsbKeyInfo info_;
  LibraryHandle library_;
  std::string className_;
  std::int32_t category_;
  bool loaded_ = false;
  bool crashed_ = false;
};

class CHuahongUSBKey final : public CUSBKey {
 public:
  CHuahongUSBKey();
  void ReadFromLibrary() override;
};

class CTianchengUSBKey final : public CUSBKey {
 public:
  CTianchengUSBKey();
  void ReadFromLibrary() override;
};

class CFeitianUSBKey final : public CUSBKey {
 public:
  CFeitianUSBKey();
  void ReadFromLibrary() override;
};

class CFeitian2USBKey final : public CUSBKey {
 public:
  CFeitian2USBKey();
  void ReadFromLibrary() override;
};

// The adapter whose class name is className exactly ("CFeitianUSBKey"), or null.
std::unique_ptr<CUSBKey> MakeUsbKeyAdapter(std::string_view className);

// The helper's account of an adapter's reading (loaded, crashed and every field of info()),
// and its reading back: false, leaving the adapter as one whose library was not loaded,
// when the account is incomplete or breaks a limit of the reading.
std::string EncodeKeyReading(const CUSBKey& adapter);
bool DecodeKeyReading(std::string_view account, CUSBKey& adapter);

// The texts of a buffer of NUL-ended texts one after another: at most `count` texts, never
// past the buffer's end (a text without its NUL ends there, and the walk with it).
std::vector<std::string> TextsInBuffer(const char* buffer, std::size_t size, std::int64_t count);
// The texts up to the first empty one, never past the buffer's end.
std::vector<std::string> TextListInBuffer(const char* buffer, std::size_t size);

}  // namespace corvane
