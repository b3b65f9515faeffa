// The XML engine on small documents in memory: the events of each construct, exactly
// as the handlers receive them (folding, references, marked sections, namespaces,
// unknown and deep elements), the encodings, the writer, and the faults this engine
// must not have.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "core/xml.h"
#include "tests/core/xml_recorder.h"
#include "tests/support/object_env.h"

namespace {

using xml_test::event;
using xml_test::recorder;
using events = std::vector<event>;

event start(const std::string& n) { return {"start", n, ""}; }
event end(const std::string& n) { return {"end", n, ""}; }
event closed(const std::string& n) { return {"closed", n, ""}; }
event text(const std::string& owner, const std::string& t) { return {"text", owner, t}; }
event attr(const std::string& n, const std::string& v) { return {"attr", n, v}; }

class Xml : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    xml_init();
  }
  void TearDown() override { set_gblerr(0); }
};

std::string nested(const std::string& name, int levels, const std::string& inner) {
  std::string s;
  for (int i = 0; i < levels; ++i) s += "<" + name + ">";
  s += inner;
  for (int i = 0; i < levels; ++i) s += "</" + name + ">";
  return s;
}

TEST_F(Xml, EachConstructGivesItsEvents) {
  const struct {
    std::string doc;
    events want;
  } cases[] = {
      {"<a>x &amp; y</a>", {start("a"), text("a", "x & y"), end("a")}},
      {"\xef\xbb\xbf<a>x</a>", {start("a"), text("a", "x"), end("a")}},  // UTF-8 mark
      {"<a>&#x41;&#65;&#X42;</a>", {start("a"), text("a", "AAB"), end("a")}},
      // Leading blanks dropped, runs folded to their first character, one kept at the end.
      {"<a>  two \t  words \n </a>", {start("a"), text("a", "two words "), end("a")}},
      {"<a>one\n\ttwo</a>", {start("a"), text("a", "one\ntwo"), end("a")}},
      // Text is delivered at the next tag; a comment does not split it.
      {"<a><!-- c -->x<b/></a>", {start("a"), text("a", "x"), start("b"), closed("b"), end("a")}},
      {"<a>x<!-- c -->y</a>", {start("a"), text("a", "xy"), end("a")}},
      // '<!-' not followed by '-' skips to the next '>' and drops the pending text.
      {"<a>x<!- c -->y</a>", {start("a"), text("a", "y"), end("a")}},
      // Namespace prefixes are dropped.
      {"<p:a p:x=\"1\"/>", {start("a"), attr("x", "1"), closed("a")}},
      {"<p:a></p:a>", {start("a"), end("a")}},
      // An end tag closes everything above its element, silently.
      {"<a><b></a>", {start("a"), start("b"), closed("b"), end("a")}},
      {"<a></b></a>", {start("a"), end("a")}},  // matches nothing: ignored
      // Text pending at the end of the file is never delivered.
      {"<a>text", {start("a")}},
      // Marked sections.
      {"<a><![IGNORE[ x ]]>y</a>", {start("a"), text("a", "y"), end("a")}},
      {"<a><![CDATA[ <b> ]]></a>", {start("a"), text("a", " <b> "), end("a")}},
      {"<a>k<![CDATA[  x  ]]>z</a>", {start("a"), text("a", "k  x  z"), end("a")}},
      {"<a><![CDATA[x]y]]z]]></a>", {start("a"), text("a", "x]y]]z"), end("a")}},
      // A ']' run before "]]>" and a blank after "]]" are text.
      {"<a><![CDATA[x]]]]></a>", {start("a"), text("a", "x]]"), end("a")}},
      {"<a><![CDATA[x]] ]]></a>", {start("a"), text("a", "x]] "), end("a")}},
      // Values: folded, references resolved, a bare '&' before the quote dropped.
      {"<a x=\"  1   2 \" y='v&lt;w'/>", {start("a"), attr("x", "1 2 "), attr("y", "v<w"), closed("a")}},
      {"<a x=\"a&\"/>", {start("a"), attr("x", "a"), closed("a")}},
      {"<a x=\"a&\">&amp;</a>", {start("a"), attr("x", "a"), text("a", "&"), end("a")}},
      {"<a x=\"<![CDATA[ q ]] ]]>\"/>", {start("a"), attr("x", " q ]] "), closed("a")}},
      {"<a x='<![CDATA[q]]]>'/>", {start("a"), attr("x", "q]"), closed("a")}},
      // A ']' run longer than the held bytes loses none of its ']'.
      {"<a><![CDATA[x" + std::string(20, ']') + "></a>",
       {start("a"), text("a", "x" + std::string(18, ']')), end("a")}},
      {"<a x=\"<![CDATA[" + std::string(20, ']') + ">\" y='<![CDATA[" + std::string(17, ']') +
           ">'/>",
       {start("a"), attr("x", std::string(18, ']')), attr("y", std::string(15, ']')), closed("a")}},
      // Character data of the element on top of the stack.
      {"<a>1<b>2</b>3</a>", {start("a"), text("a", "1"), start("b"), text("b", "2"), end("b"),
                             text("a", "3"), end("a")}},
  };
  for (const auto& c : cases) {
    recorder rec({"a", "b"}, {"x", "y"});
    rec.raw_text = true;
    EXPECT_EQ(rec.parse(c.doc), c.want) << c.doc;
    EXPECT_EQ(get_gblerr(), 0) << c.doc;
  }
}

// A comment or a marked section may stand inside a text: the blank after it separates
// the words around it (folded with a blank before it), and is a leading blank, dropped,
// when no text comes before it.
TEST_F(Xml, BlankAfterACommentOrASectionSeparatesTheWords) {
  const struct {
    std::string body;
    std::string text;
  } cases[] = {
      {"a<!-- c --> b", "a b"},
      {"a <![CDATA[x]]> b", "a x b"},
      {"a<![IGNORE[ q ]]> b", "a b"},
      {"a <!-- c --> b", "a b"},
      {"a<!-- c -->\t \n b", "a\tb"},
      {"a<!-- c --><!-- d --> b", "a b"},
      {"a<![CDATA[x ]]> b", "ax b"},
      {"<!-- c --> b", "b"},
      {"<![CDATA[]]> b", "b"},
      {"a<!-- c -->&amp; b", "a& b"},
      {"a<!-- c -->b", "ab"},
      {"a<!-- c --> ", "a "},
  };
  for (const auto& c : cases) {
    recorder rec({"r"}, {});
    rec.raw_text = true;
    EXPECT_EQ(rec.parse("<r>" + c.body + "</r>"), (events{start("r"), text("r", c.text), end("r")}))
        << c.body;
  }
}

// A declaration opens one element that is never closed, whatever its internal subset
// holds: the document's elements come at the same depth, with or without a subset, and
// no ']' or '>' inside the subset's literals, comments or instructions ends it.
TEST_F(Xml, InternalSubsetIsSkippedWhole) {
  std::string many;
  for (int i = 0; i < 45; ++i)
    many += i % 2 ? "<!ATTLIST r a" + std::to_string(i) + " CDATA #IMPLIED>"
                  : "<!ENTITY e" + std::to_string(i) + " \"v\">";
  const std::string subsets[] = {
      "",
      " [<!ENTITY e \"v\"><!ATTLIST r x CDATA #IMPLIED>]",
      " [" + many + "]",
      " [ <!ENTITY e \"]>\"> <!ENTITY f ']>'> ] ",
      " [<!-- ]> don't \" --><!ENTITY e 'v'>]",
      " [<?pi ]> ' ?><!ELEMENT r (#PCDATA)>]",
      " SYSTEM \"r[>.dtd\" [<!ENTITY e 'v'>]",
      " PUBLIC \"-//x//y\" 'r>.dtd'",
      "[<!ENTITY e 'v'>]",
  };
  for (const std::string& subset : subsets) {
    recorder rec({"r", "s"}, {"x"});
    rec.raw_text = true;
    const std::string doc = "<!DOCTYPE r" + subset + "><r x=\"1\">t<s/></r>";
    EXPECT_EQ(rec.parse(doc), (events{start("r"), attr("x", "1"), text("r", "t"), start("s"),
                                      closed("s"), end("r")}))
        << doc;
    EXPECT_EQ(rec.ctx()->depth, 1) << doc;  // the declaration's element
  }
}

// The attribute handler sees the name (null value), then the value; the current
// attribute id names it meanwhile.
struct attr_call {
  int element;
  int attr_id;
  std::string value;
  bool operator==(const attr_call&) const = default;
};
std::vector<attr_call> g_attr_calls;
void record_attr(xml_parser_t* ctx, int element, const char* value) {
  g_attr_calls.push_back({element, ctx->attr_id, value ? value : "(null)"});
}

TEST_F(Xml, AttributeHandlerIsCalledAtTheNameAndAtTheValue) {
  tag_t elements[] = {make_tag("xml", 1), make_tag("a", 2)};
  tag_t attributes[] = {make_tag("x", 1), make_tag("y", 2)};
  container_t* el = nullptr;
  container_t* at = nullptr;
  dict_build_pair(2, elements, 2, attributes, &el, &at);
  const xml_attr_handler handlers[] = {record_attr, record_attr, record_attr};
  g_attr_calls.clear();
  xml_parser_t* ctx = xml_parser_create(nullptr, el, at, nullptr, 0, 3, nullptr, handlers, nullptr);
  const std::string doc = "<a x=\"1\" flag z='2' y=\"3\"/>";
  xml_read_bytes(doc.data(), doc.size(), ctx);
  const std::vector<attr_call> want = {
      {2, 1, "(null)"}, {2, 1, "1"}, {2, 0, "(null)"}, {2, 0, "(null)"},
      {2, 0, "2"},      {2, 2, "(null)"}, {2, 2, "3"}};
  EXPECT_EQ(g_attr_calls, want);
  xml_parser_free(&ctx);
  EXPECT_EQ(ctx, nullptr);
  free_obj(&el);
  free_obj(&at);
}

// Without a handler table the attributes all go to the do-nothing slot, whatever ids
// the attribute dictionary would give them.
TEST_F(Xml, AttributesWithoutAHandlerTableReachNoHandler) {
  tag_t elements[] = {make_tag("a", 1)};
  tag_t attributes[] = {make_tag("x", 1), make_tag("y", 7)};
  container_t* el = nullptr;
  container_t* at = nullptr;
  dict_build_pair(1, elements, 2, attributes, &el, &at);
  xml_parser_t* ctx = xml_parser_create(nullptr, el, at, nullptr, 0, 2, nullptr, nullptr, nullptr);
  const std::string doc = "<a x=\"1\" y='2' z>t</a>";
  xml_read_bytes(doc.data(), doc.size(), ctx);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(ctx->depth, 0);
  xml_parser_free(&ctx);
  free_obj(&el);
  free_obj(&at);
}

TEST_F(Xml, NamesAreLowerCasedWhenAsked) {
  recorder rec({"abc"}, {"key"}, {}, 1);
  EXPECT_EQ(rec.parse("<ABC Key=\"V\">t</aBc>"),
            (events{start("abc"), attr("key", "V"), text("abc", "t"), end("abc")}));
  recorder exact({"abc"}, {"key"});
  EXPECT_EQ(exact.parse("<ABC Key=\"V\">t</ABC><abc/>"), (events{start("abc"), closed("abc")}));
}

// Names are remembered by their bytes a word at a time: names that differ only in a
// late byte, or only in their length, each keep their own id, however often they come
// (the remembered lookups are then the ones that answer).
TEST_F(Xml, NamesDifferingLateOrInLengthKeepTheirIds) {
  const std::vector<std::string> names = {
      "abcdefg",           "abcdefgh",          "abcdefghi",         "abcdefgh1",
      "abcdefghijklmnop",  "abcdefghijklmnopq", "abcdefghijklmnop1", "abcdefghijklmnopqrstuvwx",
      "abcdefghijklmnopqrstuvwy", "abcdefghijklmnopqrstuvwxy", "abcdefghijklmnopqrstuvwxz"};
  recorder rec(names, {"k1234567", "k12345678", "k12345679"});
  std::string doc = "<root>";
  events want;
  for (int round = 0; round < 3; ++round) {
    for (const std::string& n : names) {
      doc += "<" + n + " k12345678=\"a\" k12345679=\"b\" k1234567=\"c\">" + n + "</" + n + ">";
      want.insert(want.end(), {start(n), attr("k12345678", "a"), attr("k12345679", "b"),
                               attr("k1234567", "c"), text(n, n), end(n)});
      // An unknown name that shares all but its last byte with a known one.
      doc += "<" + n + "_>x</" + n + "_>";
    }
  }
  doc += "</root>";
  EXPECT_EQ(rec.parse(doc), want);
  recorder lower(names, {}, {}, 1);
  EXPECT_EQ(lower.parse("<ABCDEFGHIJKLMNOPQRSTUVWX>t</abcdefghijklmnopqrstuvwX><ABCDEFGHI/>"),
            (events{start("abcdefghijklmnopqrstuvwx"), text("abcdefghijklmnopqrstuvwx", "t"),
                    end("abcdefghijklmnopqrstuvwx"), start("abcdefghi"), closed("abcdefghi")}));
}

TEST_F(Xml, UnknownElementsGetIdsWhoseHandlersDoNothing) {
  recorder rec({"a"}, {});
  const events want = {start("a"), text("a", "x"), text("a", "y"), end("a")};
  EXPECT_EQ(rec.parse("<a>x<zz>hidden<a>inner</a></zz>y</a>"),
            (events{start("a"), text("a", "x"), start("a"), text("a", "inner"), end("a"),
                    text("a", "y"), end("a")}));
  // Each unknown name is added once; its later occurrences and end tags find it.
  EXPECT_EQ(rec.parse("<a>x<zz>t1</zz><zz>t2</zz><qq/>y</a>"), want);
  EXPECT_EQ(rec.ctx()->handler_count, 3 + 2);  // slot 0, "xml", "a", then zz and qq
  EXPECT_EQ(obj_list_count(rec.ctx()->unknown_tags), 2);
}

TEST_F(Xml, NumericReferencesBecomeTheCharacterInTheDocumentsEncoding) {
  const struct {
    std::string doc;
    std::string bytes;
  } cases[] = {
      {"<a>&#233;</a>", "\xc3\xa9"},
      {"<a>&#321;</a>", "\xc5\x81"},  // not its low 8 bits (0x41)
      {"<a>&#x20AC;&#x1F600;</a>", "\xe2\x82\xac\xf0\x9f\x98\x80"},
      {"<a x=\"&#xE9;\">", ""},
      {"<a>&#0;&#xD800;&#x110000;&#99999999999999;&#x;&#;z</a>", "z"},
      // A local code page document: the Windows-1252 byte, or '?' when it has none.
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>&#233;&#8364;&#x1F600;&#65;</a>",
       "\xe9\x80?A"},
      {"<?xml version='1.0' encoding='windows-1252'?><a>&#x2014;&#x3A9;</a>", "\x97?"},
      // UTF-16 documents are decoded to UTF-8, and so are their references.
      {std::string("\xff\xfe<\0a\0>\0&\0#\0x\0""E\0""9\0;\0<\0/\0a\0>\0", 28), "\xc3\xa9"},
  };
  for (const auto& c : cases) {
    recorder rec({"a"}, {"x"});
    rec.raw_text = true;
    std::string got;
    for (const event& e : rec.parse(c.doc))
      if (e.kind == "text") got += e.value;
    EXPECT_EQ(got, c.bytes) << c.doc;
  }
  recorder rec({"a"}, {"x"});
  rec.raw_text = true;
  EXPECT_EQ(rec.parse("<a x=\"&#xE9;&#x1F600;\"/>")[1], attr("x", "\xc3\xa9\xf0\x9f\x98\x80"));
}

TEST_F(Xml, ReferencesLongerThanTheBufferAreBounded) {
  recorder rec({"a"}, {"x"});
  rec.raw_text = true;
  const std::string long_name(200, 'q');
  const std::string doc = "<a>1&" + long_name + ";2&#" + std::string(100, '9') + ";3&amp" +
                          std::string(50, 'p') + ";4</a><a x=\"&" + long_name + ";v\"/>";
  EXPECT_EQ(rec.parse(doc), (events{start("a"), text("a", "1234"), end("a"), start("a"),
                                    attr("x", "v"), closed("a")}));
}

// Every construct that appends several bytes at once, at every position across the
// first growths of the text buffer: AddressSanitizer sees any write past its end.
TEST_F(Xml, TextBufferAlwaysHasRoomForTheLargestAppend) {
  const std::string tails[] = {"<![CDATA[" + std::string(15, ']') + "x]]>",
                               "<![CDATA[" + std::string(20, ']') + ">",
                               "&#x1F600;&#x1F600;&#x1F600;&#x1F600;", "&amp;&lt;&gt;&quot;"};
  for (const std::string& tail : tails) {
    for (int n = 960; n < 1040; ++n) {
      recorder rec({"a"}, {});
      rec.raw_text = true;
      const events got = rec.parse("<a>" + std::string(size_t(n), 'y') + tail + "</a>");
      ASSERT_EQ(got.size(), 3u) << n;
      EXPECT_EQ(got[1].value.substr(0, size_t(n)), std::string(size_t(n), 'y'));
    }
  }
}

TEST_F(Xml, DeclaredEncodingChoosesTheConversion) {
  const struct {
    const char* value;
    int element;
    int want;
  } cases[] = {{"utf-8", 1, XML_UTF8},    {"UTF-8", 1, XML_UTF8},  {"Utf-16", 1, XML_UTF16},
               {"ISO-8859-1", 1, XML_LOCAL}, {"ascii", 1, XML_LOCAL}, {"utf-16", 2, XML_LOCAL},
               {nullptr, 1, XML_LOCAL}};
  for (const auto& c : cases) {
    xml_parser_t* ctx = xml_parser_create(nullptr, nullptr, nullptr, nullptr, 0, 1, nullptr,
                                          nullptr, nullptr);
    ctx->encoding = XML_LOCAL;
    xml_set_encoding(ctx, c.element, c.value);
    EXPECT_EQ(ctx->encoding, c.want) << (c.value ? c.value : "null") << " " << c.element;
    xml_parser_free(&ctx);
  }
}

TEST_F(Xml, TextToWideFollowsTheEncoding) {
  const struct {
    int encoding;
    const char* bytes;
    std::u16string want;
  } cases[] = {
      {XML_UTF8, "caf\xc3\xa9", u"caf\u00e9"},
      {XML_UTF16, "caf\xc3\xa9", u"caf\u00e9"},  // UTF-16 text arrives as UTF-8
      {XML_LOCAL, "caf\xe9 \x80", u"caf\u00e9 \u20ac"},
      {XML_LOCAL, "caf\xc3\xa9", u"caf\u00e9"},  // valid UTF-8 stays UTF-8
  };
  for (const auto& c : cases) {
    xml_parser_t* ctx = xml_parser_create(nullptr, nullptr, nullptr, nullptr, 0, 1, nullptr,
                                          nullptr, nullptr);
    ctx->encoding = c.encoding;
    char16_t* wide = nullptr;
    xml_text_to_wcs(ctx, c.bytes, &wide);
    EXPECT_EQ(std::u16string(wide), c.want) << c.bytes;
    free_mem(&wide);
    xml_parser_free(&ctx);
  }
}

TEST_F(Xml, Utf16DocumentsAreDecodedBeforeTheAutomaton) {
  auto utf16 = [](const std::u16string& s, bool little, bool bom) {
    std::string out;
    if (bom) out = little ? "\xff\xfe" : "\xfe\xff";
    for (char16_t u : s) {
      const char lo = char(u & 0xFF), hi = char(u >> 8);
      out += little ? std::string{lo, hi} : std::string{hi, lo};
    }
    return out;
  };
  const std::u16string doc = u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                             u"<a x=\"\u00e9\">\U0001F600 \u20ac</a>";
  for (bool little : {true, false}) {
    for (bool bom : {true, false}) {
      recorder rec({"a"}, {"x"}, {"xml"});
      // The declaration cannot turn a UTF-16 document into a local code page one.
      EXPECT_EQ(rec.parse(utf16(doc, little, bom)),
                (events{{"pi", "xml", ""}, start("a"), attr("x", "\u00e9"),
                        text("a", "\U0001F600 \u20ac"), end("a")}))
          << little << bom;
      EXPECT_EQ(rec.ctx()->encoding, XML_UTF16);
    }
  }
  // Lone surrogates become U+FFFD; an odd last byte is dropped.
  const std::u16string bad = {u'<', u'a', u'>', 0xD800, u'x', 0xDC00, u'<', u'/', u'a', u'>'};
  recorder rec({"a"}, {});
  EXPECT_EQ(rec.parse(utf16(bad, true, true) + "<"),
            (events{start("a"), text("a", "\ufffdx\ufffd"), end("a")}));
}

// Elements deeper than the stack are counted, not stacked: their text goes to the
// deepest stacked element, and every end closes what its start opened, whatever the
// names and whichever way the deep element ends.
TEST_F(Xml, ElementsBeyondTheStackAreCountedNotStacked) {
  const struct {
    std::string deep;  // what stands inside the 40th element
    std::string text;  // what the 40th element receives
  } cases[] = {
      {"<e/>tail", "tail"},
      {"<e x=\"1\"/>tail", "tail"},
      {"<?pi?>tail", "tail"},
      {"<e>in</e>tail", "intail"},
      {nested("e", 30, "deep") + "tail", "deeptail"},
      {"<f><e>in <f/>on</e></f> tail", "in ontail"},  // blanks after a tag are leading
  };
  for (const auto& c : cases) {
    recorder rec({"e", "f"}, {"x"});
    rec.raw_text = true;
    events want;
    for (int i = 0; i < kXmlMaxDepth; ++i) want.push_back(start("e"));
    want.push_back(text("e", c.text));
    for (int i = 0; i < kXmlMaxDepth; ++i) want.push_back(end("e"));
    events got;
    for (const event& e : rec.parse(nested("e", kXmlMaxDepth, c.deep))) {
      if (e.kind == "text" && !got.empty() && got.back().kind == "text")
        got.back().value += e.value;  // the deep text may come in several runs
      else
        got.push_back(e);
    }
    EXPECT_EQ(got, want) << c.deep;
    EXPECT_EQ(rec.ctx()->depth, 0) << c.deep;
  }
}

TEST_F(Xml, HandlerSettingTheErrorStopsTheParse) {
  static int calls;
  calls = 0;
  struct stop {
    static void at_b(xml_parser_t*, const char* text) {
      ++calls;
      if (!text) set_gblerr(ERR_BAD_FILE);
    }
    static void count(xml_parser_t*, const char*) { ++calls; }
  };
  tag_t elements[] = {make_tag("a", 1), make_tag("b", 2)};
  container_t* el = nullptr;
  dict_build(2, elements, &el);
  const xml_element_handler handlers[] = {nullptr, stop::count, stop::at_b};
  xml_parser_t* ctx = xml_parser_create(nullptr, el, nullptr, nullptr, 0, 3, handlers, nullptr,
                                        nullptr);
  const std::string doc = "<a>x<b>y</b><a>z</a></a>";
  xml_read_bytes(doc.data(), doc.size(), ctx);
  EXPECT_EQ(get_gblerr(), ERR_BAD_FILE);
  EXPECT_EQ(calls, 3);  // a's start, a's text "x", b's start
  xml_parser_free(&ctx);  // the context stays valid and is freed while the error is set
  set_gblerr(0);
  free_obj(&el);
}

// Malformed input never crashes, never hangs and never allocates without bound.
TEST_F(Xml, MalformedDocumentsAreHandledWithoutCrashing) {
  std::string garbage;
  uint32_t seed = 12345;
  for (int i = 0; i < (1 << 20); ++i) {
    seed = seed * 1103515245u + 12345u;
    garbage += char(seed >> 24);
  }
  std::string many_names = "<a>";
  for (int i = 0; i < 20000; ++i) many_names += "<n" + std::to_string(i) + "/>";
  const std::string docs[] = {
      "<a><b><c>unclosed",
      "<a x=\"1\" y=\"2",
      "<a x=1 y=\"2\">t</a>",
      "<a>&;&#;&#x;&b c;&<>&\"</a>",
      "</a></b></c>text<a",
      "<![CDATA[ never ended",
      "<a><![CDATA[",
      "<!-- never ended",
      "<!DOCTYPE a [<!ENTITY e \"never ended",
      "<!DOCTYPE a [<!-- ]> never ended",
      "<!DOCTYPE a [ ]x<a/>",
      "<<<<>>>>////????" "!!!!----[[[[]]]]",
      "<a =\"\" ==\"\" :=\":\"/>",
      "\xff\xfe<",
      "\xfe\xff",
      std::string("\0\0\0<\0a\0>", 8),
      garbage,
      nested("a", 100000, "x"),
      std::string(100000, '<') + std::string(100000, '>'),
      many_names,
  };
  for (const std::string& doc : docs) {
    recorder rec({"a", "b", "c"}, {"x", "y"});
    rec.parse(doc);
    EXPECT_EQ(get_gblerr(), 0) << doc.substr(0, 40);
    EXPECT_GE(rec.ctx()->depth, 0);
  }
  recorder rec({"a"}, {});
  rec.parse(many_names);
  EXPECT_LE(obj_list_count(rec.ctx()->unknown_tags), 10000);
}

TEST_F(Xml, EveryTruncationOfADocumentIsSafe) {
  const std::string doc =
      "<?xml version=\"1.0\"?><!DOCTYPE a SYSTEM 'a.dtd' [<!ENTITY e ']>'><!-- ]> --><?p ]>?>]>"
      "<a x=\"1&amp;2\" y='&#xE9;'><!-- c --><b>t&lt;"
      "</b><![CDATA[ ]] ]]><![IGNORE[q]]><c/>&#x1F600;<p:d p:z=\"<![CDATA[v]]>\"/></a>";
  for (size_t n = 0; n <= doc.size(); ++n) {
    recorder rec({"a", "b", "c", "d"}, {"x", "y", "z"});
    rec.parse(doc.substr(0, n));
    EXPECT_EQ(get_gblerr(), 0) << n;
  }
}

TEST_F(Xml, LongValuesAndTextsAreDeliveredWhole) {
  const std::string value(1 << 20, 'v');
  recorder rec({"a"}, {"x"});
  rec.raw_text = true;
  const events got = rec.parse("<a x=\"" + value + "\">" + value + "w</a>");
  EXPECT_EQ(get_gblerr(), 0);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[1], attr("x", value));
  EXPECT_EQ(got[2], text("a", value + "w"));
}

TEST_F(Xml, TextBeyondTheLimitStopsTheParseWithAMemoryError) {
  recorder rec({"a"}, {});
  rec.raw_text = true;
  const events got = rec.parse("<a>" + std::string(65u << 20, 't') + "</a><a>after</a>");
  EXPECT_EQ(get_gblerr(), ERR_MEMORY);
  EXPECT_EQ(got, (events{start("a")}));
  set_gblerr(0);
}

std::string written(const char16_t* text) {
  std::FILE* f = std::tmpfile();
  xml_write_text(f, text);
  std::string out(size_t(std::ftell(f)), '\0');
  std::rewind(f);
  if (!out.empty()) {
    EXPECT_EQ(std::fread(&out[0], 1, out.size(), f), out.size());
  }
  std::fclose(f);
  return out;
}

TEST_F(Xml, WriterEscapesTheFiveEntityCharacters) {
  const struct {
    const char16_t* text;
    const char* want;
  } cases[] = {
      {nullptr, ""},
      {u"", ""},
      {u"plain caf\u00e9 \U0001F600", "plain caf\xc3\xa9 \xf0\x9f\x98\x80"},
      {u"a<b>&\"'", "a&lt;b&gt;&amp;&quot;&apos;"},
      {u"\u00e9&\U0001F600<", "\xc3\xa9&amp;\xf0\x9f\x98\x80&lt;"},
  };
  for (const auto& c : cases) EXPECT_EQ(written(c.text), c.want);
}

}  // namespace
