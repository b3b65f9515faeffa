// Address arithmetic and header reading of the HTTP client: links and Locations
// resolved against a page (root-relative ones at the host's root), a page's web root,
// request targets, the proxy setting read into a bounded buffer, and header parsing
// with names in any case and every scan bounded by the byte count.
#include <gtest/gtest.h>

#include <string>

#include "core/http.h"
#include "core/memory.h"
#include "tests/support/object_env.h"

namespace {

class HttpUrl : public ::testing::Test {
 protected:
  void SetUp() override { tm_test::reset_object_store(); }
};

std::string owned(char* (*fn)(const char*, const char*, char**), const char* a, const char* b) {
  char* out = nullptr;
  fn(a, b, &out);
  std::string s = out ? out : "<null>";
  free_mem(&out);
  return s;
}

TEST_F(HttpUrl, LinksResolveAgainstThePage) {
  struct Case {
    const char* base;
    const char* link;
    const char* expected;
  };
  const Case cases[] = {
      {"http://h.test/a/b/page.htm", "c.htm", "http://h.test/a/b/c.htm"},
      {"http://h.test/a/b/page.htm", "/c.htm", "http://h.test/c.htm"},
      {"http://h.test/a/b/page.htm", "/x/y/", "http://h.test/x/y/"},
      {"http://h.test/a/b/page.htm", "../c.htm", "http://h.test/a/c.htm"},
      {"http://h.test/a/b/page.htm", "./d/../e.htm", "http://h.test/a/b/e.htm"},
      {"http://h.test/a/page.htm", "../../../c.htm", "http://h.test/c.htm"},
      {"http://h.test/a/b/page.htm", "http://other.test/z.gpx", "http://other.test/z.gpx"},
      {"http://h.test/a/b/page.htm", "//other.test/z", "http://other.test/z"},
      {"http://h.test/a/b/page.htm", "mailto:x@h.test", "mailto:x@h.test"},
      {"http://h.test/a/b/page.htm", "?q=1", "http://h.test/a/b/page.htm?q=1"},
      {"http://h.test/a/b/page.htm?x=1", "#top", "http://h.test/a/b/page.htm?x=1#top"},
      {"http://h.test/a/b/page.htm", "c.htm?p=/x/../y#f", "http://h.test/a/b/c.htm?p=/x/../y#f"},
      {"http://h.test", "c.htm", "http://h.test/c.htm"},
      {"http://h.test:8080/dir/", "  sub/p.htm \n", "http://h.test:8080/dir/sub/p.htm"},
      {"http://h.test/a/", "", "<null>"},
      {"not a url", "c.htm", "<null>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.base) + " + " + c.link);
    EXPECT_EQ(owned(url_resolve, c.base, c.link), c.expected);
  }
}

TEST_F(HttpUrl, WebRootTargetsAndEscapes) {
  struct Case {
    const char* url;
    const char* root;
    const char* direct;
  };
  const Case cases[] = {
      {"http://h.test/a/b/page.htm", "http://h.test/a/b/", "/a/b/page.htm"},
      {"http://h.test/page.htm", "http://h.test/page.htm", "/page.htm"},
      {"http://h.test/", "http://h.test/index.htm", "/"},
      {"http://h.test", "http://h.test/index.htm", "/"},
      {"http://h.test/my maps/a b.htm", "http://h.test/my maps/", "/my%20maps/a%20b.htm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    char* out = nullptr;
    EXPECT_STREQ(url_default_page(c.url, &out), c.root);
    EXPECT_STREQ(url_request_target(c.url, 0, &out), c.direct);
    url_escape_spaces(c.url, &out);
    EXPECT_STREQ(url_request_target(c.url, 1, &out), std::string(out).c_str());
    free_mem(&out);
  }
  char* out = nullptr;
  EXPECT_STREQ(url_escape_spaces("a b  c", &out), "a%20b%20%20c");
  EXPECT_STREQ(url_unescape_space_copy("a%20b%2", &out), "a b%2");
  EXPECT_STREQ(url_host("http://h.test:81/x", &out), "h.test:81");
  EXPECT_STREQ(url_host("ftp://h.test/x", &out), "");
  free_mem(&out);
}

TEST_F(HttpUrl, AccessSettingIsReadWithinBounds) {
  struct Case {
    std::string text;
    int rc;
    const char* server;
    int port;
  };
  const Case cases[] = {
      {"1", 0, "", 0},
      {"2  proxy.lan 3128", 0, "proxy.lan", 3128},
      {"2 proxy.lan\t8080 trailing", 0, "proxy.lan", 8080},
      {"2 proxy.lan", -1, "", 0},
      {"2 proxy.lan 0", -1, "", 0},
      {"2 proxy.lan 70000", -1, "", 0},
      {"2 ", -1, "", 0},
      {"2", -1, "", 0},
      {"0", -1, "", 0},
      {"2 " + std::string(300, 'n') + " 80", -1, "", 0},  // longer than the buffer
      {"2 " + std::string(255, 'n') + " 80", 0, nullptr, 80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    http_access_t a{};
    EXPECT_EQ(http_read_access(c.text.c_str(), &a), c.rc);
    EXPECT_EQ(a.port, c.port);
    if (c.server) {
      EXPECT_STREQ(a.server, c.server);
    }
  }
  struct Split {
    const char* host;
    const char* name;
    int port;
  };
  const Split splits[] = {{"h.test", "h.test", 80}, {"h.test:8080", "h.test", 8080},
                          {"h.test:0", "h.test", 80}, {"h.test:", "h.test", 80},
                          {"h.test:99999", "h.test", -1}, {"h.test:8x", "h.test", -1}};
  for (const Split& s : splits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s", s.host);
    EXPECT_EQ(http_split_port(buf), s.port) << s.host;
    EXPECT_STREQ(buf, s.name);
  }
}

TEST_F(HttpUrl, HeadersAreParsedWithNamesInAnyCase) {
  struct Case {
    std::string header;
    int status;
    int64_t length;
    const char* location;
  };
  const Case cases[] = {
      {"HTTP/1.0 200 OK\r\nContent-Length: 42\r\n\r\n", 200, 42, nullptr},
      {"HTTP/1.1 200 OK\r\ncontent-length:7\r\n\r\n", 200, 7, nullptr},
      {"HTTP/1.0 200 OK\r\nX-Content-Length: 9\r\n\r\n", 200, -1, nullptr},
      {"HTTP/1.0 200 OK\r\nContent-Length: 12x\r\n\r\n", 200, 12, nullptr},
      {"HTTP/1.0 200 OK\r\nContent-Length: x\r\n\r\n", 200, -1, nullptr},
      {"HTTP/1.0 301 Moved\r\nLocation: http://a.test/b\r\n\r\n", 301, -1, "http://a.test/b"},
      {"HTTP/1.0 302 Found\r\nLOCATION:   /rel/x.htm  \r\n\r\n", 302, -1, "/rel/x.htm"},
      {"HTTP/1.0 303 See Other\r\nlocation: y.htm\r\n\r\n", 303, -1, "y.htm"},
      {"HTTP/1.0 307 Temporary\r\nLocation: /t\r\n\r\n", 307, -1, "/t"},
      {"HTTP/1.0 200 OK\r\nLocation: /ignored\r\n\r\n", 200, -1, nullptr},
      {"HTTP/1.0 404 Not Found\r\n\r\n", 404, -1, nullptr},
      {"HTTP/1.0 20", 400, -1, nullptr},
      {"HTML/1.0 200 OK\r\n\r\n", 400, -1, nullptr},
      {std::string("HTTP/1.0 200 OK\r\nX: \0\r\nContent-Length: 3\r\n\r\n", 44), 200, 3, nullptr},
      // Lengths no body can have: too long to hold (the budget then refuses it), negative.
      {"HTTP/1.0 200 OK\r\nContent-Length: 123456789012345678901234567890\r\n\r\n", 200,
       INT64_MAX, nullptr},
      {"HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n", 200, -1, nullptr},
      // A repeated length must agree with the first; two lengths leave none to trust.
      {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\ncontent-length: 5\r\n\r\n", 200, 5, nullptr},
      {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\nContent-Length: 50\r\n\r\n", 400, -1, nullptr},
      {"HTTP/1.0 302 Found\r\nLocation: /x\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
       400, -1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header.substr(0, 30));
    http_response_t r{};
    http_parse_response(c.header.data(), c.header.size(), &r);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.content_length, c.length);
    EXPECT_STREQ(r.location, c.location);
    http_response_free(&r);
  }
  // The parse never reads past the bytes given: a length cut before the line's end.
  const std::string text = "HTTP/1.0 200 OK\r\nContent-Length: 123456";
  http_response_t r{};
  http_parse_response(text.data(), text.size() - 3, &r);
  EXPECT_EQ(r.content_length, 123);
  http_response_free(&r);
}

TEST_F(HttpUrl, HeaderEndIsFoundAcrossBinaryBytes) {
  const std::string bytes("HTTP/1.0 200 OK\r\nX: \0\xff\r\n\r\nbody\r\n\r\n", 34);
  EXPECT_EQ(http_header_end(bytes.data(), bytes.size(), 0), 26u);
  EXPECT_EQ(http_header_end(bytes.data(), 25, 0), 0u);
  EXPECT_EQ(http_header_end(bytes.data(), bytes.size(), 25 - 3), 26u);  // resumed 3 bytes back
}

}  // namespace
