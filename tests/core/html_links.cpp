// The HTML link scanner: on a set of pages (absolute, relative and root-relative links,
// frames, images, comments, odd quoting, robots "nofollow", links in the head) it finds
// the links Python's html.parser finds (tests/fixtures/html/make_expected.py writes
// them beside each page); links already known go to the adopt hook; malformed pages
// give what can be read without harm.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/html.h"
#include "core/http.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "tests/support/file_stub.h"
#include "tests/support/object_env.h"

namespace {

const std::string kBase = "http://maps.example/guide/pages/";
std::vector<std::string> g_adopted;

void record_adopt(obj_t*, obj_t* link) { g_adopted.push_back(file_name_of(link)); }
const http_hooks kHooks = [] {
  http_hooks h{};
  h.adopt_link = record_adopt;
  return h;
}();

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class HtmlLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    tm_test::install_file_stub();
    xml_init();
    html_init();
    http_hooks_install(&kHooks);
    g_adopted.clear();
  }
  void TearDown() override {
    set_gblerr(0);
    rd_close_all();
    http_hooks_install(nullptr);
    tm_test::free_stub_files();
  }

  // A page held in memory under its address.
  static obj_t* page(const std::string& url, const std::string& bytes) {
    obj_t* p = tm_test::stub_file(url.c_str());
    filemobj_t* store = nullptr;
    filemobj_create(p, p, 0, 32768, 0, &store);
    get_file_ops().set_store(p, reinterpret_cast<obj_t*>(store));
    filemobj_owner_append(p, bytes.data(), int64_t(bytes.size()));
    return p;
  }

  static std::vector<std::string> links(obj_t* p) {
    container_t* list = nullptr;
    obj_list_new(&list);
    html_collect_links(p, list);
    std::vector<std::string> out;
    for (int i = 0; i < obj_list_count(list); ++i) {
      obj_t* o = nullptr;
      obj_list_get(list, i, &o);
      out.push_back(file_name_of(o));
    }
    free_obj(&list);
    std::sort(out.begin(), out.end());
    return out;
  }
};

std::vector<std::string> expected_links(const std::string& path) {
  std::vector<std::string> out;
  std::istringstream in(read_all(path));
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

TEST_F(HtmlLinks, AgreesWithThePythonParserOnThePages) {
  const std::string dir = std::string(TM_FIXTURE_DIR) + "/html/";
  for (const char* name : {"absolute", "relative", "frames", "images", "comments", "quoting",
                           "nofollow", "headlinks"}) {
    SCOPED_TRACE(name);
    const std::string bytes = read_all(dir + name + ".htm");
    ASSERT_FALSE(bytes.empty());
    obj_t* p = page(kBase + name + ".htm", bytes);
    EXPECT_EQ(links(p), expected_links(dir + name + ".links"));
    EXPECT_EQ(get_gblerr(), 0);
  }
}

TEST_F(HtmlLinks, KnownFilesAreAdoptedNotOpenedAgain) {
  obj_t* known = tm_test::stub_file((kBase + "known.gpx").c_str());
  obj_t* p = page(kBase + "p.htm", "<html><body><a href='known.gpx'>k</a><a href='new.gpx'>n</a>"
                                   "<a href='/guide/pages/known.gpx#x'>again</a></body></html>");
  EXPECT_EQ(links(p), (std::vector<std::string>{kBase + "known.gpx", kBase + "new.gpx"}));
  EXPECT_EQ(g_adopted, (std::vector<std::string>{kBase + "known.gpx", kBase + "known.gpx"}));
  EXPECT_EQ(get_file_ops().find_by_name((kBase + "known.gpx").c_str()), known);
}

// Malformed markup costs at most the tag it is in; the links after it are found.
TEST_F(HtmlLinks, MalformedMarkupIsSurvived) {
  struct Case {
    const char* name;
    std::string html;
    std::vector<std::string> links;
  };
  const std::string ok = kBase + "ok.htm";
  const Case cases[] = {
      {"stray byte in a tag", "<a href=\"x.htm\" %%% ><a href=\"ok.htm\">", {kBase + "x.htm", ok}},
      {"long reference", "<p>&abcdefghijklmnopqrstuvwxyz;</p><a href=\"ok.htm\">", {ok}},
      {"long reference in a value",
       "<a href=\"a&abcdefghijklmnopqrstuvwxyz.htm\">", {kBase + "a&abcdefghijklmnopqrstuvwxyz.htm"}},
      {"reference before a tag", "x &nbsp<a href=\"ok.htm\">", {ok}},
      {"control bytes", std::string("<a \x01 href=\"ok.htm\">\x02\x03"), {ok}},
      {"unterminated tag", "<a href=\"ok.htm\"><a href=\"never.htm", {ok}},
      {"deep void elements",
       std::string("<html><body>") + [] { std::string s; for (int i = 0; i < 60; ++i) s += "<br><img src=\"i.png\">"; return s; }() +
           "<a href=\"ok.htm\"></body></html>",
       {kBase + "i.png", ok}},
      {"binary", std::string("\0\xff<\0a href=\"z\">\x80", 16), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    obj_t* p = page(kBase + "m.htm", c.html);
    std::vector<std::string> want = c.links;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(links(p), want);
    EXPECT_EQ(get_gblerr(), 0);
    tm_test::free_stub_files();
    tm_test::install_file_stub();
  }
}

TEST_F(HtmlLinks, AnUnreadablePageSetsTheFileError) {
  obj_t* p = tm_test::stub_file("/no/such/page.htm");
  container_t* list = nullptr;
  obj_list_new(&list);
  html_collect_links(p, list);
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  EXPECT_EQ(obj_list_count(list), 0);
  set_gblerr(0);
  free_obj(&list);
}

}  // namespace
