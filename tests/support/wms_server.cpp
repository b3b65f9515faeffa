// The test WMS server (see wms_server.h).
#include "tests/support/wms_server.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/sys/checksum.h"
#include "platform/sys/deflate_writer.h"

namespace tm_test {
namespace {

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

int hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
      out.push_back(char(hex(s[i + 1]) * 16 + hex(s[i + 2])));
      i += 2;
    } else {
      out.push_back(s[i] == '+' ? ' ' : s[i]);
    }
  }
  return out;
}

void put32(std::string* out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out->push_back(char((v >> s) & 255));
}

void chunk(std::string* out, const char* type, const std::string& data) {
  put32(out, uint32_t(data.size()));
  std::string body = std::string(type, 4) + data;
  out->append(body);
  put32(out, plat::crc32_update(plat::kCrc32Init, body.data(), body.size()) ^ 0);
}

std::string ok(const std::string& type, const std::string& body) {
  return http_server::reply("200 OK",
                            "Content-Type: " + type + "\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n",
                            body);
}

int clamp_byte(double v) {
  if (!(v >= 0)) return 0;
  return v > 255 ? 255 : int(std::floor(v));
}

}  // namespace

wms_server::wms_server() {
  server_.set_handler([this](const std::string& request) { return answer(request); });
}

wms_server::~wms_server() { server_.stop(); }

std::string wms_server::url(const std::string& path) const {
  return "http://" + server_.authority() + path;
}

void wms_server::set_capabilities(const std::string& path, const std::string& document) {
  std::string doc = document;
  const std::string base = url("");
  for (size_t at = doc.find("{{BASE}}"); at != std::string::npos; at = doc.find("{{BASE}}", at))
    doc.replace(at, 8, base);
  std::lock_guard<std::mutex> lock(mutex_);
  documents_[path] = doc;
}

void wms_server::set_getmap_mode(getmap_mode mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  mode_ = mode;
}

std::vector<wms_params> wms_server::getmap_requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return getmaps_;
}

std::vector<std::string> wms_server::request_paths() {
  std::lock_guard<std::mutex> lock(mutex_);
  return paths_;
}

wms_params wms_server::parse_query(const std::string& query) {
  wms_params out;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    if (!pair.empty()) {
      const size_t eq = pair.find('=');
      out[upper(unescape(pair.substr(0, eq)))] =
          eq == std::string::npos ? "" : unescape(pair.substr(eq + 1));
    }
    start = end + 1;
  }
  return out;
}

std::string wms_server::png_rgb(int w, int h, const std::vector<unsigned char>& rgb) {
  std::string out("\x89PNG\r\n\x1a\n", 8);
  std::string ihdr;
  put32(&ihdr, uint32_t(w));
  put32(&ihdr, uint32_t(h));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  chunk(&out, "IHDR", ihdr);
  std::vector<uint8_t> raw;
  raw.reserve(size_t(h) * (size_t(w) * 3 + 1));
  for (int y = 0; y < h; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgb.begin() + long(y) * w * 3, rgb.begin() + long(y + 1) * w * 3);
  }
  std::string z;
  plat::DeflateWriter writer([&z](const uint8_t* p, size_t n) {
    z.append(reinterpret_cast<const char*>(p), n);
    return true;
  });
  writer.write(raw.data(), raw.size());
  writer.finish();
  chunk(&out, "IDAT", z);
  chunk(&out, "IEND", "");
  return out;
}

std::string wms_server::picture_for(const wms_params& p) {
  auto get = [&p](const char* k) {
    auto it = p.find(k);
    return it == p.end() ? std::string() : it->second;
  };
  const int w = std::atoi(get("WIDTH").c_str()), h = std::atoi(get("HEIGHT").c_str());
  if (w < 1 || h < 1 || w > 4096 || h > 4096) return "";
  double v[4] = {0, 0, 0, 0};
  if (std::sscanf(get("BBOX").c_str(), "%lf,%lf,%lf,%lf", &v[0], &v[1], &v[2], &v[3]) != 4)
    return "";
  double minx = v[0], miny = v[1], maxx = v[2], maxy = v[3];
  const std::string system = upper(get("CRS").empty() ? get("SRS") : get("CRS"));
  if (get("VERSION") == "1.3.0" && system == "EPSG:4326") {
    minx = v[1];
    miny = v[0];
    maxx = v[3];
    maxy = v[2];
  }
  std::vector<unsigned char> rgb(size_t(w) * size_t(h) * 3);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const double x = minx + (i + 0.5) * (maxx - minx) / w;
      const double y = maxy - (j + 0.5) * (maxy - miny) / h;
      unsigned char* px = &rgb[(size_t(j) * size_t(w) + size_t(i)) * 3];
      px[0] = static_cast<unsigned char>(clamp_byte(x));
      px[1] = static_cast<unsigned char>(clamp_byte(y));
      px[2] = 77;
    }
  return png_rgb(w, h, rgb);
}

http_reply wms_server::answer(const std::string& request) {
  // "GET <target> HTTP/1.0": the target is a path or, through a proxy, a whole address.
  const size_t sp1 = request.find(' ');
  const size_t sp2 = sp1 == std::string::npos ? sp1 : request.find(' ', sp1 + 1);
  std::string target = sp2 == std::string::npos ? "" : request.substr(sp1 + 1, sp2 - sp1 - 1);
  if (target.rfind("http://", 0) == 0) {
    const size_t slash = target.find('/', 7);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  }
  const size_t q = target.find('?');
  const std::string path = target.substr(0, q);
  const wms_params params = parse_query(q == std::string::npos ? "" : target.substr(q + 1));
  const std::string req = params.count("REQUEST") ? upper(params.at("REQUEST")) : "";
  const http_reply not_found{http_server::reply("404 Not Found", "Content-Length: 9\r\n", "not found"),
                             false};
  std::unique_lock<std::mutex> lock(mutex_);
  paths_.push_back(path);
  if (req == "GETCAPABILITIES" || req == "CAPABILITIES") {
    auto it = documents_.find(path);
    if (it == documents_.end()) return not_found;
    return http_reply{ok("text/xml", it->second), false};
  }
  if (req != "GETMAP" && req != "MAP") return not_found;
  getmaps_.push_back(params);
  const getmap_mode mode = mode_;
  lock.unlock();
  switch (mode) {
    case getmap_mode::not_found: return not_found;
    case getmap_mode::stall: return http_reply{"", true};
    case getmap_mode::exception:
      return http_reply{ok("application/vnd.ogc.se_xml",
                           "<?xml version=\"1.0\"?>\n<ServiceExceptionReport version=\"1.3.0\">\n"
                           "  <ServiceException code=\"LayerNotDefined\">\n    Layer not "
                           "defined: nothing\n  </ServiceException>\n</ServiceExceptionReport>\n"),
                        false};
    case getmap_mode::picture: break;
  }
  const std::string png = picture_for(params);
  if (png.empty()) return not_found;
  return http_reply{ok("image/png", png), false};
}

}  // namespace tm_test
