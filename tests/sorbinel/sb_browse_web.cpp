// Images fetched from the web while WEBNAVIG is set are saved under the folder "sb" of
// the temporary folder, by the path of their address; an address whose path climbs out
// with ".." is shown but saves nothing, neither in the folder nor above it. The links
// of a page join the browsing list in the page's place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/http.h"
#include "core/socket.h"
#include "tests/sorbinel/sb_browse_fixture.h"
#include "tests/support/http_server.h"

namespace sb_test {
namespace {

class BrowseWeb : public BrowseTest {
 protected:
  void SetUp() override {
    BrowseTest::SetUp();
    socket_register_type();
    http_failures_reset();
    const char* old = std::getenv("TMPDIR");
    had_old_ = old != nullptr;
    if (old) old_ = old;
    tmp_ = dir_ + "tmp/";
    fs::create_directories(tmp_ + "inner");
    setenv("TMPDIR", (tmp_ + "inner").c_str(), 1);
    config_set("WEBNAVIG", "1");
    std::ifstream in(fixture("browse/02_green.png"), std::ios::binary);
    png_.assign(std::istreambuf_iterator<char>(in), {});
  }
  void TearDown() override {
    server_.stop();
    if (had_old_)
      setenv("TMPDIR", old_.c_str(), 1);
    else
      unsetenv("TMPDIR");
    BrowseTest::TearDown();
  }
  void serve_png() {
    server_.queue(tm_test::http_server::reply("200 OK", "Content-Type: image/png\r\n", png_));
  }
  std::string url(const std::string& path) { return "http://" + server_.authority() + path; }
  static std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Every file under a folder, relative to it.
  static std::vector<std::string> files_under(const std::string& d) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(d))
      if (e.is_regular_file()) out.push_back(fs::relative(e.path(), d).string());
    std::sort(out.begin(), out.end());
    return out;
  }

  tm_test::http_server server_;
  std::string png_, tmp_, old_;
  bool had_old_ = false;
};

TEST_F(BrowseWeb, FetchedImageIsSavedByItsPath) {
  serve_png();
  start({url("/pics/day:1/green.png")});
  ASSERT_NE(sb().current, nullptr);
  EXPECT_EQ(sb().current->from_url, 1);
  EXPECT_EQ(slurp(tmp_ + "inner/sb/pics/day_1/green.png"), png_);
  EXPECT_EQ(files_under(tmp_), std::vector<std::string>{"inner/sb/pics/day_1/green.png"});
}

TEST_F(BrowseWeb, AddressClimbingOutSavesNothing) {
  for (const char* path : {"/pics/../../../green.png", "/../green.png", "/a/..\\..\\green.png"}) {
    SCOPED_TRACE(path);
    sb_browse_init();
    serve_png();
    start({url(path)});
    ASSERT_NE(sb().current, nullptr);
    EXPECT_EQ(sb().current->from_url, 1);
    EXPECT_EQ(files_under(tmp_), std::vector<std::string>{});
  }
}

TEST_F(BrowseWeb, NothingSavedWithoutWebNavigation) {
  config_set("WEBNAVIG", nullptr);
  serve_png();
  start({url("/pics/green.png")});
  ASSERT_NE(sb().current, nullptr);
  EXPECT_EQ(files_under(tmp_), std::vector<std::string>{});
}

TEST_F(BrowseWeb, PageLinksJoinTheListAndThePageIsSetAside) {
  server_.queue(tm_test::http_server::reply(
      "200 OK", "Content-Type: text/html\r\n",
      "<html><body><a href=\"b.png\">b</a> <a href=\"a.png\">a</a></body></html>\n"));
  for (int i = 0; i < 3; ++i) serve_png();
  start({url("/gallery/index.html")});
  ASSERT_NE(sb().current, nullptr);
  EXPECT_EQ(std::string(sb().current->name), url("/gallery/a.png"));
  EXPECT_EQ(sb_browse_count(), 2);
  sb_next_file(0, 0);
  settle();
  ASSERT_NE(sb().current, nullptr);
  EXPECT_EQ(std::string(sb().current->name), url("/gallery/b.png"));
  // The page itself is never shown again.
  sb_next_file(0, 0);
  settle();
  ASSERT_NE(sb().current, nullptr);
  EXPECT_EQ(std::string(sb().current->name), url("/gallery/a.png"));
}

}  // namespace
}  // namespace sb_test
