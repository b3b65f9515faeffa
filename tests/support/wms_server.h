// A test WMS server on 127.0.0.1 (over http_server's handler mode): it answers
// GetCapabilities with the document registered for the request's path, and GetMap with
// a PNG made from the request itself, so that a test can tell from the pixels where a
// picture came from.
//
// The picture of GetMap: WIDTH x HEIGHT RGB pixels; the pixel whose centre lies at
// (x east, y north) inside the BBOX has red floor(x), green floor(y) (both clamped to
// 0..255) and blue 77. The BBOX is read in the axis order of the request's version and
// system: WMS 1.3.0 with "EPSG:4326" writes latitude first.
//
// Modes make GetMap fail instead: a 404, a ServiceException document, or a stall (the
// request is read and nothing is sent until release or stop).
#pragma once
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/http_server.h"

namespace tm_test {

// The parameters of one request (names upper-cased, values unescaped).
using wms_params = std::map<std::string, std::string>;

class wms_server {
 public:
  enum class getmap_mode { picture, not_found, exception, stall };

  wms_server();
  ~wms_server();

  // "http://127.0.0.1:<port>" + path.
  std::string url(const std::string& path) const;
  // The document served for GetCapabilities at `path`; "{{BASE}}" in it becomes
  // url("").
  void set_capabilities(const std::string& path, const std::string& document);
  void set_getmap_mode(getmap_mode mode);
  // The GetMap requests received so far, and their paths.
  std::vector<wms_params> getmap_requests();
  std::vector<std::string> request_paths();
  http_server& http() { return server_; }

  // Parses "a=b&c=d" (names upper-cased, %XX and '+' decoded).
  static wms_params parse_query(const std::string& query);
  // The picture a GetMap request receives (empty when its parameters are unusable).
  static std::string picture_for(const wms_params& params);
  // A PNG of w x h RGB pixels (rgb holds 3 bytes a pixel, rows top first).
  static std::string png_rgb(int w, int h, const std::vector<unsigned char>& rgb);

 private:
  http_reply answer(const std::string& request);

  http_server server_;
  std::mutex mutex_;
  std::map<std::string, std::string> documents_;
  getmap_mode mode_ = getmap_mode::picture;
  std::vector<wms_params> getmaps_;
  std::vector<std::string> paths_;
};

}  // namespace tm_test
