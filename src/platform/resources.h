#pragma once

// The resources of the running executable, found by name and type as FindResource finds
// them, and its string table.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

namespace win {
inline constexpr int kRtString = 6;
inline constexpr int kRtVersion = 16;
inline constexpr int kRtHtml = 23;
inline constexpr int kRtManifest = 24;
}  // namespace win

// A resource name or type: a number (MAKEINTRESOURCE) or a name. As with FindResource, the
// name "#123" is the number 123, and names compare without regard to case.
class ResourceId {
 public:
  ResourceId(int number);  // NOLINT(google-explicit-constructor): numbers stand for ids
  ResourceId(const char* name) : ResourceId(std::string_view(name)) {}  // NOLINT
  ResourceId(std::string_view name);                                    // NOLINT

  [[nodiscard]] bool isNumber() const { return isNumber_; }
  [[nodiscard]] std::uint16_t number() const { return number_; }
  // Upper case, as the resource compiler stores names.
  [[nodiscard]] const std::string& name() const { return name_; }

  // Whether this id is the one a resource list writes as `text` (digits for a number).
  [[nodiscard]] bool Matches(std::string_view text) const;

 private:
  bool isNumber_ = false;
  std::uint16_t number_ = 0;
  std::string name_;
};

class Resources {
 public:
  Resources() = default;
  Resources(const Resources&) = delete;
  Resources& operator=(const Resources&) = delete;
  Resources(Resources&&) = delete;
  Resources& operator=(Resources&&) = delete;
  virtual ~Resources() = default;

  // The resource's bytes; empty when it is missing (or empty).
  virtual std::vector<std::uint8_t> Load(const ResourceId& name, const ResourceId& type) = 0;
  // A string of the string table in UTF-8; empty when there is none with that id.
  virtual std::string LoadTableString(std::uint32_t id) = 0;
};

// The bytes of a resource of the running executable, through the process-wide platform;
// empty when it is missing.
std::vector<std::uint8_t> LoadResourceBytes(const ResourceId& name, const ResourceId& type);

}  // namespace corvane
