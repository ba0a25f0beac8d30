#include "usbkey/usb_key.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <tuple>
#include <type_traits>

#include "platform/environment.h"
#include "platform/platform.h"
#include "platform/utf.h"
#include "platform/windows_path.h"
#include "usbkey/vendor_exports.h"

namespace corvane {
namespace {

using vendor::Bool32;
using vendor::Bool8;

// A serial text as the libraries get it: a writable copy of its own, NUL-ended and padded,
// so what a library writes into it stays inside it and never changes the stored serial.
class SerialCopy {
 public:
  explicit SerialCopy(const std::string& serial) {
    std::memcpy(bytes_.data(), serial.data(), std::min(serial.size(), kListBufferSize));
  }
  char* get() { return bytes_.data(); }

 private:
  std::array<char, kListBufferSize + 1> bytes_{};
};

std::string BoundedText(const char* text, std::size_t size) {
  const void* end = std::memchr(text, '\0', size);
  return {text,
          end == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(end) - text)};
}

// One contained call: the export, its arguments and its result, all trivially destructible,
// so the frames a crash abandons own nothing.
template <typename Fn, typename... A>
struct CallFrame {
  Fn fn;
  std::tuple<A...> args;
  decltype(std::declval<Fn>()(std::declval<A>()...)) result{};

  static void Run(void* self) {
    auto* frame = static_cast<CallFrame*>(self);
    frame->result = std::apply(frame->fn, frame->args);
  }
};

}  // namespace

CUSBKey::CUSBKey(std::string_view className, std::string_view vendor, std::string_view libraryName,
                 std::int32_t category)
    : className_(className), category_(category) {
  info_.vendor = std::string(vendor);
  const std::string program = CurrentPlatform().environment().modulePath();
  const std::string path = PathJoin(PathParent(program), libraryName);
  loaded_ = CurrentPlatform().libraries().load(path, &library_) == 0 && library_;
}

void CUSBKey::ReadKeyInfo() {
  std::optional<Libraries::HelperRead> read;
  if (loaded_) read = CurrentPlatform().libraries().readInHelper(className_);
  if (!read) {
    ReadFromLibrary();
    return;
  }
  if (read->error != 0 || !DecodeKeyReading(read->output, *this)) {
    const std::string vendor = std::move(info_.vendor);
    info_ = UsbKeyInfo{};
    info_.vendor = vendor;
    loaded_ = false;
    crashed_ = true;
  }
}

template <typename Fn, typename... A>
auto CUSBKey::Call(Fn fn, A... args) -> std::optional<decltype(fn(args...))> {
  static_assert(std::is_trivially_destructible_v<CallFrame<Fn, A...>>);
  if (crashed_ || fn == nullptr) return std::nullopt;
  CallFrame<Fn, A...> frame{fn, {args...}};
  if (CurrentPlatform().libraries().callContained(&CallFrame<Fn, A...>::Run, &frame) != 0) {
    crashed_ = true;
    return std::nullopt;
  }
  return frame.result;
}

template <typename Fn>
Fn CUSBKey::Find(std::string_view name) const {
  // GetProcAddress's contract: the address is the export's, of the export's own type.
  return reinterpret_cast<Fn>(CurrentPlatform().libraries().lookup(library_, name));  // NOLINT
}

template <typename R>
bool CUSBKey::ReadCommon(bool callLoad, bool cutSerialAtBackslash) {
  using E = vendor::Exports<R>;
  if (!library_) return false;
  const auto load = callLoad ? Find<typename E::Load>("load") : nullptr;
  const auto checkKeyEnv = Find<typename E::CheckKeyEnv>("CheckKeyEnv");
  const auto getSoftwareVersion = Find<typename E::GetSoftwareVersion>("GetSoftwareVersion");
  const auto getKeyCount = Find<typename E::GetKeyCount>("GetKeyCount");
  const auto getKeySN = Find<typename E::GetKeySN>("GetKeySN");

  Call(load);
  Call(checkKeyEnv);
  std::array<char, kVersionBufferSize> version{};
  if (const auto ok = Call(getSoftwareVersion, version.data()); ok && *ok != 0) {
    info_.version = BoundedText(version.data(), version.size());
  }
  std::int32_t count = 0;
  const auto counted = Call(getKeyCount, &count);
  if (!counted || *counted == 0 || count == 0) return false;
  std::array<char, kListBufferSize> serials{};
  if (const auto ok = Call(getKeySN, serials.data()); ok && *ok != 0) {
    for (std::string& serial : TextsInBuffer(serials.data(), serials.size(), count)) {
      if (cutSerialAtBackslash) serial = serial.substr(0, serial.find('\\'));
      info_.serialNumbers.push_back(std::move(serial));
    }
  }
  return !crashed_;
}

template <typename R>
void CUSBKey::CertNameListStep() {
  const auto getCertCN = Find<typename vendor::Exports<R>::GetCertCNList>("GetCertCN");
  if (getCertCN == nullptr) return;
  // Zero-filled once for the walk: a key's list may follow the previous key's longer one.
  std::array<char, kListBufferSize> names{};
  for (const std::string& serial : info_.serialNumbers) {
    SerialCopy copy(serial);
    const auto ok = Call(getCertCN, copy.get(), names.data());
    if (crashed_) return;
    std::vector<std::string> list;
    if (*ok != 0 && names[0] != '\0') list = TextListInBuffer(names.data(), names.size());
    info_.certNames.push_back(std::move(list));
  }
}

template <typename R>
void CUSBKey::CertCountStep() {
  const auto getCertCN = Find<typename vendor::Exports<R>::GetCertCNCount>("GetCertCN");
  if (getCertCN == nullptr) return;
  for (const std::string& serial : info_.serialNumbers) {
    SerialCopy copy(serial);
    std::int32_t count = 0;
    const auto ok = Call(getCertCN, copy.get(), &count);
    if (crashed_) return;
    if (*ok == 0) continue;
    info_.certNames.emplace_back(
        static_cast<std::size_t>(std::clamp<std::int32_t>(count, 0, kMostCertificates)));
  }
}

template <typename R>
void CUSBKey::WebUrlStep() {
  const auto getWebURL = Find<typename vendor::Exports<R>::GetWebURL>("GetWebURL");
  if (getWebURL == nullptr) return;
  std::array<char, kListBufferSize> url{};
  for (const std::string& serial : info_.serialNumbers) {
    SerialCopy copy(serial);
    Call(getWebURL, copy.get(), url.data());  // the address is not used
    if (crashed_) return;
  }
}

template <typename R>
void CUSBKey::PinRetryStep() {
  const auto getPINRetry = Find<typename vendor::Exports<R>::GetPINRetry>("GetPINRetry");
  if (getPINRetry == nullptr) return;
  for (const std::string& serial : info_.serialNumbers) {
    SerialCopy copy(serial);
    std::int32_t count = 0;
    const auto ok = Call(getPINRetry, copy.get(), &count);
    if (crashed_) return;
    if (*ok == 0) continue;
    info_.pinRetries.push_back(count);
    info_.keyIntact.push_back(1);
  }
}

template <typename R>
void CUSBKey::KeyFileStep() {
  const auto getKeyFile = Find<typename vendor::Exports<R>::GetKeyFile>("GetKeyFile");
  if (getKeyFile == nullptr) return;
  for (const std::string& serial : info_.serialNumbers) {
    SerialCopy copy(serial);
    std::int32_t value = 0;
    const auto ok = Call(getKeyFile, copy.get(), &value);
    if (crashed_) return;
    if (*ok != 0) info_.keyIntact.push_back(value);
  }
}

template <typename R>
void CUSBKey::DefaultPinStep() {
  const auto getKeyDefaultPIN =
      Find<typename vendor::Exports<R>::GetKeyDefaultPIN>("GetKeyDefaultPIN");
  if (getKeyDefaultPIN == nullptr) return;
  for (const std::string& serial : info_.serialNumbers) {
    SerialCopy copy(serial);
    std::int32_t value = 0;
    const auto ok = Call(getKeyDefaultPIN, copy.get(), &value);
    if (crashed_) return;
    if (*ok != 0) info_.defaultPin.push_back(value);
  }
}

template <typename R>
void CUSBKey::ChangePinStep() {
  const auto changePin = Find<typename vendor::Exports<R>::ChangePin>("ChangePin");
  if (changePin == nullptr) return;
  for (const std::string& serial : info_.serialNumbers) {
    SerialCopy copy(serial);
    const auto isDefault = Call(changePin, copy.get());
    if (crashed_) return;
    info_.defaultPin.push_back(*isDefault != 0 ? 1 : 0);
  }
}

CHuahongUSBKey::CHuahongUSBKey() : CUSBKey("CHuahongUSBKey", "Huahong", "BHDLL.dll", 800) {}

void CHuahongUSBKey::ReadFromLibrary() {
  if (!ReadCommon<Bool32>(false, false)) return;
  CertNameListStep<Bool32>();
  WebUrlStep<Bool32>();
  PinRetryStep<Bool32>();
  KeyFileStep<Bool8>();
  DefaultPinStep<Bool32>();
}

CTianchengUSBKey::CTianchengUSBKey()
    : CUSBKey("CTianchengUSBKey", "Tiancheng", "TC_RZ_LR.dll", 801) {}

void CTianchengUSBKey::ReadFromLibrary() {
  if (!ReadCommon<Bool32>(false, false)) return;
  CertNameListStep<Bool32>();
  PinRetryStep<Bool32>();
}

CFeitianUSBKey::CFeitianUSBKey()
    : CUSBKey("CFeitianUSBKey", "Feitian", "Ftbank_ePass2000Auto.dll", 802) {}

void CFeitianUSBKey::ReadFromLibrary() {
  if (!ReadCommon<Bool8>(true, true)) return;
  CertCountStep<Bool8>();
  ChangePinStep<Bool8>();
  WebUrlStep<Bool8>();
  PinRetryStep<Bool8>();
}

CFeitian2USBKey::CFeitian2USBKey()
    : CUSBKey("CFeitian2USBKey", "Feitian2", "Ftbank_InterPass3000.dll", 803) {}

void CFeitian2USBKey::ReadFromLibrary() {
  if (!ReadCommon<Bool8>(true, true)) return;
  CertCountStep<Bool8>();
  ChangePinStep<Bool8>();
  PinRetryStep<Bool8>();
}

std::unique_ptr<CUSBKey> MakeUsbKeyAdapter(std::string_view className) {
  if (className == "CHuahongUSBKey") return std::make_unique<CHuahongUSBKey>();
  if (className == "CTianchengUSBKey") return std::make_unique<CTianchengUSBKey>();
  if (className == "CFeitianUSBKey") return std::make_unique<CFeitianUSBKey>();
  if (className == "CFeitian2USBKey") return std::make_unique<CFeitian2USBKey>();
  return nullptr;
}

namespace {

// One record of an account: a tag, the length of its text in decimal, ':', the text, '\n'.
void PutRecord(std::string& out, char tag, std::string_view text) {
  out += tag;
  out += std::to_string(text.size());
  out += ':';
  out += text;
  out += '\n';
}

void PutNumbers(std::string& out, char tag, const std::vector<std::int32_t>& values) {
  for (const std::int32_t value : values) PutRecord(out, tag, std::to_string(value));
}

// The most records of each kind a true reading can give: a text per byte of the serial
// buffer, a list per key, and keyIntact's two steps per key.
constexpr std::size_t kMostKeys = kListBufferSize;

bool ParseNumber(std::string_view text, std::int32_t& value) {
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  return !text.empty() && error == std::errc() && at == end;
}

// Library text arrives as bytes; what is kept is valid UTF-8.
std::string ValidText(std::string_view bytes) {
  return Utf16ToUtf8(Utf8ToUtf16(std::string(bytes)));
}

}  // namespace

std::string EncodeKeyReading(const CUSBKey& adapter) {
  const UsbKeyInfo& info = adapter.info_;
  std::string out;
  PutRecord(out, 'L', adapter.loaded_ ? "1" : "0");
  PutRecord(out, 'X', adapter.crashed_ ? "1" : "0");
  PutRecord(out, 'V', info.version);
  for (const std::string& serial : info.serialNumbers) PutRecord(out, 'S', serial);
  for (const std::vector<std::string>& list : info.certNames) {
    PutRecord(out, 'C', "");
    for (const std::string& name : list) PutRecord(out, 'N', name);
  }
  PutNumbers(out, 'P', info.pinRetries);
  PutNumbers(out, 'I', info.keyIntact);
  PutNumbers(out, 'D', info.defaultPin);
  PutRecord(out, 'E', "");
  return out;
}

bool DecodeKeyReading(std::string_view account, CUSBKey& adapter) {
  UsbKeyInfo info;
  info.vendor = adapter.info_.vendor;
  bool loaded = false;
  bool crashed = false;
  bool ended = false;
  while (!account.empty() && !ended) {
    const char tag = account.front();
    const std::size_t colon = account.find(':');
    std::size_t size = 0;
    if (colon == std::string_view::npos || colon < 2 || colon > 6) return false;
    const auto [at, error] = std::from_chars(account.data() + 1, account.data() + colon, size);
    if (error != std::errc() || at != account.data() + colon) return false;
    if (size > kListBufferSize || account.size() < colon + 1 + size + 1 ||
        account[colon + 1 + size] != '\n') {
      return false;
    }
    const std::string_view text = account.substr(colon + 1, size);
    account.remove_prefix(colon + 1 + size + 1);
    std::int32_t number = 0;
    switch (tag) {
      case 'L':
      case 'X':
        if (text != "0" && text != "1") return false;
        (tag == 'L' ? loaded : crashed) = text == "1";
        break;
      case 'V':
        if (size > kVersionBufferSize) return false;
        info.version = ValidText(text);
        break;
      case 'S':
        if (info.serialNumbers.size() >= kMostKeys) return false;
        info.serialNumbers.push_back(ValidText(text));
        break;
      case 'C':
        if (size != 0 || info.certNames.size() >= info.serialNumbers.size()) return false;
        info.certNames.emplace_back();
        break;
      case 'N':
        if (info.certNames.empty() ||
            info.certNames.back().size() >= static_cast<std::size_t>(kMostCertificates)) {
          return false;
        }
        info.certNames.back().push_back(ValidText(text));
        break;
      case 'P':
      case 'I':
      case 'D': {
        std::vector<std::int32_t>& list =
            tag == 'P' ? info.pinRetries : (tag == 'I' ? info.keyIntact : info.defaultPin);
        const std::size_t most = info.serialNumbers.size() * (tag == 'I' ? 2 : 1);
        if (!ParseNumber(text, number) || list.size() >= most) return false;
        list.push_back(number);
        break;
      }
      case 'E':
        ended = true;
        break;
      default:
        return false;
    }
  }
  if (!ended || !account.empty()) return false;
  adapter.info_ = std::move(info);
  adapter.loaded_ = loaded;
  adapter.crashed_ = crashed;
  return true;
}

std::vector<std::string> TextsInBuffer(const char* buffer, std::size_t size, std::int64_t count) {
  std::vector<std::string> texts;
  std::size_t at = 0;
  for (std::int64_t i = 0; i < count && at < size; ++i) {
    texts.push_back(BoundedText(buffer + at, size - at));
    at += texts.back().size() + 1;
  }
  return texts;
}

std::vector<std::string> TextListInBuffer(const char* buffer, std::size_t size) {
  std::vector<std::string> texts;
  std::size_t at = 0;
  while (at < size && buffer[at] != '\0') {
    texts.push_back(BoundedText(buffer + at, size - at));
    at += texts.back().size() + 1;
  }
  return texts;
}

}  // namespace corvane
