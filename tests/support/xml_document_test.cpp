#include "support/xml_document.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/xml_entities.h"

namespace corvane {
namespace {

using namespace std::string_literals;

// Checks the links of the whole index: every child names its parent, sibling chains are
// consistent, a first child's prevSibling names the last child, and every element is
// reached exactly once from the document.
void ExpectConsistentIndex(const XmlDocument& doc) {
  std::set<std::int32_t> seen;
  std::vector<std::int32_t> parents = {0};
  while (!parents.empty()) {
    const std::int32_t parent = parents.back();
    parents.pop_back();
    const std::int32_t first = doc.element(parent).firstChild;
    if (first == 0) continue;
    EXPECT_NE(doc.element(first).flags & kElementFirstChild, 0U) << "element " << first;
    std::int32_t previous = 0;
    for (std::int32_t i = first; i != 0; i = doc.element(i).nextSibling) {
      ASSERT_GT(i, 0);
      ASSERT_LE(i, doc.elementCount());
      ASSERT_TRUE(seen.insert(i).second) << "element " << i << " reached twice";
      EXPECT_EQ(doc.element(i).parent, parent) << "element " << i;
      if (previous != 0) {
        EXPECT_EQ(doc.element(i).prevSibling, previous) << "element " << i;
        EXPECT_EQ(doc.element(i).flags & kElementFirstChild, 0U) << "element " << i;
      }
      previous = i;
      parents.push_back(i);
    }
    EXPECT_EQ(doc.element(first).prevSibling, previous) << "first child of " << parent;
  }
  EXPECT_EQ(static_cast<std::int32_t>(seen.size()), doc.elementCount());
}

struct ParseCase {
  std::string text;
  bool wellFormed;
  std::string result;
};

TEST(XmlDocumentTest, WellFormednessAndReports) {
  const std::vector<ParseCase> cases = {
      {"", false, ""},
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<a/>\n", true, ""},
      {"<!-- c --><?pi x?><a/><!-- after -->  ", true, ""},
      {"<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!-- x > y --><!ATTLIST a b CDATA \"v>w\">]><a/>", true,
       ""},
      {"<a/><b/>", false, "<root_has_sibling/>"},
      {"abc", false, "<no_root_element/>"},
      {"<a><b></a>", false, R"(<unended_start_tag tagname="b" offset="3" offset2="7"/>)"},
      {"<a></b></a>", false, R"(<lone_end_tag tagname="b" offset="3"/>)"},
      {"</b><a/>", false, R"(<lone_end_tag tagname="b" offset="0"/>)"},
      {"<a>", false, R"(<unended_start_tag tagname="a" offset="0" offset2="3"/>)"},
      {"<a>< b</a>", false, "<first_tag_syntax offset=\"3\"/>"},
      {"<a><!x></a>", false, "<exclamation_tag_syntax offset=\"3\"/>"},
      {"<a><!-x></a>", false, "<comment_tag_syntax offset=\"3\"/>"},
      {"<a><![x]></a>", false, "<cdata_section_syntax offset=\"3\"/>"},
      {"<a><!-- open", false,
       "<unterminated_tag_syntax type=\"comment\" offset=\"3\"/>"
       "<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"12\"/>"},
      {"<a x=\"1", false,
       R"(<unterminated_tag_syntax type="start_tag" offset="0"/><no_root_element/>)"},
      {"<a></a", false,
       "<unterminated_tag_syntax type=\"end_tag\" offset=\"3\"/>"
       "<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"6\"/>"},
      {"<!DOCTYPE a", false,
       R"(<unterminated_tag_syntax type="document_type" offset="0"/><no_root_element/>)"},
      {"<a/><!", false, R"(<unterminated_tag_syntax type="tag" offset="4"/>)"},
      {"<!DOCTYPE a [<!x>]><a/>", true, "<doctype_tag_syntax offset=\"13\"/>"},
      // Report values are escaped.
      {"<a></x\"&'<></a>", false, R"(<lone_end_tag tagname="x&quot;&amp;&apos;&lt;" offset="3"/>)"},
      // A NUL byte ends the text.
      {"<a/>\0<b/>"s, true, ""},
      {"\0<a/>"s, false, ""},
  };
  for (const ParseCase& c : cases) {
    XmlDocument doc;
    EXPECT_EQ(doc.SetText(c.text), c.wellFormed) << c.text;
    EXPECT_EQ(doc.result(), c.result) << c.text;
    ExpectConsistentIndex(doc);
  }
}

TEST(XmlDocumentTest, ReportsStopGrowingAtTheLimit) {
  std::string text = "<a>";
  for (int i = 0; i < 300; ++i) text += "</b>";
  text += "</a>";
  XmlDocument doc;
  EXPECT_FALSE(doc.SetText(text));
  const std::string one = R"(<lone_end_tag tagname="b" offset="100"/>)";
  EXPECT_GE(doc.result().size(), 1000U);
  EXPECT_LT(doc.result().size(), 1000U + one.size());
  // The parse itself went on: the root is closed by its end tag.
  ASSERT_TRUE(doc.NextElement("a"));
  EXPECT_EQ(doc.element(1).length, static_cast<std::int32_t>(text.size()));

  // One report with a huge name stays small too.
  EXPECT_FALSE(doc.SetText("<a></" + std::string(1 << 20, 'x') + "></a>"));
  EXPECT_EQ(doc.result(), "<lone_end_tag tagname=\"" + std::string(256, 'x') + "\" offset=\"3\"/>");
}

TEST(XmlDocumentTest, RecordsOfAWellFormedDocument) {
  const std::string text = "<r><a x='1'>t</a><b/></r>";
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(text));
  ASSERT_EQ(doc.elementCount(), 3);
  const ElementRecord& r = doc.element(1);
  const ElementRecord& a = doc.element(2);
  const ElementRecord& b = doc.element(3);
  EXPECT_EQ(doc.element(0).length, 25);
  EXPECT_EQ(doc.element(0).firstChild, 1);
  EXPECT_EQ(r.start, 0);
  EXPECT_EQ(r.length, 25);
  EXPECT_EQ(r.StartTagLength(), 3U);
  EXPECT_EQ(r.EndTagLength(), 4U);
  EXPECT_EQ(r.flags, kElementFirstChild | 0U);
  EXPECT_EQ(a.start, 3);
  EXPECT_EQ(a.length, 14);
  EXPECT_EQ(a.StartTagLength(), 9U);
  EXPECT_EQ(a.EndTagLength(), 4U);
  EXPECT_EQ(a.flags, kElementFirstChild | 1U);
  EXPECT_EQ(a.prevSibling, 3);
  EXPECT_EQ(a.nextSibling, 3);
  EXPECT_EQ(b.start, 17);
  EXPECT_EQ(b.length, 4);
  EXPECT_EQ(b.tagLengths, 4U);
  EXPECT_EQ(b.flags, 1U);
  EXPECT_EQ(b.prevSibling, 2);
}

// <r><a><b/><c><d/></r>: c is closed first and hands d to a, then a hands b, c and d to r.
TEST(XmlDocumentTest, UnendedElementsHandTheirChildrenToTheirParent) {
  const std::string text = "<r><a><b/><c><d/></r>";
  XmlDocument doc;
  EXPECT_FALSE(doc.SetText(text));
  EXPECT_EQ(doc.result(),
            "<unended_start_tag tagname=\"c\" offset=\"10\" offset2=\"18\"/>"
            "<unended_start_tag tagname=\"a\" offset=\"3\" offset2=\"18\"/>");
  ExpectConsistentIndex(doc);
  ASSERT_TRUE(doc.NextElement("r"));
  EXPECT_EQ(doc.element(1).length, static_cast<std::int32_t>(text.size()));
  ASSERT_TRUE(doc.EnterElement());
  std::string names;
  while (doc.NextElement()) names += doc.ElementName(doc.currentElement());
  EXPECT_EQ(names, "abcd");
  for (std::int32_t i : {2, 4}) {
    EXPECT_NE(doc.element(i).flags & kElementUnended, 0U);
    EXPECT_EQ(doc.element(i).length, 3);
    EXPECT_EQ(doc.element(i).EndTagLength(), 0U);
    EXPECT_EQ(doc.element(i).firstChild, 0);
  }
}

TEST(XmlDocumentTest, IllFormedMarkupFlagMovesOutOfUnendedElements) {
  XmlDocument doc;
  EXPECT_FALSE(doc.SetText("<r><a></x></r>"));
  EXPECT_EQ(doc.element(2).flags & kElementIllFormedInside, 0U);
  EXPECT_NE(doc.element(1).flags & kElementIllFormedInside, 0U);
  EXPECT_NE(doc.element(0).flags & kDocumentIllFormed, 0U);

  EXPECT_FALSE(doc.SetText("<r/><!x>"));
  EXPECT_NE(doc.element(0).flags & kElementIllFormedInside, 0U);
  EXPECT_EQ(doc.element(1).flags & kElementIllFormedInside, 0U);
}

// Tags too long for the record's fields are refused, but the index stays usable.
TEST(XmlDocumentTest, OversizedTagsSpoilTheDocumentButKeepTheIndex) {
  XmlDocument doc;
  const std::string longStart = "<a x=\"" + std::string(4U << 20U, 'v') + "\">t</a>";
  EXPECT_FALSE(doc.SetText(longStart));
  ASSERT_EQ(doc.elementCount(), 1);
  EXPECT_EQ(doc.element(1).StartTagLength(), kMaxStartTagLength);
  EXPECT_EQ(doc.element(1).length, static_cast<std::int32_t>(longStart.size()));
  EXPECT_NE(doc.element(1).flags & kElementIllFormedInside, 0U);
  ASSERT_TRUE(doc.NextElement("a"));
  EXPECT_EQ(doc.GetAttribute("x").size(), kMaxStartTagLength - 6);  // cut at the field's end
  (void)doc.GetText();

  const std::string longEnd = "<a>t</a" + std::string(2000, ' ') + ">";
  EXPECT_FALSE(doc.SetText(longEnd));
  EXPECT_EQ(doc.element(1).EndTagLength(), kMaxEndTagLength);
  EXPECT_EQ(doc.element(1).length, static_cast<std::int32_t>(longEnd.size()));
  EXPECT_NE(doc.element(1).flags & kElementIllFormedInside, 0U);
  ASSERT_TRUE(doc.NextElement("a"));
  (void)doc.GetText();
  ExpectConsistentIndex(doc);
}

// A straightforward model of the recovery rules, closing unended elements one at a time,
// to check the index on random broken documents.
class TreeModel {
 public:
  explicit TreeModel(const std::vector<std::string>& tokens) {
    nodes_.push_back({});
    std::vector<int> stack;
    for (const std::string& token : tokens) {
      if (token.size() > 2 && token[1] == '/') {
        const std::string name = token.substr(2, token.size() - 3);
        int k = static_cast<int>(stack.size()) - 1;
        while (k >= 0 && nodes_[stack[k]].name != name) --k;
        if (k < 0) continue;
        while (static_cast<int>(stack.size()) > k + 1) Close(stack);
        stack.pop_back();
      } else if (token[0] == '<') {
        const bool empty = token[token.size() - 2] == '/';
        const int parent = stack.empty() ? 0 : stack.back();
        nodes_.push_back({token.substr(1, 1), parent, {}, false});
        const int index = static_cast<int>(nodes_.size()) - 1;
        nodes_[parent].children.push_back(index);
        if (!empty) stack.push_back(index);
      }
    }
    while (!stack.empty()) Close(stack);
  }

  struct Node {
    std::string name;
    int parent = 0;
    std::vector<int> children;
    bool unended = false;
  };
  const std::vector<Node>& nodes() const { return nodes_; }

 private:
  void Close(std::vector<int>& stack) {
    const int e = stack.back();
    stack.pop_back();
    Node& node = nodes_[e];
    node.unended = true;
    std::vector<int>& siblings = nodes_[node.parent].children;
    auto at = std::find(siblings.begin(), siblings.end(), e) + 1;
    for (int child : node.children) nodes_[child].parent = node.parent;
    siblings.insert(at, node.children.begin(), node.children.end());
    node.children.clear();
  }

  std::vector<Node> nodes_;
};

TEST(XmlDocumentTest, RecoveryMatchesAStepByStepModel) {
  const std::vector<std::string> alphabet = {"<a>",  "<b>",  "<c>",  "<d/>", "</a>",
                                             "</b>", "</c>", "</x>", "t"};
  std::mt19937 random(20261210);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::string> tokens;
    std::string text;
    const int count = 1 + static_cast<int>(random() % 24);
    for (int i = 0; i < count; ++i) {
      tokens.push_back(alphabet[random() % alphabet.size()]);
      text += tokens.back();
    }
    const TreeModel model(tokens);
    XmlDocument doc;
    doc.SetText(text);
    ExpectConsistentIndex(doc);
    ASSERT_EQ(doc.elementCount() + 1, static_cast<std::int32_t>(model.nodes().size())) << text;
    for (std::int32_t i = 0; i <= doc.elementCount(); ++i) {
      const TreeModel::Node& node = model.nodes()[i];
      std::vector<int> children;
      for (std::int32_t c = doc.element(i).firstChild; c != 0; c = doc.element(c).nextSibling) {
        children.push_back(c);
      }
      ASSERT_EQ(children, node.children) << text << " element " << i;
      ASSERT_EQ(doc.element(i).parent, node.parent) << text << " element " << i;
      if (i > 0) {
        ASSERT_EQ((doc.element(i).flags & kElementUnended) != 0, node.unended) << text;
      }
    }
  }
}

TEST(XmlDocumentTest, CursorWalksAConfigurationLikeDocument) {
  XmlDocument doc;
  ASSERT_TRUE(
      doc.SetText("<checkitems>\n"
                  "  <section id=\"1\"><item name=\"x\"/><other/><item name=\"y\"/></section>\n"
                  "  <section id=\"2\"/>\n"
                  "</checkitems>\n"));
  EXPECT_FALSE(doc.EnterElement());  // no current element yet
  EXPECT_FALSE(doc.LeaveElement());  // already at the top
  EXPECT_FALSE(doc.NextElement("section"));
  ASSERT_TRUE(doc.NextElement("checkitems"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.NextElement("section"));
  EXPECT_EQ(doc.GetAttribute("id"), "1");
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_FALSE(doc.NextElement("Item"));  // names are case-sensitive
  EXPECT_FALSE(doc.NextElement("ite"));
  ASSERT_TRUE(doc.NextElement("item"));
  EXPECT_EQ(doc.GetAttribute("name"), "x");
  ASSERT_TRUE(doc.NextElement("item"));
  EXPECT_EQ(doc.GetAttribute("name"), "y");
  const std::int32_t lastItem = doc.currentElement();
  EXPECT_FALSE(doc.NextElement("item"));  // stays on the last hit
  EXPECT_EQ(doc.currentElement(), lastItem);
  EXPECT_EQ(doc.GetAttribute("name"), "y");
  ASSERT_TRUE(doc.LeaveElement());
  EXPECT_EQ(doc.GetAttribute("id"), "1");
  ASSERT_TRUE(doc.NextElement("section"));
  EXPECT_EQ(doc.GetAttribute("id"), "2");
  doc.RewindElements();
  EXPECT_EQ(doc.GetAttribute("id"), "");  // no current element after a rewind
  ASSERT_TRUE(doc.NextElement("section"));
  EXPECT_EQ(doc.GetAttribute("id"), "1");
  // Entering again resumes at the child the cursor left from.
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_EQ(doc.currentElement(), 0);
  ASSERT_TRUE(doc.NextElement());
  EXPECT_EQ(doc.GetAttribute("name"), "x");
  ASSERT_TRUE(doc.LeaveElement());
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_EQ(doc.GetAttribute("name"), "x");
  // A new text clears the cursor.
  ASSERT_TRUE(doc.SetText("<checkitems/>"));
  EXPECT_EQ(doc.currentElement(), 0);
  EXPECT_EQ(doc.currentParent(), 0);
  EXPECT_FALSE(doc.EnterElement());
}

struct AttributeCase {
  std::string element;
  std::string name;
  std::string value;
};

TEST(XmlDocumentTest, GetAttribute) {
  const std::vector<AttributeCase> cases = {
      {"<e flag x = 'v>w'/>", "flag", "flag"},
      {"<e flag x = 'v>w'/>", "x", "v>w"},
      {"<e a=x/>", "a", "x/"},
      {"<e Name=\"1\"/>", "name", ""},
      {"<e Name=\"1\"/>", "Name", "1"},
      {R"(<e a="1" a="2"/>)", "a", "1"},
      {"<e e=\"1\"/>", "e", "1"},  // the element's own name is passed over
      {"<e a = \"1\" b='2' c=3>", "c", "3"},
      {"<e a/>", "a", "a"},
      {"<e a b=\"2\"/>", "a", "a"},
      {"<e a=>", "a", ""},
      {R"(<e "q" a="1"/>)", "a", "1"},
      {"<e a=\"x&amp;y&#x4E2D;&lt;\"/>", "a", "x&y\xE4\xB8\xAD<"},
      {"<e a=\"1\"/>", "b", ""},
      {"<e a=\"1\"/>", "", ""},
      {R"(<e ab="1" a="2"/>)", "a", "2"},
  };
  for (const AttributeCase& c : cases) {
    XmlDocument doc;
    doc.SetText(c.element);
    ASSERT_TRUE(doc.NextElement("e")) << c.element;
    EXPECT_EQ(doc.GetAttribute(c.name), c.value) << c.element << " " << c.name;
  }
  XmlDocument none;
  none.SetText("<e a=\"1\"/>");
  EXPECT_EQ(none.GetAttribute("a"), "");  // no current element
}

struct EmptyMarkCase {
  std::string element;
  bool empty;
};

TEST(XmlDocumentTest, EmptyElementMark) {
  const std::vector<EmptyMarkCase> cases = {
      {"<e/>", true},    {"<e x=\"y\"/>", true},   {"<e x='y'/>", true},     {"<e x=y/>", false},
      {"<e x=/>", true}, {"<e x=\"1>2\"/>", true}, {"<e x=\"y\"/ >", false}, {"<e x=a\"/>", true},
  };
  for (const EmptyMarkCase& c : cases) {
    XmlDocument doc;
    EXPECT_EQ(doc.SetText(c.element), c.empty) << c.element;
    ASSERT_EQ(doc.elementCount(), 1) << c.element;
    const ElementRecord& e = doc.element(1);
    EXPECT_EQ(e.length, static_cast<std::int32_t>(c.element.size())) << c.element;
    EXPECT_EQ((e.flags & kElementUnended) == 0, c.empty) << c.element;
  }
}

struct TextCase {
  std::string document;
  std::string text;
};

TEST(XmlDocumentTest, GetText) {
  const std::vector<TextCase> cases = {
      {"<e>a&amp;b&#65;&#x42;&bogus;&amp c</e>", "a&bAB&bogus;&amp c"},
      {"<e>x&eacute;</e>", "x\xC3\xA9"},
      {"<e>&EACUTE;&Eacute;&AMP;&apos;&Prime;&PRIME;</e>",
       "\xC3\x89\xC3\x89&'\xE2\x80\xB3\xE2\x80\xB3"},
      {"<e>&abcdefghij;</e>", "&abcdefghij;"},
      {"<e>&#00000065;&#000000065;</e>", "A&#000000065;"},  // names of 9 bytes and 10
      {"<e>&#0;&#;&#-5;&#x;&;</e>", "&#0;&#;&#-5;&#x;&;"},
      {"<e>&#128512;&#xe9;&#X20AC;</e>", "\xF0\x9F\x98\x80\xC3\xA9\xE2\x82\xAC"},
      {"<e>&\xC3\xA9;</e>", "&\xC3\xA9;"},
      {"<e>a<!--c-->b</e>", "ab"},
      {"<e> <![CDATA[x<y]]> </e>", "x<y"},
      {"<e>a<?pi?>b<![CDATA[&amp;]]></e>", "ab&amp;"},
      {"<e><f/>t</e>", ""},
      {"<e/>", ""},
      {"<e></e>", ""},
      {"<e>  a \r\n b  </e>", "  a \r\n b  "},
      {"<e>1 > 0</e>", "1 > 0"},
  };
  for (const TextCase& c : cases) {
    XmlDocument doc;
    EXPECT_TRUE(doc.SetText(c.document)) << c.document;
    ASSERT_TRUE(doc.NextElement("e")) << c.document;
    EXPECT_EQ(doc.GetText(), c.text) << c.document;
  }
  XmlDocument unended;
  unended.SetText("<r><e>text</r>");
  ASSERT_TRUE(unended.NextElement("r"));
  ASSERT_TRUE(unended.EnterElement());
  ASSERT_TRUE(unended.NextElement("e"));
  EXPECT_EQ(unended.GetText(), "");
}

TEST(XmlDocumentTest, EntityTable) {
  EXPECT_EQ(xml::kEntityBucketText[129], "68240permil");
  EXPECT_EQ(xml::kEntityBucketText[128],
            "50913Alpha50202Ecirc70933Upsilon50945alpha50234ecirc70965upsilon");
  EXPECT_EQ(xml::kEntityBucketText[126], "60352Scaron60353scaron");
  std::map<std::string, std::uint32_t> all;
  for (std::size_t b = 0; b < xml::kEntityBuckets; ++b) {
    const std::string_view bucket = xml::kEntityBucketText[b];
    std::string previous;
    for (std::size_t p = 0; p < bucket.size();) {
      const auto length = static_cast<std::size_t>(bucket[p] - '0');
      const std::string name(bucket.substr(p + 5, length));
      const std::uint32_t code = std::stoul(std::string(bucket.substr(p + 1, 4)));
      p += 5 + length;
      unsigned sum = 0;
      for (char c : name) sum += static_cast<unsigned char>(std::tolower(c));
      EXPECT_EQ(sum % xml::kEntityBuckets, b) << name;
      EXPECT_LT(previous, name) << "capitals first within a bucket";
      previous = name;
      EXPECT_TRUE(all.emplace(name, code).second) << name;
      EXPECT_EQ(xml::LookupEntity(name), code) << name;
    }
  }
  EXPECT_EQ(all.size(), 253U);
  EXPECT_EQ(all["nbsp"], 160U);
  EXPECT_EQ(all["yuml"], 255U);
  EXPECT_EQ(all["Yuml"], 376U);
  EXPECT_EQ(all["thetasym"], 977U);
  EXPECT_EQ(all["euro"], 8364U);
  EXPECT_EQ(all["diams"], 9830U);
  EXPECT_EQ(all["apos"], 39U);
  EXPECT_EQ(xml::LookupEntity("DIAMS"), 9830U);
  EXPECT_EQ(xml::LookupEntity("nosuch"), 0U);
  EXPECT_EQ(xml::LookupEntity(""), 0U);
}

TEST(XmlDocumentTest, TableGrowthKeepsFullSegmentsInPlace) {
  ElementTable table;
  EXPECT_EQ(table.capacity(), 8);
  table.Grow();
  EXPECT_EQ(table.capacity(), 12);
  table.Reserve(60000);
  table[59999].start = 7;
  table.Grow();  // fills the first segment only
  EXPECT_EQ(table.capacity(), 65536);
  EXPECT_EQ(table[59999].start, 7);
  const ElementRecord* first = &table[0];
  table.Grow();  // a second segment of half the size
  EXPECT_EQ(table.capacity(), 65536 + 32768);
  table[70000].start = 9;
  table.Grow();  // fills the second segment before a third is added
  EXPECT_EQ(table.capacity(), 131072);
  table.Grow();
  EXPECT_EQ(table.capacity(), 131072 + 65536);
  EXPECT_EQ(&table[0], first);
  EXPECT_EQ(table[70000].start, 9);
}

TEST(XmlDocumentTest, ManyElementsAcrossSegments) {
  constexpr int kItems = 200000;
  std::string text = "<r>";
  for (int i = 0; i < kItems; ++i) text += "<i n=\"" + std::to_string(i) + "\"/>";
  text += "</r>";
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(text));
  ASSERT_EQ(doc.elementCount(), kItems + 1);
  ASSERT_TRUE(doc.NextElement("r"));
  ASSERT_TRUE(doc.EnterElement());
  int count = 0;
  while (doc.NextElement("i")) {
    if (doc.GetAttribute("n") != std::to_string(count)) break;
    ++count;
  }
  EXPECT_EQ(count, kItems);
  ExpectConsistentIndex(doc);
}

// 100 MB of start tags that never end: every close hands its children on, which must stay
// linear, and the report text must stay bounded.
TEST(XmlDocumentTest, HundredMegabytesOfUnendedTags) {
  constexpr std::size_t kTags = 100U * 1024U * 1024U / 3U;
  std::string text;
  text.reserve(kTags * 3);
  for (std::size_t i = 0; i < kTags; ++i) text += "<a>";
  XmlDocument doc;
  EXPECT_FALSE(doc.SetText(std::move(text)));
  ASSERT_EQ(doc.elementCount(), static_cast<std::int32_t>(kTags));
  EXPECT_LT(doc.result().size(), 1100U);
  // All became top-level siblings in document order.
  EXPECT_EQ(doc.element(0).firstChild, 1);
  EXPECT_EQ(doc.element(1).prevSibling, static_cast<std::int32_t>(kTags));
  EXPECT_EQ(doc.element(static_cast<std::int32_t>(kTags)).parent, 0);
  EXPECT_EQ(doc.element(5).nextSibling, 6);
}

TEST(XmlDocumentTest, RandomBytesNeverBreakTheIndex) {
  const std::string alphabet = "<<>>/!?-[]CDAT\"'= \ta&;#xe\x80";
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    std::string text(1 + random() % 400, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    XmlDocument doc;
    doc.SetText(text);
    ExpectConsistentIndex(doc);
    // Walk everything and read everything.
    for (int steps = 0; steps < 10000; ++steps) {
      if (doc.NextElement()) {
        (void)doc.GetAttribute("a");
        (void)doc.GetText();
        if (doc.EnterElement()) continue;
      }
      if (!doc.LeaveElement()) break;
    }
  }
}

}  // namespace
}  // namespace corvane
