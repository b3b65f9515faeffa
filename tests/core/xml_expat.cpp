// The XML engine against a reference parser: for every document of
// tests/fixtures/xml, the events the engine reports equal the events Python's expat
// reported (make_expected.py), once both sides are put in one comparable form.
//
// The engine folds whitespace and splits character data where expat does not, drops
// namespace prefixes, and stacks 40 elements; so both event lists go through the same
// normalisation before they are compared:
//   1. names lose their namespace prefix ("x:item" -> "item");
//   2. start, attribute and end events deeper than 40 elements are dropped (their text
//      stays: the engine gives it to the 40th element);
//   3. the engine's "closed" (an element ended without an end call, as '<b/>' is) counts
//      as an end;
//   4. adjacent text events are joined, every run of blanks (space, tab, CR, LF) in the
//      joined text and in attribute values becomes one space, blanks at both ends are
//      removed, and a text left empty is dropped.
// Blanks are left out of the comparison because the engine's folding is its own (the
// tests of xml.cpp pin it byte for byte). Everything else must match exactly: names,
// order, attribute values, the characters of the text (references resolved, CDATA
// kept, encodings decoded) and the element each text belongs to: the one the engine's
// handler received it for, and on expat's side the innermost open element (the 40th
// when deeper).
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/core/xml_recorder.h"
#include "tests/support/object_env.h"

namespace {

using xml_test::event;

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
  }
  return out;
}

std::vector<event> read_events(const std::string& path) {
  std::vector<event> events;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      f.push_back(line.substr(start, tab - start));
    f.push_back(line.substr(start));
    event e{f[0], "", ""};
    if (e.kind == "text")
      e.value = unescape(f[1]);
    else
      e.name = f[1];
    if (e.kind == "attr") e.value = unescape(f.size() > 2 ? f[2] : "");
    events.push_back(e);
  }
  return events;
}

std::string local_name(const std::string& name) {
  const size_t colon = name.rfind(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string fold(const std::string& s) {
  std::string out;
  bool blank = false;
  for (char c : s) {
    if (is_blank(c)) {
      blank = true;
      continue;
    }
    if (blank && !out.empty()) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

// The normalisation described at the top of this file. A text event that names no
// element (expat's) belongs to the innermost open element, as far as the engine's stack
// reaches; pieces joined from several elements keep every owner ("a|b"), so that a
// piece given to the wrong element shows.
std::vector<event> normalise(const std::vector<event>& in) {
  std::vector<event> out;
  std::vector<std::string> open;  // local names of the open elements, outermost first
  std::string text, owner;
  bool have_text = false;
  bool deep_start = false;  // attributes of a dropped start are dropped too
  auto owner_of = [&](const event& e) {
    if (!e.name.empty()) return local_name(e.name);
    const size_t n = open.size() < size_t(kXmlMaxDepth) ? open.size() : size_t(kXmlMaxDepth);
    return n ? open[n - 1] : std::string();
  };
  auto flush = [&] {
    const std::string t = fold(text);
    if (have_text && !t.empty()) out.push_back({"text", owner, t});
    text.clear();
    owner.clear();
    have_text = false;
  };
  for (const event& e : in) {
    if (e.kind == "text") {
      const std::string o = owner_of(e);
      if (!have_text)
        owner = o;
      else if (owner != o)
        owner += "|" + o;
      text += e.value;
      have_text = true;
      continue;
    }
    if (e.kind == "start") {
      open.push_back(local_name(e.name));
      deep_start = open.size() > size_t(kXmlMaxDepth);
      if (deep_start) continue;
    } else if (e.kind == "end" || e.kind == "closed") {
      const bool deep = open.size() > size_t(kXmlMaxDepth);
      if (!open.empty()) open.pop_back();
      if (deep) continue;
    } else if (e.kind == "attr" && deep_start) {
      continue;
    }
    flush();
    event n = e;
    if (n.kind == "closed") n.kind = "end";
    n.name = local_name(e.name);
    if (e.kind == "attr") n.value = fold(e.value);
    out.push_back(n);
  }
  flush();
  return out;
}

struct vocabulary {
  std::vector<std::string> elements, attributes;
  std::set<std::string> pis;
};

vocabulary names_of(const std::vector<event>& events) {
  vocabulary v;
  std::set<std::string> el, at;
  for (const event& e : events) {
    const std::string n = local_name(e.name);
    if (e.kind == "pi") v.pis.insert(n);
    if ((e.kind == "start" || e.kind == "pi") && el.insert(n).second) v.elements.push_back(n);
    if (e.kind == "attr" && at.insert(n).second) v.attributes.push_back(n);
  }
  return v;
}

class XmlAgainstExpat : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    xml_init();
  }
};

TEST_P(XmlAgainstExpat, SameEventsAsTheReferenceParser) {
  const std::string base = std::string(TM_FIXTURE_DIR) + "/xml/" + GetParam();
  const std::string doc = read_all(base + ".xml");
  const std::vector<event> expected_raw = read_events(base + ".events");
  ASSERT_FALSE(doc.empty());
  ASSERT_FALSE(expected_raw.empty());
  const vocabulary v = names_of(expected_raw);
  xml_test::recorder rec(v.elements, v.attributes, v.pis);
  const std::vector<event> got = normalise(rec.parse(doc));
  EXPECT_EQ(get_gblerr(), 0);
  const std::vector<event> expected = normalise(expected_raw);
  for (size_t i = 0; i < expected.size() && i < got.size(); ++i)
    ASSERT_EQ(got[i], expected[i]) << "event " << i;
  EXPECT_EQ(got.size(), expected.size());
}

// A case is named after its document in the tests' style: "utf8_basic" gives Utf8Basic.
std::string case_name(const ::testing::TestParamInfo<const char*>& info) {
  std::string name;
  bool word_start = true;
  for (const char* c = info.param; *c; ++c) {
    if (*c == '_') {
      word_start = true;
      continue;
    }
    name += word_start ? char(std::toupper(static_cast<unsigned char>(*c))) : *c;
    word_start = false;
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Documents, XmlAgainstExpat,
                         ::testing::Values("utf8_basic", "utf16le_bom", "utf16be_bom",
                                           "latin1_declared", "gpx_like", "doctype_pi",
                                           "deep_nesting", "blank_after_markup",
                                           "doctype_subset"),
                         case_name);

}  // namespace
