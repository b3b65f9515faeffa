// URL rules: schemes, normalisation of typed names, and which links of a web page may
// be followed (same document, same host or inside the web root with "WEBNAVIG", else
// within the "WEBNAVIGDEPTH" link depth), with the filter applied to a page's links.
#include <algorithm>
#include <string>
#include <vector>

#include "core/html.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "tests/map/file_fixture.h"

namespace {

using UrlRules = tm_test::FileFixture;

TEST_F(UrlRules, SchemesAreRecognisedAndOnlyTheSchemeIsLowerCased) {
  const struct {
    const char* in;
    int kind;
    const char* out;
  } cases[] = {
      {"HTTP://Host.COM/A.gpx", 8, "http://Host.COM/A.gpx"},
      {"Ecwp://Server/Img.ecw", 12, "ecwp://Server/Img.ecw"},
      {"http://h/", 8, "http://h/"},
      {"https://h/", 0, "https://h/"},
      {"ftp://h/x", 0, "ftp://h/x"},
      {"/home/u/HTTP://x", 0, "/home/u/HTTP://x"},
      {"http:/", 0, "http:/"},
  };
  for (const auto& c : cases) {
    char* text = nullptr;
    str_set(c.in, &text);
    EXPECT_EQ(url_scheme(text), c.kind) << c.in;
    EXPECT_STREQ(text, c.out);
    free_mem(&text);
  }
  config_reset();
  config_set("HTTP", "NONE");  // no web access: nothing is a web address
  char* text = nullptr;
  str_set("HTTP://h/", &text);
  EXPECT_EQ(url_scheme(text), 0);
  EXPECT_STREQ(text, "HTTP://h/");
  free_mem(&text);
}

TEST_F(UrlRules, NormalisationCompletesHostsAndTurnsFileUrlsIntoPaths) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"www.example.com", "http://www.example.com/"},
      {"www.example.com/maps/a.gpx", "http://www.example.com/maps/a.gpx"},
      {"HTTP://Example.com", "http://Example.com/"},
      {"http://h/x/", "http://h/x/"},
      {"ecwp://h", "ecwp://h/"},
      {"file:///home/u/a.gpx", "/home/u/a.gpx"},
      {"file://home/u/a.gpx", "/home/u/a.gpx"},
      {"file:///c:/maps/a.gpx", "c:/maps/a.gpx"},
      {"FILE:///C:\\maps\\a.gpx", "C:\\maps\\a.gpx"},
      {"//srv/share/a.gpx", "/srv/share/a.gpx"},
      {"///a", "/a"},
      {"/home/u/A.GPX", "/home/u/A.GPX"},
      {"c:\\maps\\A.gpx", "c:\\maps\\A.gpx"},
      {"\\\\srv\\share", "\\\\srv\\share"},
  };
  for (const auto& c : cases) {
    char* text = nullptr;
    str_set(c.in, &text);
    url_normalize(&text);
    EXPECT_STREQ(text, c.out) << c.in;
    free_mem(&text);
  }
  char* none = nullptr;
  url_normalize(&none);
  EXPECT_EQ(none, nullptr);
}

// A chain of pages root -> p1 -> p2 -> p3; each case puts a link at a depth.
TEST_F(UrlRules, LinksAreFollowedWithinTheRootTheHostOrTheDepth) {
  const struct {
    const char* link;
    const char* root;
    const char* webnavig;  // null: key absent
    const char* depth;
    int level;             // pages above the link
    int allowed;
  } cases[] = {
      {"http://a.com/x/index.htm", "http://a.com/x/index.htm", nullptr, nullptr, 3, 1},
      {"http://a.com\\x\\index.htm", "http://a.com/x/index.htm", nullptr, nullptr, 3, 1},
      {"http://a.com/x/b.htm", "http://a.com/x/", nullptr, "9", 1, 0},
      {"http://a.com/x/b.htm", "http://a.com/x/", "1", nullptr, 3, 1},
      {"http://a.com/y/b.htm", "http://a.com/x/", "1", nullptr, 3, 1},
      {"http://A.com/y/b.htm", "http://a.com/x/", "1", nullptr, 3, 0},
      {"http://b.com/x/b.htm", "http://a.com/x/", "1", "2", 2, 1},
      {"http://b.com/x/b.htm", "http://a.com/x/", "1", "2", 3, 0},
      {"http://a.comx/b.htm", "http://a.com/x/", "1", "0", 1, 0},
      {"http://b.com/", "http://a.com/", "1", nullptr, 0, 1},
  };
  for (const auto& c : cases) {
    config_reset();
    if (c.webnavig) config_set("WEBNAVIG", c.webnavig);
    config_set("WEBNAVIGDEPTH", c.depth);
    fileatt_t* parent = nullptr;
    for (int i = 0; i < c.level; ++i) {
      const std::string name = "http://pages.net/p" + std::to_string(i) + "_" + c.link;
      parent = file_open(parent, nullptr, name.c_str(), nullptr);
    }
    fileatt_t* f = file_open(parent, nullptr, c.link, nullptr);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(obj_depth(f), c.level);
    file_set_web_root(f, c.root);
    EXPECT_EQ(web_link_allowed(f), c.allowed) << c.link << " from " << c.root << " level "
                                              << c.level;
    free_all_files();
  }
  EXPECT_EQ(web_link_allowed(nullptr), 0);
}

TEST_F(UrlRules, APageHandsItsRootToItsLinksAndDropsTheForeignOnes) {
  config_set("WEBNAVIG", "1");
  config_set("WEBNAVIGDEPTH", "1");
  int unloaded = 0;
  static int* counter = nullptr;
  counter = &unloaded;
  get_fileobj_hooks().unload = [](obj_t*, int reload) { *counter += reload; };
  fileatt_t* top = file_open(nullptr, nullptr, "http://other.org/start.htm", nullptr);
  fileatt_t* page = file_open(top, nullptr, "http://a.com/maps/list/index.htm", nullptr);
  page->filetype = kFileKindHtml;
  fileatt_t* inside = file_open(page, nullptr, "http://a.com/maps/list/a.gpx", nullptr);
  fileatt_t* same_host = file_open(page, nullptr, "http://a.com/other/b.gpx", nullptr);
  fileatt_t* foreign = file_open(page, nullptr, "http://b.com/c.gpx", nullptr);
  container_t* list = nullptr;
  obj_list_new(&list);
  for (fileatt_t* f : {page, inside, same_host, foreign}) obj_add_to_id_list(list, f);

  html_filter_links(page, list);
  EXPECT_STREQ(file_get_web_root(page), "http://a.com/maps/list/");
  ASSERT_EQ(obj_list_count(list), 3);  // the foreign link at depth 2 is dropped
  EXPECT_EQ(obj_list_first_of_class(list, kFileClass, nullptr), page);
  EXPECT_EQ(unloaded, 1);
  EXPECT_STREQ(file_get_web_root(inside), "http://a.com/maps/list/");
  EXPECT_STREQ(file_get_web_root(same_host), "http://a.com/other/");  // its own folder
  EXPECT_STREQ(file_get_web_root(foreign), "http://a.com/maps/list/");

  // A followed page outside what may be followed yields none of its links.
  config_set("WEBNAVIGDEPTH", "0");
  fileatt_t* far = file_open(foreign, nullptr, "http://c.com/far/index.htm", nullptr);
  far->filetype = kFileKindHtml;
  file_set_web_root(far, "http://a.com/maps/list/");
  fileatt_t* img = file_open(far, nullptr, "http://c.com/far/i.png", nullptr);
  obj_list_clear(list);
  obj_add_to_id_list(list, img);
  html_filter_links(far, list);
  EXPECT_EQ(obj_list_count(list), 0);
  EXPECT_EQ(unloaded, 2);
  free_obj(&list);
}

}  // namespace

namespace {

// A downloaded page held in memory, as the HTTP client leaves it.
fileatt_t* web_page(const char* url, const std::string& html) {
  fileatt_t* page = file_open(nullptr, nullptr, url, nullptr);
  if (!page) return nullptr;
  if (file_new_line_store(page) != 0) return nullptr;
  filemobj_owner_append(reinterpret_cast<obj_t*>(page), html.data(), int64_t(html.size()));
  file_set_size(page, int64_t(html.size()));
  page->filetype = kFileKindHtml;  // identified as a web page once downloaded
  return page;
}

std::vector<std::string> names_in(container_t* list) {
  std::vector<std::string> names;
  for (int i = 0; i < obj_list_count(list); ++i) {
    obj_t* o = nullptr;
    obj_list_get(list, i, &o);
    if (fileatt_t* f = file_of(o)) names.push_back(file_get_name(f));
  }
  return names;
}

}  // namespace

// The link scanner of the core hands what it collected to the file objects' filter, so
// that a scanned page yields only the links inside its web root and depth.
TEST_F(UrlRules, ScanningAPageKeepsOnlyTheLinksItMayFollow) {
  config_set("WEBNAVIG", "1");
  config_set("WEBNAVIGDEPTH", "0");  // a foreign link one level down is too deep
  get_fileobj_hooks().unload = [](obj_t*, int) {};
  fileatt_t* page = web_page("http://a.com/maps/list/index.htm",
                             "<html><body>"
                             "<a href=\"tracks/a.gpx\">a</a>"
                             "<a href=\"/maps/list/b.gpx\">b</a>"
                             "<a href=\"http://b.com/c.gpx\">c</a>"
                             "</body></html>");
  ASSERT_NE(page, nullptr);
  container_t* list = nullptr;
  obj_list_new(&list);
  html_collect_links(reinterpret_cast<obj_t*>(page), list);
  EXPECT_STREQ(file_get_web_root(page), "http://a.com/maps/list/");
  const std::vector<std::string> kept = names_in(list);
  EXPECT_NE(std::find(kept.begin(), kept.end(), "http://a.com/maps/list/tracks/a.gpx"),
            kept.end());
  EXPECT_NE(std::find(kept.begin(), kept.end(), "http://a.com/maps/list/b.gpx"), kept.end());
  EXPECT_EQ(std::find(kept.begin(), kept.end(), "http://b.com/c.gpx"), kept.end());
  free_obj(&list);
}
