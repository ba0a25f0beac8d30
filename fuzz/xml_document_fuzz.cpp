// Feeds arbitrary bytes to the XML reader, walks the whole index with the cursor, reads
// every attribute and text, and checks the index links. Any crash, sanitizer report or
// broken invariant is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/xml_document.h"

namespace {

void Fail(const char* what, int line) {
  (void)std::fprintf(stderr, "check failed at line %d: %s\n", line, what);
  std::abort();
}

#define Check(condition) /* NOLINT(cppcoreguidelines-macro-usage): needs the text and line */ \
  ((condition) ? (void)0 : Fail(#condition, __LINE__))

void CheckIndex(const corvane::XmlDocument& doc) {
  const std::int32_t count = doc.elementCount();
  std::int32_t reached = 0;
  const auto textLength = static_cast<std::int64_t>(doc.element(0).length);
  for (std::int32_t parent = 0; parent <= count; ++parent) {
    const corvane::ElementRecord& p = doc.element(parent);
    if (parent > 0) {
      Check(p.start >= 0 && p.length > 0 &&
            p.start + static_cast<std::int64_t>(p.length) <= textLength);
      Check(p.StartTagLength() + p.EndTagLength() <= static_cast<std::uint32_t>(p.length));
    }
    std::int32_t previous = 0;
    for (std::int32_t i = p.firstChild; i != 0; i = doc.element(i).nextSibling) {
      Check(i > parent && i <= count);  // children are created after their parent
      Check(doc.element(i).parent == parent);
      if (previous != 0) Check(doc.element(i).prevSibling == previous);
      Check(previous == 0 || i > previous);
      previous = i;
      ++reached;
    }
    if (p.firstChild != 0) Check(doc.element(p.firstChild).prevSibling == previous);
  }
  Check(reached == count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte picks the attribute name to look up; the rest is the document.
  static constexpr std::string_view kNames[] = {"a", "name", "type", "x", "", "a b", "id"};
  const std::string_view attribute = size > 0 ? kNames[data[0] % std::size(kNames)] : "";
  const std::string text(reinterpret_cast<const char*>(data), size);

  corvane::XmlDocument doc;
  const bool wellFormed = doc.SetText(text);
  Check(doc.result().size() < 4096);  // bounded, however broken the input
  CheckIndex(doc);
  if (wellFormed) {
    Check(doc.element(0).firstChild != 0 &&
          doc.element(doc.element(0).firstChild).nextSibling == 0);
  }

  // Depth-first walk: every element once, reading what the configuration reader reads.
  std::int32_t visited = 0;
  for (std::int32_t steps = 0; steps < 4 * (doc.elementCount() + 1); ++steps) {
    if (doc.NextElement()) {
      ++visited;
      const std::string value = doc.GetAttribute(attribute);
      const std::string own = doc.GetText();
      Check(value.size() <= text.size() * 2 && own.size() <= text.size() * 2);
      if (doc.EnterElement()) continue;
    }
    if (!doc.LeaveElement()) break;
  }
  Check(visited == doc.elementCount());
  doc.RewindElements();
  (void)doc.NextElement(doc.ElementName(1));
  return 0;
}
