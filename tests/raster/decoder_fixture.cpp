// Test support of the image decoders (decoder_fixture.h).
#include "tests/raster/decoder_fixture.h"

#include <algorithm>
#include <filesystem>

namespace raster_test {

std::vector<std::string> fixture_images(const std::string& format) {
  std::vector<std::string> names;
  const std::filesystem::path dir = std::string(TM_FIXTURE_DIR) + "/raster/" + format;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::filesystem::path p = entry.path();
    if (p.extension() == "." + format) names.push_back(p.filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bytes image_rgb(bitmap_t* b) {
  bytes out;
  out.reserve(size_t(b->width) * b->height * 3);
  for (int y = 0; y < b->height; ++y) {
    const uint8_t* line = get_img_line_adr(b, y, 0);
    if (!line) return {};
    for (int x = 0; x < b->width; ++x) {
      if (b->planes == 3) {
        for (int c = 0; c < 3; ++c) out.push_back(line[c * b->width + x]);
      } else {
        const uint8_t v = line[x];
        out.push_back(b->lut_r[v]);
        out.push_back(b->lut_g[v]);
        out.push_back(b->lut_b[v]);
      }
    }
  }
  return out;
}

}  // namespace raster_test
