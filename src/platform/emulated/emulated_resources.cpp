#include "platform/emulated/embedded_resources.h"

namespace corvane::emulated {

EmulatedResources::EmulatedResources()
    : table_(LinkedResources != nullptr ? LinkedResources() : EmbeddedResourceTable{}) {}

std::vector<std::uint8_t> EmulatedResources::Load(const ResourceId& name, const ResourceId& type) {
  for (const EmbeddedResource& resource : table_.resources) {
    if (type.Matches(resource.type) && name.Matches(resource.name)) {
      return {resource.data, resource.data + resource.size};
    }
  }
  return {};
}

std::string EmulatedResources::LoadTableString(std::uint32_t id) {
  for (const EmbeddedString& entry : table_.strings) {
    if (entry.id == id) return std::string(entry.text);
  }
  return {};
}

}  // namespace corvane::emulated
