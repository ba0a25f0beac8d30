#pragma once

// Resources embedded in a Linux executable by cmake/CorvaneResources.cmake. Types and names
// are written as in the resource list: digits for numbers, otherwise names.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/resources.h"

namespace corvane::emulated {

struct EmbeddedResource {
  std::string_view type;
  std::string_view name;
  const unsigned char* data;
  std::size_t size;
};

struct EmbeddedString {
  std::uint32_t id;
  std::string_view text;
};

struct EmbeddedResourceTable {
  std::span<const EmbeddedResource> resources;
  std::span<const EmbeddedString> strings;
};

// Defined by the generated resource file linked into the executable. Weak, so that a program
// without resources links too and finds none, as FindResource would.
[[gnu::weak]] EmbeddedResourceTable LinkedResources();

// The resources of the running program.
class EmulatedResources final : public Resources {
 public:
  EmulatedResources();
  explicit EmulatedResources(EmbeddedResourceTable table) : table_(table) {}

  std::vector<std::uint8_t> Load(const ResourceId& name, const ResourceId& type) override;
  std::string LoadTableString(std::uint32_t id) override;

 private:
  EmbeddedResourceTable table_;
};

}  // namespace corvane::emulated
