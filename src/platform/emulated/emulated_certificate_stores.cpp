#include "platform/emulated/emulated_certificate_stores.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/emulated/machine_files.h"
#include "platform/emulated/unique_fd.h"
#include "platform/file_system.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane::emulated {
namespace {

namespace fs = std::filesystem;

// Certificates are a few KiB; a bigger file in a store folder is not one of them.
constexpr std::uintmax_t kMaxCertificateFile = std::uintmax_t{1} << 20;

struct X509Free {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct X509NameFree {
  void operator()(X509_NAME* name) const { X509_NAME_free(name); }
};
struct OpensslFree {
  void operator()(unsigned char* bytes) const { OPENSSL_free(bytes); }
};

std::string FoldAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool NeedsQuotes(std::string_view value) {
  if (value.empty()) return false;
  if (IsSpace(value.front()) || IsSpace(value.back())) return true;
  return value.find_first_of("+,\"=<>;#\n") != std::string_view::npos;
}

std::string QuotedValue(std::string_view value) {
  if (!NeedsQuotes(value)) return std::string(value);
  std::string out = "\"";
  for (const char c : value) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// One attribute value as text; a value of a type that is not a string renders empty, as
// CertRDNValueToStr gives nothing for it.
std::string ValueText(const ASN1_STRING* value) {
  unsigned char* utf8 = nullptr;
  const int length = ASN1_STRING_to_UTF8(&utf8, value);
  if (length < 0) return {};
  const std::unique_ptr<unsigned char, OpensslFree> owned(utf8);
  return {reinterpret_cast<const char*>(utf8), static_cast<std::size_t>(length)};
}

std::string RenderName(const X509_NAME* name) {
  std::string out;
  int previousSet = -1;
  const int count = X509_NAME_entry_count(name);
  for (int i = 0; i < count; ++i) {
    const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
    const int set = X509_NAME_ENTRY_set(entry);
    if (i > 0) out += set == previousSet ? " + " : ", ";
    previousSet = set;
    out += QuotedValue(ValueText(X509_NAME_ENTRY_get_data(entry)));
  }
  return out;
}

std::string Sha1Hex(std::span<const std::uint8_t> bytes) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha1(), nullptr) != 1) {
    return {};
  }
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string out;
  for (unsigned int i = 0; i < size; ++i) {
    out += kDigits[digest[i] >> 4U];
    out += kDigits[digest[i] & 0xFU];
  }
  return out;
}

// How far the outer DER element claims to reach: 0 when the header itself is cut short or
// uses a length form DER does not have.
std::size_t OuterElementSize(std::span<const std::uint8_t> der) {
  if (der.size() < 2) return 0;
  const std::uint8_t first = der[1];
  if (first < 0x80) return 2 + std::size_t{first};
  const std::size_t octets = first & 0x7FU;
  if (octets == 0 || octets > 4 || der.size() < 2 + octets) return 0;
  std::size_t length = 0;
  for (std::size_t i = 0; i < octets; ++i) length = (length << 8U) | der[2 + i];
  return 2 + octets + length;
}

std::uint32_t ErrorFromErrno(int error) {
  switch (error) {
    case ENOSPC:
      return win::kErrorDiskFull;
    case ENOMEM:
      return win::kErrorNotEnoughMemory;
    case ENOENT:
    case ENOTDIR:
      return win::kErrorPathNotFound;
    default:
      return win::kErrorAccessDenied;
  }
}

// Writes `file` of the machine folder `machine` so that it holds either its old content or
// all of `bytes`: a temporary file beside it, flushed, renamed over it, and the folder entry
// flushed.
std::uint32_t ReplaceFileAtomically(const fs::path& machine, const fs::path& file,
                                    std::span<const std::uint8_t> bytes) {
  MachineWriteOptions options;
  options.sync = true;
  options.temporaryName = "." + file.filename().string() + ".tmp";
  switch (WriteMachineFileAtomically(
      machine, MachineRelative(machine, file),
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), options)) {
    case MachineFileStatus::kOk:
      return win::kErrorSuccess;
    case MachineFileStatus::kMissing:
      return win::kErrorPathNotFound;
    case MachineFileStatus::kFailed:
      return ErrorFromErrno(errno);
    default:
      return win::kErrorAccessDenied;
  }
}

// A regular file of the store, never one reached through a symbolic link.
std::vector<std::uint8_t> ReadSmallFile(const fs::path& machine, const fs::path& path) {
  std::string text;
  if (ReadMachineFile(machine, MachineRelative(machine, path), text, kMaxCertificateFile) !=
      MachineFileStatus::kOk) {
    return {};
  }
  return {text.begin(), text.end()};
}

// Whether `path` or a folder on the way to it below `root` is a symbolic link: the stores
// never follow one, so no certificate is read from or written to outside the machine.
bool PassesLink(const fs::path& root, const fs::path& path) {
  std::error_code error;
  fs::path at = root;
  for (const fs::path& part : path.lexically_relative(root)) {
    at /= part;
    if (fs::symlink_status(at, error).type() == fs::file_type::symlink) return true;
  }
  return false;
}

// The folder below `parent` whose name equals `name` without regard to ASCII case: the exact
// spelling first, then the first match in name order; `name` as spelled when there is none.
fs::path FindFolder(const fs::path& parent, std::string_view name) {
  fs::path exact = parent / std::string(name);
  std::error_code error;
  if (fs::symlink_status(exact, error).type() == fs::file_type::directory) return exact;
  std::vector<fs::path> matches;
  for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
    if (EqualsIgnoringCase(it->path().filename().string(), name) &&
        it->symlink_status(error).type() == fs::file_type::directory) {
      matches.push_back(it->path());
    }
  }
  return matches.empty() ? exact : *std::min_element(matches.begin(), matches.end());
}

bool IsStoreName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

class EmulatedCertificateStore final : public CertificateStore {
 public:
  EmulatedCertificateStore(EmulatedCertificateStores& stores, fs::path dir, bool userRoot)
      : stores_(stores), dir_(std::move(dir)), userRoot_(userRoot) {}

  bool ContainsSubject(std::string_view text) override {
    return !EncodedWithSubject(text, true).empty();
  }

  std::vector<std::vector<std::uint8_t>> EncodedWithSubject(std::string_view text) override {
    return EncodedWithSubject(text, false);
  }

  std::vector<std::vector<std::uint8_t>> EncodedWithSubject(std::string_view text, bool first) {
    const std::string wanted = FoldAscii(text);
    std::vector<std::vector<std::uint8_t>> found;
    Search(dir_, wanted, first, found);
    // The user's "ROOT" shows the machine's root certificates too.
    if (userRoot_ && !(first && !found.empty())) {
      Search(FindFolder(stores_.machineDir(), "ROOT"), wanted, first, found);
    }
    return found;
  }

  std::uint32_t AddEncoded(std::span<const std::uint8_t> der) override {
    CertificateFacts facts;
    if (const std::uint32_t error = ReadCertificate(der, facts); error != 0) return error;
    if (userRoot_ &&
        !stores_.ConfirmRootAdd({facts.subject, facts.issuer, ThumbprintText(facts.sha1)})) {
      return win::kErrorCancelled;
    }
    if (PassesLink(machineRoot(), dir_)) return win::kErrorAccessDenied;
    // The folder may have gone since the store opened.
    (void)MakeMachineFolders(machineRoot(), MachineRelative(machineRoot(), dir_));
    return ReplaceFileAtomically(machineRoot(), dir_ / (facts.sha1 + ".cer"), der);
  }

 private:
  [[nodiscard]] fs::path machineRoot() const {
    return stores_.userDir().parent_path().parent_path();
  }

  void Search(const fs::path& dir, const std::string& wanted, bool first,
              std::vector<std::vector<std::uint8_t>>& found) const {
    if (PassesLink(machineRoot(), dir)) return;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
      std::vector<std::uint8_t> bytes = ReadSmallFile(machineRoot(), it->path());
      CertificateFacts facts;
      if (bytes.empty() || ReadCertificate(bytes, facts) != 0) continue;
      if (FoldAscii(facts.subject).find(wanted) == std::string::npos) continue;
      found.push_back(std::move(bytes));
      if (first) return;
    }
  }

  EmulatedCertificateStores& stores_;
  fs::path dir_;
  bool userRoot_;
};

}  // namespace

std::uint32_t ReadCertificate(std::span<const std::uint8_t> der, CertificateFacts& facts) {
  if (der.empty()) return win::kCryptEAsn1Eod;
  if (der[0] != 0x30) return win::kCryptEAsn1BadTag;  // a certificate is a SEQUENCE
  const std::size_t outer = OuterElementSize(der);
  if (outer == 0 || outer > der.size()) return win::kCryptEAsn1Eod;
  // Bytes after the certificate would be stored and hashed with it: refuse them.
  if (outer != der.size() || der.size() > static_cast<std::size_t>(INT32_MAX)) {
    return win::kCryptEAsn1Corrupt;
  }
  const unsigned char* next = der.data();
  const std::unique_ptr<X509, X509Free> cert(
      d2i_X509(nullptr, &next, static_cast<long>(der.size())));
  if (!cert || next != der.data() + der.size()) return win::kCryptEAsn1Corrupt;
  facts.subject = RenderName(X509_get_subject_name(cert.get()));
  facts.issuer = RenderName(X509_get_issuer_name(cert.get()));
  facts.sha1 = Sha1Hex(der);
  return win::kErrorSuccess;
}

std::string SimpleNameString(std::span<const std::uint8_t> der) {
  if (der.size() > static_cast<std::size_t>(INT32_MAX)) return {};
  const unsigned char* next = der.data();
  const std::unique_ptr<X509_NAME, X509NameFree> name(
      d2i_X509_NAME(nullptr, &next, static_cast<long>(der.size())));
  return name ? RenderName(name.get()) : std::string();
}

std::string ThumbprintText(const std::string& sha1) {
  std::string out;
  for (std::size_t i = 0; i < sha1.size(); i += 8) {
    if (i > 0) out += ' ';
    out += sha1.substr(i, 8);
  }
  return out;
}

namespace {

// Appends "<path>: <what>" as one line of `errors`.
void AddError(std::string& errors, const fs::path& path, std::string_view what) {
  if (!errors.empty()) errors += '\n';
  errors += path.string();
  errors += ": ";
  errors += what;
}

// Checks that `dir`, when present, is a real folder whose entries can be listed; false (with
// the reason in `errors`) when it is not.
bool CheckFolder(const fs::path& dir, std::string& errors) {
  std::error_code error;
  const fs::file_type type = fs::symlink_status(dir, error).type();
  if (type == fs::file_type::not_found) return false;
  if (type == fs::file_type::symlink) {
    AddError(errors, dir, "is a symbolic link, which is not followed");
    return false;
  }
  if (type != fs::file_type::directory) {
    AddError(errors, dir, "is not a folder");
    return false;
  }
  fs::directory_iterator it(dir, error);
  while (!error && it != fs::directory_iterator()) it.increment(error);
  if (error) {
    AddError(errors, dir, "cannot be read");
    return false;
  }
  return true;
}

// Every store folder below `parent` and every file in it must open: a store that can be read
// only in part would answer searches wrongly. Files that are not certificates stay allowed.
void CheckStores(const fs::path& machine, const fs::path& parent, std::string& errors) {
  if (!CheckFolder(parent, errors)) return;
  std::error_code error;
  std::vector<fs::path> stores;
  for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
    stores.push_back(it->path());
  }
  std::sort(stores.begin(), stores.end());
  for (const fs::path& store : stores) {
    if (!CheckFolder(store, errors)) continue;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(store, error), end; !error && it != end; it.increment(error)) {
      files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      if (fs::symlink_status(file, error).type() != fs::file_type::regular) continue;
      const UniqueFd fd(OpenMachineFile(machine, MachineRelative(machine, file), O_RDONLY, 0));
      if (fd.get() < 0) AddError(errors, file, "cannot be read");
    }
  }
}

}  // namespace

EmulatedCertificateStores::EmulatedCertificateStores(const MachineFolder& folder)
    : root_(folder.root() / "certs") {
  if (CheckFolder(root_, loadError_)) {
    CheckStores(folder.root(), userDir(), loadError_);
    CheckStores(folder.root(), machineDir(), loadError_);
  }
}

std::unique_ptr<CertificateStore> EmulatedCertificateStores::OpenSystemStore(
    std::string_view name) {
  if (!IsStoreName(name)) return nullptr;
  // Links in the stores' folders are refused: a store never lies outside the machine.
  const fs::path machine = root_.parent_path();
  if (PassesLink(machine, userDir())) return nullptr;
  (void)MakeMachineFolders(machine, MachineRelative(machine, userDir()));
  const fs::path dir = FindFolder(userDir(), name);
  if (PassesLink(machine, dir)) return nullptr;
  // Opening a new name creates the store, as CertOpenSystemStore does.
  if (MakeMachineFolders(machine, MachineRelative(machine, dir)) != MachineFileStatus::kOk) {
    return nullptr;
  }
  return std::make_unique<EmulatedCertificateStore>(*this, dir, EqualsIgnoringCase(name, "ROOT"));
}

void EmulatedCertificateStores::SetRootConfirmation(ConfirmRoot confirm) {
  const std::lock_guard lock(confirmMutex_);
  confirm_ = std::move(confirm);
}

bool EmulatedCertificateStores::ConfirmRootAdd(const RootCertificateConfirmation& what) {
  ConfirmRoot confirm;
  {
    const std::lock_guard lock(confirmMutex_);
    confirm = confirm_;
  }
  // Asked outside the lock: the question is modal and may take the user a while.
  return confirm && confirm(what);
}

}  // namespace corvane::emulated
