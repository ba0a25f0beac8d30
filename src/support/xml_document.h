#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// One element of the index. Offsets point into the document text; indexes point into the
// element table, where 0 stands for the document itself.
// Trivial on purpose: the table allocates records without zeroing and writes each one
// in full when it hands it out.
struct ElementRecord {
  std::int32_t start;        // offset of the '<' of the start tag
  std::int32_t length;       // through the end tag's '>', or the start tag's length
  std::uint32_t tagLengths;  // low 22 bits: start tag; high 10 bits: end tag (0 = none)
  std::uint32_t flags;       // see the kElement* constants
  std::int32_t parent;       // 0 = top level
  std::int32_t firstChild;   // 0 = none
  std::int32_t nextSibling;  // 0 = last
  std::int32_t prevSibling;  // on a first child: the last child, so appending is one step

  [[nodiscard]] std::uint32_t StartTagLength() const { return tagLengths & 0x3FFFFFU; }
  [[nodiscard]] std::uint32_t EndTagLength() const { return tagLengths >> 22U; }
};

inline constexpr std::uint32_t kElementLevelMask = 0xFFFFU;
inline constexpr std::uint32_t kElementFirstChild = 1U << 19U;
inline constexpr std::uint32_t kElementUnended = 1U << 20U;
inline constexpr std::uint32_t kElementIllFormedInside = 1U << 21U;
inline constexpr std::uint32_t kDocumentIllFormed = 1U << 23U;  // record 0 only

// Largest tag lengths the record can hold.
inline constexpr std::uint32_t kMaxStartTagLength = 0x3FFFFFU;
inline constexpr std::uint32_t kMaxEndTagLength = 0x3FFU;

// Element records in segments of 65,536. Growing never moves a full segment, so a
// large document does not copy its index again and again.
class ElementTable {
 public:
  static constexpr std::int32_t kSegmentSize = 65536;

  ElementTable();

  [[nodiscard]] std::int32_t capacity() const { return capacity_; }
  // Makes room for at least `records` records.
  void Reserve(std::int32_t records);
  // Adds half the current capacity, filling the last segment before starting another.
  void Grow();
  // Bytes held by the records, for measuring the index.
  [[nodiscard]] std::size_t RecordBytes() const;

  ElementRecord& operator[](std::int32_t index) {
    return segments_[static_cast<std::size_t>(index) >> 16U][index & (kSegmentSize - 1)];
  }
  const ElementRecord& operator[](std::int32_t index) const {
    return segments_[static_cast<std::size_t>(index) >> 16U][index & (kSegmentSize - 1)];
  }

 private:
  // Brings the capacity to `records`, adding at most one segment.
  void GrowTo(std::int64_t records);

  std::vector<std::unique_ptr<ElementRecord[]>> segments_;  // NOLINT(*-avoid-c-arrays)
  std::int32_t lastSegmentSize_ = 0;
  std::int32_t capacity_ = 0;
};

// An XML document as its text plus an index of its elements, walked with a cursor.
// Works on bytes: offsets are byte offsets, names compare byte for byte, and character
// references come out as UTF-8. A NUL byte ends the text wherever it stands.
class XmlDocument {
 public:
  XmlDocument();

  // Replaces the text and indexes it. True when the document is well-formed: one root
  // element and no markup errors. An ill-formed document is still indexed, with the
  // recovery rules in the implementation.
  bool SetText(std::string text);

  // Moves to the next child of the current parent whose name is `name` (any element
  // when empty). On failure the cursor stays where it was.
  bool NextElement(std::string_view name = {});
  // Makes the current element the parent, so NextElement searches its children.
  bool EnterElement();
  // Returns to the parent, which becomes the current element again.
  bool LeaveElement();
  // Lets the next NextElement search the current parent's children from the first.
  void RewindElements();

  // Decoded value of an attribute of the current element; empty when absent.
  [[nodiscard]] std::string GetAttribute(std::string_view name) const;
  // Decoded text of the current element; empty when it has child elements.
  [[nodiscard]] std::string GetText() const;

  // Diagnostic reports of the last parse, e.g. <lone_end_tag tagname="b" offset="10"/>.
  [[nodiscard]] const std::string& result() const { return result_; }
  [[nodiscard]] const std::string& text() const { return text_; }
  // Inspection of the index: record 0 is the document, elements are 1..elementCount().
  [[nodiscard]] std::int32_t elementCount() const { return nextFree_ - 1; }
  [[nodiscard]] const ElementRecord& element(std::int32_t index) const { return elements_[index]; }
  [[nodiscard]] std::int32_t currentElement() const { return mainPos_; }
  [[nodiscard]] std::int32_t currentParent() const { return parentPos_; }
  // Name of an element as the cursor compares it.
  [[nodiscard]] std::string_view ElementName(std::int32_t index) const;
  [[nodiscard]] std::size_t IndexBytes() const { return elements_.RecordBytes(); }

 private:
  struct OpenElement {
    std::int32_t index;
    std::uint32_t nameStart;
    std::uint32_t nameLength;
  };

  void ClearCursor();
  void Parse();
  void AppendChild(std::int32_t parent, std::int32_t child);
  // Closes the open elements stack[from..] that never got their end tag.
  void CloseUnended(std::vector<OpenElement>& stack, std::size_t from, std::uint32_t offset2);
  void MarkIllFormed(std::int32_t element);
  [[nodiscard]] std::string Decode(std::uint32_t from, std::uint32_t to) const;

  std::string text_;
  std::string result_;
  std::int32_t parentPos_ = 0;
  std::int32_t mainPos_ = 0;
  std::int32_t childPos_ = 0;
  std::int32_t nextFree_ = 1;
  std::uint32_t cursorKind_ = 0;
  std::uint32_t end_ = 0;  // the text ends here: its length, or its first NUL
  ElementTable elements_;
};

}  // namespace corvane
