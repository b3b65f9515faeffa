// The system's printers: the destinations of a real CUPS scheduler, run privately for
// the test (tests/support/cups_server.h), listed beside the file printer with their
// default, resolutions, papers and landscape; a document printed on one reaching its
// file device as a PDF holding what was drawn; a queue that refuses jobs failing the
// document with the server's reason; no server at all leaving the file printer alone.
// Also where the file printer writes: the documents folder, else the home folder.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/print/printer.h"
#include "platform/sys/sysinfo.h"
#include "tests/platform/print_pdf.h"
#include "tests/support/cups_server.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"

namespace {

// Sets or clears one variable of the environment while the object lives.
class scoped_env {
 public:
  scoped_env(const char* name, const char* value) : name_(name) {
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
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
  scoped_env(const scoped_env&) = delete;
  scoped_env& operator=(const scoped_env&) = delete;

 private:
  std::string name_, old_;
  bool had_ = false;
};

// Files named like a job's carrier in a folder.
int job_carriers_in(const std::string& folder) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    if (e.path().filename().string().rfind("print-job-", 0) == 0) ++n;
  return n;
}

class SystemPrinters : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!server_.start(&why)) GTEST_SKIP() << "no private CUPS scheduler: " << why;
    ASSERT_TRUE(server_.add_queue("test", "test.pdf", true, &why)) << why;
    ASSERT_TRUE(server_.add_queue("off", "off.pdf", false, &why)) << why;
    ASSERT_TRUE(server_.set_default("test"));
    plat::reset_printer_list();
  }
  void TearDown() override {
    plat::set_printer_config({});
    server_.stop();
  }
  tm_test::CupsServer server_;
};

TEST_F(SystemPrinters, DestinationsAreListedBesideTheFilePrinter) {
  EXPECT_EQ(plat::enum_printers(), (std::vector<std::string>{"off", "test", "PDF"}));
  EXPECT_EQ(plat::get_default_printer(), "test");
  EXPECT_TRUE(plat::is_system_printer("test"));
  EXPECT_FALSE(plat::is_system_printer("PDF"));
  EXPECT_EQ(plat::device_capabilities("test", plat::DC_ORIENTATION), 90);
  EXPECT_EQ(plat::device_capabilities("test", plat::DC_COLORDEVICE), 1);
  plat::Printer p = nullptr;
  ASSERT_TRUE(plat::open_printer("test", &p));
  plat::DevMode d;
  ASSERT_EQ(plat::document_properties(p, &d, nullptr, plat::DM_OUT_BUFFER), 1);
  // The queue's own defaults: 300 dpi on A4.
  EXPECT_EQ(d.print_quality, 300);
  EXPECT_EQ(d.paper_size, plat::DMPAPER_A4);
  EXPECT_EQ(d.paper_width, 2100);
  // It prints at 150 and 300 dpi and on Letter; nothing else is kept.
  const struct {
    int16_t asked;
    int16_t kept;
  } qualities[] = {{150, 150}, {300, 300}, {600, 300}, {200, 300}};
  for (const auto& q : qualities) {
    plat::DevMode in = d, out;
    in.fields = plat::DM_PRINTQUALITY;
    in.print_quality = q.asked;
    ASSERT_EQ(plat::document_properties(p, &out, &in, plat::DM_IN_BUFFER | plat::DM_OUT_BUFFER), 1);
    EXPECT_EQ(out.print_quality, q.kept) << q.asked;
  }
  plat::DevMode in = d, out;
  in.fields = plat::DM_PAPERSIZE | plat::DM_ORIENTATION;
  in.paper_size = plat::DMPAPER_LETTER;
  in.orientation = plat::DMORIENT_LANDSCAPE;
  ASSERT_EQ(plat::document_properties(p, &out, &in, plat::DM_IN_BUFFER | plat::DM_OUT_BUFFER), 1);
  EXPECT_EQ(out.paper_size, plat::DMPAPER_LETTER);
  EXPECT_EQ(out.paper_length, 2794);
  EXPECT_EQ(out.orientation, plat::DMORIENT_LANDSCAPE);
  plat::close_printer(p);
}

// A document on the queue: one job, whose file at the device is the page drawn; the
// carrier file in the temporary folder is gone.
TEST_F(SystemPrinters, DocumentReachesTheDeviceAsOnePdfJob) {
  if (!tm_test::tool_present("pdftoppm")) GTEST_SKIP() << "no pdftoppm (poppler-utils)";
  plat::DevMode settings;
  settings.fields = plat::DM_PRINTQUALITY;
  settings.print_quality = 150;
  plat::Dc dc = plat::create_printer_dc("test", &settings);
  ASSERT_NE(dc, nullptr) << plat::last_print_error();
  const int w = plat::get_device_caps(dc, plat::HORZRES), h = plat::get_device_caps(dc, plat::VERTRES);
  ASSERT_GT(plat::start_doc(dc, "System job", nullptr), 0) << plat::last_print_error();
  ASSERT_GT(plat::start_page(dc), 0);
  plat::Brush red = plat::create_solid_brush(plat::rgb(255, 0, 0));
  plat::fill_rect(dc, plat::Rect{0, 0, w / 2, h / 2}, red);  // the upper left quarter
  plat::delete_object(red);
  ASSERT_GT(plat::end_doc(dc), 0) << plat::last_print_error();
  EXPECT_GT(plat::printed_job(dc), 0);
  EXPECT_EQ(plat::printed_file(dc), "");
  EXPECT_EQ(plat::printer_dc_name(dc), "test");
  plat::delete_dc(dc);
  EXPECT_EQ(job_carriers_in(plat::temp_dir()), 0);
  const std::string file = server_.wait_for_device_file("test.pdf");
  ASSERT_FALSE(file.empty()) << "the job did not reach the device: " << server_.log_tail();
  const print_test::Raster r = print_test::render_page(file, 1, 20, tm_test::fresh_dir("cupsjob") + "page");
  ASSERT_GT(r.width, 0);
  EXPECT_LT(r.width, r.height);  // portrait A4
  const auto near = [](std::array<int, 3> a, std::array<int, 3> b) {
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) < 60;
  };
  EXPECT_TRUE(near(r.at(r.width / 4, r.height / 4), {255, 0, 0}));
  EXPECT_TRUE(near(r.at(3 * r.width / 4, 3 * r.height / 4), {255, 255, 255}));
}

TEST_F(SystemPrinters, RefusedJobFailsWithTheServersReason) {
  plat::Dc dc = plat::create_printer_dc("off", nullptr);
  ASSERT_NE(dc, nullptr) << plat::last_print_error();
  ASSERT_GT(plat::start_doc(dc, "Refused", nullptr), 0);
  ASSERT_GT(plat::start_page(dc), 0);
  EXPECT_LE(plat::end_doc(dc), 0);
  const std::string reason = plat::last_print_error();
  EXPECT_NE(reason.find("\"off\""), std::string::npos) << reason;
  EXPECT_NE(reason.find("not accepting jobs"), std::string::npos) << reason;
  EXPECT_EQ(plat::printed_job(dc), 0);
  plat::delete_dc(dc);
  EXPECT_EQ(job_carriers_in(plat::temp_dir()), 0);
}

// A configured list is the whole list unless the system's printers are asked for too.
TEST_F(SystemPrinters, ConfiguredListsWithAndWithoutTheSystemsPrinters) {
  plat::set_printer_config({{"Office", tm_test::fresh_dir("office"), 300, true}});
  EXPECT_EQ(plat::enum_printers(), std::vector<std::string>{"Office"});
  EXPECT_EQ(plat::get_default_printer(), "Office");
  plat::set_printer_config({{"Office", tm_test::fresh_dir("office"), 300, true}}, true);
  EXPECT_EQ(plat::enum_printers(), (std::vector<std::string>{"off", "test", "Office"}));
  EXPECT_EQ(plat::get_default_printer(), "test");
}

// The list asked for from several threads at once (the first asks the server): each
// gets the whole list, and the server is asked once.
TEST_F(SystemPrinters, ListReadFromSeveralThreadsAtOnce) {
  std::vector<std::vector<std::string>> seen(4);
  std::vector<std::string> defaults(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&, i] {
      seen[i] = plat::enum_printers();
      defaults[i] = plat::get_default_printer();
    });
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i], (std::vector<std::string>{"off", "test", "PDF"})) << i;
    EXPECT_EQ(defaults[i], "test") << i;
  }
}

// No scheduler where libcups looks: the file printer alone, and no word about it.
TEST(NoPrintServer, TheFilePrinterAlone) {
  const std::string folder = tm_test::fresh_dir("noserver");
  for (const std::string& server : {folder + "no.sock", std::string("/nonexistent/cups.sock")}) {
    scoped_env env("CUPS_SERVER", server.c_str());
    plat::reset_printer_list();
    EXPECT_EQ(plat::enum_printers(), std::vector<std::string>{"PDF"}) << server;
    EXPECT_EQ(plat::get_default_printer(), "PDF");
    EXPECT_FALSE(plat::is_system_printer("PDF"));
  }
  plat::set_printer_config({});
}

// Where the file printer writes: the XDG documents folder (the variable, then
// user-dirs.dirs), else ~/Documents, else the home folder; the temporary folder only
// without a home.
TEST(DocumentsFolder, XdgThenHome) {
  const std::string root = tm_test::fresh_dir("docs");
  const std::string home = root + "home", config = root + "config";
  std::filesystem::create_directories(home);
  std::filesystem::create_directories(config);
  scoped_env h("HOME", home.c_str());
  scoped_env c("XDG_CONFIG_HOME", config.c_str());
  scoped_env d("XDG_DOCUMENTS_DIR", nullptr);
  plat::set_printer_config({});
  // Nothing: the home folder itself.
  EXPECT_EQ(plat::documents_dir(), home + "/");
  EXPECT_EQ(plat::printer_output_folder("PDF"), home + "/");
  // ~/Documents once it exists.
  std::filesystem::create_directories(home + "/Documents");
  EXPECT_EQ(plat::documents_dir(), home + "/Documents/");
  // user-dirs.dirs names another one; a folder it names that does not exist is passed over.
  std::filesystem::create_directories(home + "/Papiers");
  tm_test::write_file(config + "/user-dirs.dirs",
                      "# written by the desktop\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Papiers\"\n");
  EXPECT_EQ(plat::documents_dir(), home + "/Papiers/");
  tm_test::write_file(config + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Missing\"\n");
  EXPECT_EQ(plat::documents_dir(), home + "/Documents/");
  // The variable comes first.
  {
    scoped_env v("XDG_DOCUMENTS_DIR", (root + "elsewhere").c_str());
    EXPECT_EQ(plat::documents_dir(), home + "/Documents/");  // missing: passed over
    std::filesystem::create_directories(root + "elsewhere");
    EXPECT_EQ(plat::documents_dir(), root + "elsewhere/");
    EXPECT_EQ(plat::printer_output_folder("PDF"), root + "elsewhere/");
  }
  // No home: no documents folder, and the file printer falls back on the temporary folder.
  scoped_env no_home("HOME", nullptr);
  scoped_env no_config("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(plat::documents_dir(), "");
  EXPECT_EQ(plat::printer_output_folder("PDF"), plat::temp_dir());
}

}  // namespace
