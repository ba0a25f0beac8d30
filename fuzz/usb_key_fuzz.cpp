// The USB key adapters and the key report against a library that answers every call with
// bytes from the input: results, counts and whole buffers (up to the sizes the adapters give).
// Nothing may be read or written outside the adapters' buffers, every text the page gets must
// be valid UTF-8, and the certificate count must stay bounded.
//
// Input: one byte for the adapter class, four for the entry's state word, then the answers in
// call order: per call four bytes of result, then for a count or value four bytes, for a
// buffer two bytes of length and that many bytes. An exhausted input answers failure.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "emulated/scratch_machine.h"
#include "forwarding_platform.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/libraries.h"
#include "platform/utf.h"
#include "usbkey/usb_key.h"
#include "usbkey/usb_key_report.h"
#include "usbkey/vendor_exports.h"

namespace {

using namespace corvane;

// The answers of the current input.
struct Answers {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;

  bool take(void* out, std::size_t n) {
    if (size < n) {
      size = 0;
      return false;
    }
    std::memcpy(out, data, n);
    data += n;
    size -= n;
    return true;
  }
  std::int32_t result() {
    std::int32_t value = 0;
    return take(&value, sizeof value) ? value : 0;
  }
  void value(std::int32_t* out) {
    std::int32_t value = 0;
    if (take(&value, sizeof value)) *out = value;
  }
  void buffer(char* out, std::size_t capacity) {
    std::uint16_t length = 0;
    if (!take(&length, sizeof length)) return;
    const std::size_t n = std::min<std::size_t>(length, std::min(capacity, size));
    std::memcpy(out, data, n);
    data += n;
    size -= n;
  }
};

Answers& Current() {
  static Answers answers;
  return answers;
}

// The answers as exports of each result width (a BOOL is 32 bits, a bool 8).
template <typename R>
R CORVANE_VENDOR_CALL NoArguments() {
  return static_cast<R>(Current().result());
}
template <typename R>
R CORVANE_VENDOR_CALL Version(char* buffer) {
  const std::int32_t r = Current().result();
  Current().buffer(buffer, kVersionBufferSize);
  return static_cast<R>(r);
}
template <typename R>
R CORVANE_VENDOR_CALL Count(std::int32_t* count) {
  const std::int32_t r = Current().result();
  Current().value(count);
  return static_cast<R>(r);
}
template <typename R>
R CORVANE_VENDOR_CALL List(char* buffer) {
  const std::int32_t r = Current().result();
  Current().buffer(buffer, kListBufferSize);
  return static_cast<R>(r);
}
template <typename R>
R CORVANE_VENDOR_CALL SerialList(char* serial, char* buffer) {
  const std::int32_t r = Current().result();
  Current().buffer(buffer, kListBufferSize);
  Current().buffer(serial, std::strlen(serial) + 1);  // a library may write into the serial
  return static_cast<R>(r);
}
template <typename R>
R CORVANE_VENDOR_CALL SerialValue(char* /*serial*/, std::int32_t* value) {
  const std::int32_t r = Current().result();
  Current().value(value);
  return static_cast<R>(r);
}
template <typename R>
R CORVANE_VENDOR_CALL SerialOnly(char* /*serial*/) {
  return static_cast<R>(Current().result());
}

// Every library loads; exports come from the functions above by their argument shapes.
class AnsweringLibraries final : public Libraries {
 public:
  std::uint32_t load(std::string_view /*fullPath*/, LibraryHandle* library) override {
    library->value = this;
    return 0;
  }
  LibraryExport lookup(LibraryHandle /*library*/, std::string_view name) override {
    if (feitian) return Lookup<vendor::Bool8>(name);
    // Huahong's GetKeyFile alone answers with a bool.
    if (name == "GetKeyFile") return Lookup<vendor::Bool8>(name);
    return Lookup<vendor::Bool32>(name);
  }
  std::uint32_t callContained(void (*call)(void*), void* context) override {
    call(context);
    return 0;
  }
  bool feitian = false;

 private:
  template <typename R>
  LibraryExport Lookup(std::string_view name) {
    const auto as = [](auto function) { return reinterpret_cast<LibraryExport>(function); };
    if (name == "load" || name == "CheckKeyEnv") return as(&NoArguments<R>);
    if (name == "GetSoftwareVersion") return as(&Version<R>);
    if (name == "GetKeyCount") return as(&Count<R>);
    if (name == "GetKeySN") return as(&List<R>);
    if (name == "GetWebURL") return as(&SerialList<R>);
    if (name == "GetPINRetry" || name == "GetKeyFile" || name == "GetKeyDefaultPIN") {
      return as(&SerialValue<R>);
    }
    if (name == "ChangePin") return as(&SerialOnly<R>);
    if (name == "GetCertCN") return feitian ? as(&SerialValue<R>) : as(&SerialList<R>);
    return nullptr;
  }
};

class FuzzPlatform final : public ForwardingPlatform {
 public:
  explicit FuzzPlatform(const std::filesystem::path& root) : inner_(root) {}
  Libraries& libraries() override { return libraries_; }

  AnsweringLibraries libraries_;

 protected:
  Platform& inner() override { return inner_; }

 private:
  emulated::EmulatedPlatform inner_;
};

struct Setup {
  emulated::ScratchMachine machine;
  FuzzPlatform* platform = nullptr;
  std::unique_ptr<ScopedPlatform> scoped;
  Setup() {
    auto owned = std::make_unique<FuzzPlatform>(machine.folder().root());
    platform = owned.get();
    scoped = std::make_unique<ScopedPlatform>(std::move(owned));
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Setup setup;
  if (size < 5) return 0;
  static constexpr const char* kClasses[] = {"CHuahongUSBKey", "CTianchengUSBKey", "CFeitianUSBKey",
                                             "CFeitian2USBKey"};
  const std::size_t which = data[0] % 4;
  CheckConfig config;
  CheckItem item;
  item.className = kClasses[which];
  std::memcpy(&item.state, data + 1, sizeof item.state);
  config.items.push_back(item);
  setup.platform->libraries_.feitian = which >= 2;
  Current() = Answers{data + 5, size - 5};

  for (const PageState& state : ReportUsbKeys(config)) {
    if (const auto* text = std::get_if<std::string>(&state.value)) {
      if (Utf16ToUtf8(Utf8ToUtf16(*text)) != *text) std::abort();  // not valid UTF-8
      if (text->find('\0') != std::string::npos) std::abort();
    }
    if (const auto* number = std::get_if<std::int32_t>(&state.value)) {
      if (state.item == 6 && (*number < 0 || *number > kMostCertificates)) std::abort();
    }
  }
  return 0;
}
