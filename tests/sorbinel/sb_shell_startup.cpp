// The viewer's start-up pieces: the command line into the settings record, the
// extension list, the configuration keys and the queue (unknown words traced in
// "zz_SRBV.log"), the window size asked for by the queued images, the main title, and a
// whole headless run of the program leaving the picture of its window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/tracelog.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "tests/sorbinel/sb_browse_fixture.h"
#include "sorbinel/sb_shell.h"
#include "tests/support/run_tool.h"

namespace {

using sb_test::BrowseTest;

class CommandLine : public BrowseTest {
 protected:
  void SetUp() override {
    BrowseTest::SetUp();
    config_set("LOG_DIR", dir_.c_str());
    config_set("LOGERROR", "1");
    log_init(kSbLogTag);
  }
  static std::string key(const char* k) {
    const char* v = config_get(k);
    return v ? v : "<none>";
  }
  // The settings as start-up makes them, the rest of the state kept.
  static void fresh_settings() {
    sb_file_filter_t* f = sb_filter();
    f->min_dim = f->max_dim = f->orientation = f->min_file_size = f->max_file_size = 0;
    f->no_zoom_max = f->single_image = 0;
    f->stored_zoom = 1.0;
    sb().extensions.clear();
  }
  std::string trace() const {
    std::ifstream in(dir_ + "zz_SRBV.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(CommandLine, OptionsFillTheSettings) {
  struct row {
    const char* line;
    int min_dim, max_dim, orientation, min_size, max_size, no_zoom_max;
    std::vector<std::string> extensions;
  };
  const row rows[] = {
      {"", 0, 0, 0, 0, 0, 0, {}},
      {"-minfilesize 0.5", 0, 0, 0, 0, 0, 0, {}},  // below 1: left unset
      {"-minfilesize 1500.7 -maxfilesize 90000", 0, 0, 0, 1500, 90000, 0, {}},
      {"-mindim 1000 -maxdim 4000", 1000, 4000, 0, 0, 0, 0, {}},
      {"-mindim 0 -maxdim -3", 0, 0, 0, 0, 0, 0, {}},
      {"-orientationv", 0, 0, 'V', 0, 0, 0, {}},
      {"-orientationv -orientationh", 0, 0, 'H', 0, 0, 0, {}},
      {"-nozoommax", 0, 0, 0, 0, 0, 1, {}},
      {"-fileext JPG -fileext png", 0, 0, 0, 0, 0, 0, {"jpg", "png"}},
      {"-MINDIM 12", 12, 0, 0, 0, 0, 0, {}},  // options match whole words, in any case
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.line);
    fresh_settings();
    sb_parse_command_line(r.line);
    const sb_file_filter_t* f = sb_filter();
    EXPECT_EQ(int{f->min_dim}, r.min_dim);
    EXPECT_EQ(int{f->max_dim}, r.max_dim);
    EXPECT_EQ(int{f->orientation}, r.orientation);
    EXPECT_EQ(int{f->min_file_size}, r.min_size);
    EXPECT_EQ(int{f->max_file_size}, r.max_size);
    EXPECT_EQ(int{f->no_zoom_max}, r.no_zoom_max);
    EXPECT_EQ(sb().extensions, r.extensions);
  }
}

TEST_F(CommandLine, KeysQueueAndUnknownWords) {
  const std::string a = copy_fixture("dims/small_300x200.png");
  config_set("FILEEXT", "PNG Tif");
  sb_parse_command_line((a + " -title Holidays -notoolbar -bogus " + a + " -loadx").c_str());
  EXPECT_EQ(key("SBTITLE"), "Holidays");
  // "-notoolbar" gives the key a value: start-up leaves the toolbar out.
  EXPECT_EQ(key("NOTOOLBAR"), "1");
  EXPECT_EQ(sb().extensions, (std::vector<std::string>{"png", "tif"}));
  // The first plain word is loaded; the same word in another place is not.
  EXPECT_EQ(sb_queue_count(), 1);
  const std::string log = trace();
  EXPECT_NE(log.find("Unknow Parameter:-bogus"), std::string::npos) << log;
  EXPECT_NE(log.find("Unknow Parameter:" + a), std::string::npos) << log;
  EXPECT_NE(log.find("Unknow Parameter:-loadx"), std::string::npos) << log;
}

TEST_F(CommandLine, LoadQueuesEveryPath) {
  const std::string a = copy_fixture("dims/small_300x200.png");
  const std::string b = copy_fixture("dims/tall_600x800.png");
  sb_parse_command_line(("-load " + a + " -load " + b).c_str());
  EXPECT_EQ(sb_queue_count(), 2);
}

// The largest width and the largest height of the queued images, within the work area
// minus two frames; a file that cannot be measured leaves both at 0.
TEST_F(CommandLine, WindowSizeFollowsTheLargestQueuedImages) {
  const plat::Rect wa = plat::get_work_area();
  const int max_w = wa.width() - 2 * plat::get_system_metrics(plat::SM_CXFRAME);
  const int max_h = wa.height() - 2 * plat::get_system_metrics(plat::SM_CYFRAME);
  struct row {
    std::vector<std::string> files;
    int width, height;
  };
  const row rows[] = {
      {{"dims/small_300x200.png", "dims/tall_600x800.png"}, 600, 800},
      {{"dims/wide_1200x900.png", "dims/tall_600x800.png"}, 1200, 900},
      {{"dims/small_300x200.png", "browse/06_notes.txt"}, 0, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.files[0] + " " + r.files[1]);
    fresh_settings();
    sb_browse_init();
    std::string line;
    for (const std::string& f : r.files)
      line += " -load " + copy_fixture(f, std::to_string(std::rand()) + "_" + sb_test::fs::path(f).filename().string());
    sb_parse_command_line(line.c_str());
    int w = -1, h = -1;
    sb_queued_window_size(&w, &h);
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    EXPECT_EQ(w, std::min(r.width, max_w));
    EXPECT_EQ(h, std::min(r.height, max_h));
  }
}

// The decoder rows of PNG, JPEG and GIF, counted: each call is one decode of a file.
struct decode_count {
  static inline int calls[kDecoderCodeLimit] = {};
  static inline image_decoder_fn real[kDecoderCodeLimit] = {};
  static int row(const image_decode_call& call) {
    const int code = (*call.image)->format;
    ++calls[code];
    return real[code](call);
  }
  static void install() {
    for (int code : {kDecoderJpeg, kDecoderGif, kDecoderPng}) {
      calls[code] = 0;
      real[code] = image_decoder_for(code);
      image_decoder_register(code, row);
    }
  }
};

// Sizing the window reads the headers of the queued images: nothing is decoded and
// nothing loaded until a file is shown, and each file shown is decoded once, none of
// it written to swap.
TEST_F(CommandLine, QueuedImagesAreMeasuredFromTheirHeadersAndDecodedOnceWhenShown) {
  const plat::Rect wa = plat::get_work_area();
  const int max_w = wa.width() - 2 * plat::get_system_metrics(plat::SM_CXFRAME);
  const int max_h = wa.height() - 2 * plat::get_system_metrics(plat::SM_CYFRAME);
  decode_count::install();
  const std::string gif = dir_ + "pil_single87a.gif";
  sb_test::fs::copy(std::string(TM_FIXTURE_DIR) + "/raster/gif/pil_single87a.gif", gif);
  const std::string files[] = {gif, copy_fixture("info/photo_exif.jpg"), copy_fixture("dims/wide_1200x900.png")};
  sb_parse_command_line(("-load " + files[0] + " -load " + files[1] + " -load " + files[2]).c_str());
  int w = -1, h = -1;
  sb_queued_window_size(&w, &h);
  EXPECT_EQ(w, std::min(1200, max_w));
  EXPECT_EQ(h, std::min(900, max_h));
  for (int code : {kDecoderJpeg, kDecoderGif, kDecoderPng}) EXPECT_EQ(decode_count::calls[code], 0) << code;
  for (const std::string& path : files) {
    fileatt_t* f = nullptr;
    file_find_by_name(path.c_str(), &f);
    ASSERT_NE(f, nullptr) << path;
    EXPECT_EQ(file_has_objects(f), 0) << path;
  }
  sb_take_queue();
  post_command(kSbSlotNextFile, 0, nullptr);
  settle();
  struct step {
    std::string shown;
    int gif, jpeg, png;
  } const steps[] = {
      {"photo_exif.jpg", 0, 1, 0},
      {"pil_single87a.gif", 1, 1, 0},
      {"wide_1200x900.png", 1, 1, 1},
  };
  for (const step& st : steps) {
    SCOPED_TRACE(st.shown);
    EXPECT_EQ(shown(), st.shown);
    EXPECT_EQ(decode_count::calls[kDecoderGif], st.gif);
    EXPECT_EQ(decode_count::calls[kDecoderJpeg], st.jpeg);
    EXPECT_EQ(decode_count::calls[kDecoderPng], st.png);
    ASSERT_FALSE(shown_images().empty());
    space();
  }
  EXPECT_EQ(swap_total_bytes(), 0.0);
}

TEST_F(CommandLine, MainTitleNamesTheFilters) {
  sb_parse_command_line("-mindim 1000 -fileext jpg -fileext png");
  EXPECT_EQ(sb_main_title(), "Sorbinel v5.0.0 - Minimal Dimension: 1000 x 1000 - Files Types: jpg png");
  config_reset();
  config_temp_dir_set((dir_ + "swap/").c_str(), "s_");
  config_set("LANG", "FRANCAIS");
  EXPECT_EQ(sb_main_title(), "Sorbinel v5.0.0 - Dimension minimum : 1000 x 1000 - Types de fichiers : jpg png");
  fresh_settings();
  EXPECT_EQ(sb_main_title(), "Sorbinel v5.0.0");
}

// ---- A whole run ----------------------------------------------------------------------------------
std::string program_beside_tests() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string self(buf, size_t(n));
  return self.substr(0, self.find_last_of('/') + 1) + "sorbinel";
}

bool png_size(const std::string& path, uint32_t* w, uint32_t* h) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[24] = {};
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
  static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (int i = 0; i < 8; ++i)
    if (head[i] != sig[i]) return false;
  *w = uint32_t(head[16]) << 24 | uint32_t(head[17]) << 16 | uint32_t(head[18]) << 8 | head[19];
  *h = uint32_t(head[20]) << 24 | uint32_t(head[21]) << 16 | uint32_t(head[22]) << 8 | head[23];
  return true;
}

struct scoped_env {
  scoped_env(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~scoped_env() {
    if (had_)
      setenv(name_.c_str(), old_.c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  std::string name_, old_;
  bool had_ = false;
};

TEST(SorbinelRun, HeadlessRunLeavesThePictureOfItsWindowSizedForTheImages) {
  const std::string program = program_beside_tests();
  if (program.empty() || access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "no program " << program;
  const std::string dir = tm_test::fresh_dir("sorbinel-run");
  const std::string picture = dir + "window.png";
  scoped_env display("DISPLAY", nullptr);
  scoped_env target("SORBINEL_PICTURE", picture.c_str());
  scoped_env leaks("ASAN_OPTIONS", "detect_leaks=0");
  struct run {
    std::vector<std::string> extra;
    uint32_t w = 0, h = 0;
  };
  run runs[] = {{{}}, {{"-notoolbar"}}};
  for (run& r : runs) {
    std::vector<std::string> args = {program, sb_test::fixture("dims/small_300x200.png"), "-load",
                                     sb_test::fixture("info/gradient.png")};
    args.insert(args.end(), r.extra.begin(), r.extra.end());
    std::remove(picture.c_str());
    std::string out;
    ASSERT_EQ(tm_test::run_tool(args, &out, 120000), 0) << out;
    ASSERT_TRUE(png_size(picture, &r.w, &r.h)) << picture;
    // The client area holds the 300 x 200 image below the toolbar; the frame is around it.
    EXPECT_GE(r.h, 200u + 20u);
    EXPECT_LT(r.h, 200u + 140u);
  }
  // With the toolbar the window is as wide as the whole toolbar and a path field need;
  // without it, as the image (and some room for the status texts).
  EXPECT_GE(runs[0].w, 300u + 200u);
  EXPECT_LT(runs[0].w, 800u);
  EXPECT_GE(runs[1].w, 300u);
  EXPECT_LT(runs[1].w, 300u + 60u);
  // Without the toolbar the window is lower by the toolbar's height.
  EXPECT_LT(runs[1].h + 20u, runs[0].h);
}

// "-title" and the first window size do not depend on how the path was typed: from a
// chosen working folder, a relative path (with or without "-load", through "." or "..")
// leaves the very picture the whole path leaves, its caption showing the title and its
// size fitted to the image. Another title leaves another picture: the caption is seen.
TEST(SorbinelRun, RelativePathGivesTheTitleAndWindowOfTheWholePath) {
  const std::string program = program_beside_tests();
  if (program.empty() || access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "no program " << program;
  const std::string dir = tm_test::fresh_dir("sorbinel-relative");
  sb_test::fs::create_directories(dir + "work/img");
  sb_test::fs::create_directories(dir + "work/sub");
  const std::string image = dir + "work/img/small.png";
  sb_test::fs::copy_file(sb_test::fixture("dims/small_300x200.png"), image);
  scoped_env display("DISPLAY", nullptr);
  scoped_env leaks("ASAN_OPTIONS", "detect_leaks=0");
  // The picture the program leaves when run in the working folder with these words.
  auto picture_of = [&](const std::vector<std::string>& words, const std::string& name) {
    const std::string picture = dir + name + ".png";
    scoped_env target("SORBINEL_PICTURE", picture.c_str());
    std::vector<std::string> args = {"env", "-C", dir + "work", program};
    args.insert(args.end(), words.begin(), words.end());
    std::string out;
    EXPECT_EQ(tm_test::run_tool(args, &out, 120000), 0) << out;
    std::ifstream in(picture, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  const std::string whole = picture_of({"-title", "Vue", "-load", image}, "whole");
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(png_size(dir + "whole.png", &w, &h));
  EXPECT_LT(w, 800u);  // fitted to the 300 x 200 image, not the work area
  EXPECT_LT(h, 400u);
  struct row {
    const char* name;
    std::vector<std::string> words;
  };
  const row rows[] = {
      {"load", {"-title", "Vue", "-load", "img/small.png"}},
      {"first_word", {"img/small.png", "-title", "Vue"}},
      {"dots", {"-title", "Vue", "-load", "./sub/../img/small.png"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string relative = picture_of(r.words, r.name);
    uint32_t rw = 0, rh = 0;
    ASSERT_TRUE(png_size(dir + r.name + ".png", &rw, &rh));
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    EXPECT_TRUE(relative == whole) << "the title or the picture differs from the whole path's";
  }
  EXPECT_NE(picture_of({"-title", "Autre", "-load", image}, "other_title"), whole);
}

// A tiny image (24 x 10) gets no tiny window: the whole toolbar, a path field and a
// document area around the image, which sits in the middle of it.
TEST(SorbinelRun, TinyImageSitsCentredInAWindowThatShowsTheToolbar) {
  const std::string program = program_beside_tests();
  if (program.empty() || access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "no program " << program;
  if (!tm_test::tool_present("convert")) GTEST_SKIP() << "no convert";
  const std::string dir = tm_test::fresh_dir("sorbinel-tiny");
  const std::string picture = dir + "window.png", image = dir + "tiny.png";
  std::string out;
  ASSERT_EQ(tm_test::run_tool({"convert", "-size", "24x10", "xc:#ff0000", image}, &out, 20000), 0) << out;
  scoped_env display("DISPLAY", nullptr);
  scoped_env target("SORBINEL_PICTURE", picture.c_str());
  scoped_env leaks("ASAN_OPTIONS", "detect_leaks=0");
  ASSERT_EQ(tm_test::run_tool({program, image}, &out, 120000), 0) << out;
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(png_size(picture, &w, &h)) << picture;
  EXPECT_GE(w, 500u);
  EXPECT_GE(h, 180u);
  // The red image as PIL finds it in the picture: 24 x 10 pixels, its middle near the
  // middle of the window's width, below the toolbar.
  if (!tm_test::tool_present("/usr/bin/python3")) GTEST_SKIP() << "no python3";
  out.clear();
  ASSERT_EQ(tm_test::run_tool({"/usr/bin/python3", "-c",
                               "import sys\nfrom PIL import Image\n"
                               "im=Image.open(sys.argv[1]).convert('RGB')\n"
                               "m=Image.eval(im.split()[0],lambda v:255 if v>200 else 0)\n"
                               "g=Image.eval(im.split()[1],lambda v:255 if v<40 else 0)\n"
                               "from PIL import ImageChops\n"
                               "print(*ImageChops.multiply(m,g).getbbox())\n",
                               picture},
                              &out, 20000),
            0)
      << out;
  int left = 0, top = 0, right = 0, bottom = 0;
  ASSERT_EQ(std::sscanf(out.c_str(), "%d %d %d %d", &left, &top, &right, &bottom), 4) << out;
  EXPECT_EQ(right - left, 24);
  EXPECT_EQ(bottom - top, 10);
  EXPECT_NEAR((left + right) / 2.0, w / 2.0, 20.0);
  EXPECT_GT(top, 40);
}

// A chart is read by the program's own decoder rows: the window is sized for it (a chart
// that could not be measured would leave the whole work area).
TEST(SorbinelRun, ChartIsMeasuredByTheProgramsChartReader) {
  const std::string program = program_beside_tests();
  if (program.empty() || access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "no program " << program;
  const std::string picture = tm_test::fresh_dir("sorbinel-chart") + "window.png";
  scoped_env display("DISPLAY", nullptr);
  scoped_env target("SORBINEL_PICTURE", picture.c_str());
  scoped_env leaks("ASAN_OPTIONS", "detect_leaks=0");
  std::string out;
  ASSERT_EQ(tm_test::run_tool({program, sb_test::fixture("browse/07_chart.kap")}, &out, 120000), 0) << out;
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(png_size(picture, &w, &h)) << picture;
  const plat::Rect wa = plat::get_work_area();
  // (At least as wide as the toolbar needs.)
  EXPECT_LT(w, uint32_t(wa.width()) * 3 / 4);
  EXPECT_LT(h, uint32_t(wa.height()) / 2);
}

}  // namespace
