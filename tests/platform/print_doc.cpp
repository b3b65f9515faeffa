// Printed documents: each one a PDF file of its own, checked three ways: by its
// skeleton (cross-reference entries, page tree, image streams decoded here), by pdfinfo
// (page count, page size) and by pdftoppm (what a reader shows where something was
// drawn). Also cancelling, file names, and the failures a caller must be told about.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/print/printer.h"
#include "tests/platform/print_pdf.h"
#include "tests/support/test_env.h"

namespace {

using print_test::PageImage;
using print_test::Pdf;

constexpr plat::Color kRed = plat::rgb(255, 0, 0);
constexpr plat::Color kBlack = plat::rgb(0, 0, 0);
using Rgb = std::array<int, 3>;
constexpr Rgb kWhiteRgb = {255, 255, 255};

std::vector<std::string> files_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void fill(plat::Dc dc, const plat::Rect& r, plat::Color c) {
  plat::Brush b = plat::create_solid_brush(c);
  plat::fill_rect(dc, r, b);
  plat::delete_object(b);
}

using DrawPage = std::function<void(plat::Dc dc, int page)>;

// Prints a document of `pages` pages, each drawn by `draw`; returns the file written
// ("" when the document failed, which the test is told about).
std::string print_document(const char* printer, const plat::DevMode* settings, const char* name, int pages,
                           const DrawPage& draw = {}, const char* path = nullptr) {
  plat::Dc dc = plat::create_printer_dc(printer, settings);
  EXPECT_NE(dc, nullptr) << plat::last_print_error();
  if (!dc) return "";
  EXPECT_GT(plat::start_doc(dc, name, path), 0) << plat::last_print_error();
  for (int page = 0; page < pages; ++page) {
    EXPECT_GT(plat::start_page(dc), 0);
    if (draw) draw(dc, page);
    EXPECT_GT(plat::end_page(dc), 0) << plat::last_print_error();
  }
  EXPECT_GT(plat::end_doc(dc), 0) << plat::last_print_error();
  std::string file = plat::printed_file(dc);
  plat::delete_dc(dc);
  return file;
}

// "595.28 x 841.89 pts (A4)" as two numbers.
std::pair<double, double> page_size_of(const std::string& text) {
  double w = 0, h = 0;
  if (sscanf(text.c_str(), "%lf x %lf", &w, &h) != 2) ADD_FAILURE() << "page size \"" << text << "\"";
  return {w, h};
}

// Printers writing into folders of their own: a 100 dpi colour one and a grey one, so that
// most documents stay small.
class PrintDocument : public ::testing::Test {
 protected:
  void SetUp() override {
    colour_dir = tm_test::fresh_dir("colour");
    grey_dir = tm_test::fresh_dir("grey");
    plat::set_printer_config({{"Draft", colour_dir, 100, true}, {"Grey", grey_dir, 100, false}});
  }
  void TearDown() override { plat::set_printer_config({}); }
  std::string colour_dir, grey_dir;
};

TEST(PrintDefault, ThreePagesMakeOnePdfOfThreeA4Pages) {
  std::string docs = tm_test::fresh_dir("documents");
  setenv("XDG_DOCUMENTS_DIR", docs.c_str(), 1);
  plat::set_printer_config({});
  ASSERT_EQ(plat::get_default_printer(), "PDF");
  // Each page carries a black square further right, so the pages' order shows.
  std::string file = print_document(nullptr, nullptr, "Three pages", 3, [](plat::Dc dc, int page) {
    fill(dc, plat::Rect{300 * (page + 1), 300, 300 * (page + 1) + 100, 400}, kBlack);
  });
  unsetenv("XDG_DOCUMENTS_DIR");
  EXPECT_EQ(file, docs + "Three pages.pdf");
  EXPECT_EQ(files_in(docs), std::vector<std::string>{"Three pages.pdf"});

  auto info = print_test::pdfinfo(file);
  EXPECT_EQ(info["Pages"], "3");
  auto [w, h] = page_size_of(info["Page size"]);
  EXPECT_NEAR(w, 595.28, 0.01);
  EXPECT_NEAR(h, 841.89, 0.01);
  EXPECT_EQ(info["Title"], "Three pages");

  Pdf pdf = print_test::parse_pdf(file);
  ASSERT_EQ(pdf.fault, "");
  std::vector<int> pages = print_test::page_objects(pdf);
  ASSERT_EQ(pages.size(), 3u);
  for (int page = 0; page < 3; ++page) {
    PageImage img = print_test::page_image(pdf, pages[size_t(page)]);
    ASSERT_EQ(img.fault, "") << "page " << page;
    EXPECT_EQ(img.width, 2480);
    EXPECT_EQ(img.height, 3508);
    EXPECT_NEAR(img.media_width, 595.28, 0.01);
    for (int mark = 0; mark < 3; ++mark) {
      Rgb want = mark == page ? Rgb{0, 0, 0} : kWhiteRgb;
      EXPECT_EQ(img.at(300 * (mark + 1) + 50, 350), want) << "page " << page << " mark " << mark;
    }
  }
}

TEST_F(PrintDocument, PaperAndOrientationGiveThePageSize) {
  struct Case {
    int16_t paper, orientation;
    double width_pt, height_pt;
    int width_px, height_px;  // at 100 dpi
  };
  const Case cases[] = {
      {plat::DMPAPER_A4, plat::DMORIENT_PORTRAIT, 595.28, 841.89, 827, 1169},
      {plat::DMPAPER_A4, plat::DMORIENT_LANDSCAPE, 841.89, 595.28, 1169, 827},
      {plat::DMPAPER_LETTER, plat::DMORIENT_PORTRAIT, 612, 792, 850, 1100},
      {plat::DMPAPER_LETTER, plat::DMORIENT_LANDSCAPE, 792, 612, 1100, 850},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "paper " << c.paper << " orientation " << c.orientation);
    plat::DevMode dm;
    dm.fields = plat::DM_PAPERSIZE | plat::DM_ORIENTATION;
    dm.paper_size = c.paper;
    dm.orientation = c.orientation;
    plat::Dc dc = plat::create_printer_dc("Draft", &dm);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(plat::get_device_caps(dc, plat::HORZRES), c.width_px);
    EXPECT_EQ(plat::get_device_caps(dc, plat::VERTRES), c.height_px);
    plat::delete_dc(dc);

    std::string file = print_document("Draft", &dm, "Sized", 2);
    auto [w, h] = page_size_of(print_test::pdfinfo(file)["Page size"]);
    EXPECT_NEAR(w, c.width_pt, 0.01);
    EXPECT_NEAR(h, c.height_pt, 0.01);
    Pdf pdf = print_test::parse_pdf(file);
    ASSERT_EQ(pdf.fault, "");
    for (int page : print_test::page_objects(pdf)) {
      PageImage img = print_test::page_image(pdf, page);
      ASSERT_EQ(img.fault, "");
      EXPECT_EQ(img.width, c.width_px);
      EXPECT_EQ(img.height, c.height_px);
      EXPECT_NEAR(img.media_width, c.width_pt, 0.01);
      EXPECT_NEAR(img.media_height, c.height_pt, 0.01);
    }
    std::filesystem::remove(file);
  }
}

// A rectangle filled at a known place of the second page shows in the page's image at
// exactly those pixels, and where a reader draws the page.
TEST_F(PrintDocument, DrawingLandsOnItsPixels) {
  struct Case {
    const char* printer;
    Rgb inside;
  };
  const Case cases[] = {{"Draft", {255, 0, 0}}, {"Grey", {76, 76, 76}}};  // red in grey levels
  const plat::Rect r{100, 200, 300, 260};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printer);
    std::string file = print_document(c.printer, nullptr, "Rectangle", 2, [&](plat::Dc dc, int page) {
      if (page == 1) fill(dc, r, kRed);
    });
    Pdf pdf = print_test::parse_pdf(file);
    ASSERT_EQ(pdf.fault, "");
    std::vector<int> pages = print_test::page_objects(pdf);
    ASSERT_EQ(pages.size(), 2u);
    PageImage blank = print_test::page_image(pdf, pages[0]);
    PageImage img = print_test::page_image(pdf, pages[1]);
    ASSERT_EQ(img.fault, "");
    EXPECT_EQ(blank.at(r.left, r.top), kWhiteRgb);
    EXPECT_EQ(img.channels, std::string(c.printer) == "Grey" ? 1 : 3);
    for (auto [x, y] : {std::pair{r.left, r.top}, {r.right - 1, r.bottom - 1}, {200, 230}})
      EXPECT_EQ(img.at(x, y), c.inside) << x << "," << y;
    for (auto [x, y] : {std::pair{r.left - 1, r.top}, {r.right, r.bottom - 1}, {r.left, r.top - 1}, {r.left, r.bottom}})
      EXPECT_EQ(img.at(x, y), kWhiteRgb) << x << "," << y;

    // The reader's picture at the printer's resolution: the same place, give or take the
    // rounding of the sheet to whole pixels.
    print_test::Raster shown = print_test::render_page(file, 2, 100, tm_test::sandbox_dir() + "shown");
    ASSERT_GE(shown.width, 827);
    for (auto [x, y] : {std::pair{r.left + 3, r.top + 3}, {200, 230}, {r.right - 4, r.bottom - 4}})
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(shown.at(x, y)[size_t(k)], c.inside[size_t(k)], 3) << x << "," << y;
    for (auto [x, y] : {std::pair{r.left - 4, 230}, {r.right + 3, 230}, {200, r.top - 4}, {200, r.bottom + 3}})
      EXPECT_EQ(shown.at(x, y), kWhiteRgb) << x << "," << y;
  }
}

int g_abort_calls = 0;
bool refuse_to_go_on(plat::Dc, int) {
  ++g_abort_calls;
  return false;
}
bool go_on(plat::Dc, int) {
  ++g_abort_calls;
  return true;
}

// However a document is given up, its folder is left as it was.
TEST_F(PrintDocument, CancelledDocumentsLeaveNoFile) {
  struct Case {
    const char* how;
    std::function<void(plat::Dc)> cancel;  // after the first page was drawn
  };
  const Case cases[] = {
      {"abort_doc", [](plat::Dc dc) { EXPECT_GT(plat::abort_doc(dc), 0); }},
      {"abort procedure says no",
       [](plat::Dc dc) {
         plat::set_abort_proc(dc, refuse_to_go_on);
         EXPECT_EQ(plat::end_page(dc), plat::SP_APPABORT);
         EXPECT_GT(g_abort_calls, 0);
         EXPECT_LE(plat::end_doc(dc), 0);
         EXPECT_NE(plat::last_print_error().find("cancelled"), std::string::npos) << plat::last_print_error();
       }},
      {"context deleted mid-document",
       [](plat::Dc dc) {
         plat::delete_dc(dc);
         EXPECT_FALSE(plat::is_printer_dc(dc));  // any call of the layer lets the document go
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    g_abort_calls = 0;
    plat::Dc dc = plat::create_printer_dc("Draft", nullptr);
    ASSERT_GT(plat::start_doc(dc, "Cancelled", nullptr), 0);
    ASSERT_GT(plat::start_page(dc), 0);
    fill(dc, plat::Rect{10, 10, 50, 50}, kRed);
    c.cancel(dc);
    EXPECT_EQ(files_in(colour_dir), std::vector<std::string>{});
    if (plat::is_printer_dc(dc)) {
      EXPECT_EQ(plat::printed_file(dc), "");
      plat::delete_dc(dc);
    }
  }
}

// delete_dc alone lets an unfinished document go: nothing is left in the folder before
// any other call of the printing layer.
TEST_F(PrintDocument, DeletingTheContextLetsItsDocumentGoAtOnce) {
  for (bool page_written : {false, true}) {
    SCOPED_TRACE(page_written ? "a page written" : "the first page open");
    plat::Dc dc = plat::create_printer_dc("Draft", nullptr);
    ASSERT_GT(plat::start_doc(dc, "Dropped", nullptr), 0);
    ASSERT_GT(plat::start_page(dc), 0);
    fill(dc, plat::Rect{10, 10, 50, 50}, kRed);
    if (page_written) {
      ASSERT_GT(plat::end_page(dc), 0);
      ASSERT_GT(plat::start_page(dc), 0);
    }
    EXPECT_FALSE(files_in(colour_dir).empty()) << "the document is being written";
    EXPECT_EQ(plat::delete_dc(dc), 1);
    EXPECT_EQ(files_in(colour_dir), std::vector<std::string>{});
    EXPECT_FALSE(plat::is_printer_dc(dc));
  }
}

TEST_F(PrintDocument, AbortProcedureIsAskedAndMayLetThePageGo) {
  plat::Dc dc = plat::create_printer_dc("Draft", nullptr);
  g_abort_calls = 0;
  ASSERT_GT(plat::set_abort_proc(dc, go_on), 0);
  ASSERT_GT(plat::start_doc(dc, "Asked", nullptr), 0);
  ASSERT_GT(plat::start_page(dc), 0);
  EXPECT_GT(plat::end_page(dc), 0);
  EXPECT_GT(g_abort_calls, 0);
  EXPECT_GT(plat::end_doc(dc), 0);
  EXPECT_EQ(print_test::pdfinfo(plat::printed_file(dc))["Pages"], "1");
  plat::delete_dc(dc);
}

TEST_F(PrintDocument, FileNamesAreCleanAndNeverReplaceAnother) {
  struct Case {
    const char* doc_name;
    const char* file;
  };
  const Case cases[] = {
      {"Map", "Map.pdf"},
      {"Map", "Map (2).pdf"},
      {"Map", "Map (3).pdf"},
      {"a/b\\c\td\x7F", "a_b_c_d_.pdf"},
      {"", "document.pdf"},
      {nullptr, "document (2).pdf"},
      {"Report.PDF", "Report.pdf"},
      {"Carte \xC3\xA9t\xC3\xA9", "Carte \xC3\xA9t\xC3\xA9.pdf"},
  };
  for (const Case& c : cases) {
    std::string file = print_document("Draft", nullptr, c.doc_name, 1);
    EXPECT_EQ(file, colour_dir + c.file);
    EXPECT_EQ(print_test::parse_pdf(file).fault, "") << file;
  }
  EXPECT_EQ(print_test::pdfinfo(colour_dir + "Carte \xC3\xA9t\xC3\xA9.pdf")["Title"], "Carte \xC3\xA9t\xC3\xA9");
  EXPECT_EQ(files_in(colour_dir).size(), std::size(cases));
}

// Documents of one name printed on several threads at once each get a name of their
// own; none replaces another and no temporary file stays behind.
TEST_F(PrintDocument, DocumentsPrintedAtOnceGetNamesOfTheirOwn) {
  constexpr int kThreads = 6;
  std::vector<std::string> files(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&files, t] {
      files[size_t(t)] = print_document("Grey", nullptr, "Same", 2, [t](plat::Dc dc, int) {
        fill(dc, plat::Rect{10 * t, 10, 10 * t + 8, 18}, kBlack);
      });
    });
  for (std::thread& th : threads) th.join();
  std::vector<std::string> expected;
  for (int n = 1; n <= kThreads; ++n) expected.push_back(n == 1 ? "Same.pdf" : "Same (" + std::to_string(n) + ").pdf");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(files_in(grey_dir), expected);
  std::vector<std::string> written;
  for (const std::string& f : files) written.push_back(f.substr(f.rfind('/') + 1));
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, expected);
  for (const std::string& f : files) {
    EXPECT_EQ(print_test::parse_pdf(f).fault, "") << f;
    EXPECT_EQ(print_test::pdfinfo(f)["Pages"], "2") << f;
  }
}

TEST_F(PrintDocument, ExplicitOutputPathIsWrittenAndReplaced) {
  std::string out = tm_test::fresh_dir("explicit") + "chosen.pdf";
  tm_test::write_file(out, "old content");
  std::string file = print_document("Draft", nullptr, "Ignored name", 2, {}, out.c_str());
  EXPECT_EQ(file, out);
  EXPECT_EQ(print_test::pdfinfo(out)["Pages"], "2");
  EXPECT_EQ(files_in(out.substr(0, out.rfind('/'))), std::vector<std::string>{"chosen.pdf"});
  EXPECT_EQ(files_in(colour_dir), std::vector<std::string>{});
}

TEST_F(PrintDocument, DocumentWithoutPagesWritesNothing) {
  plat::Dc dc = plat::create_printer_dc("Draft", nullptr);
  ASSERT_GT(plat::start_doc(dc, "Empty", nullptr), 0);
  EXPECT_GT(plat::end_doc(dc), 0);
  EXPECT_EQ(plat::printed_file(dc), "");
  EXPECT_EQ(files_in(colour_dir), std::vector<std::string>{});
  plat::delete_dc(dc);
}

TEST_F(PrintDocument, UnusableFoldersFailStartDocWithAMessage) {
  std::string base = tm_test::fresh_dir("bad");
  std::string a_file = tm_test::write_file(base + "plain.txt", "x");
  struct Case {
    std::string printer_folder;  // the printer's folder
    std::string output_path;     // or an explicit file ("" for none)
    std::string message_part;
  };
  const Case cases[] = {
      {base + "missing", "", "does not exist"},
      {a_file, "", "is not a folder"},
      {base, base + "missing/out.pdf", "does not exist"},
      {base, base, "is a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printer_folder + " / " + c.output_path);
    plat::set_printer_config({{"Bad", c.printer_folder, 100, true}});
    plat::Dc dc = plat::create_printer_dc("Bad", nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_LE(plat::start_doc(dc, "Lost", c.output_path.empty() ? nullptr : c.output_path.c_str()), 0);
    EXPECT_NE(plat::last_print_error().find(c.message_part), std::string::npos) << plat::last_print_error();
    EXPECT_LE(plat::start_page(dc), 0);  // no document: the page calls fail too
    EXPECT_LE(plat::end_doc(dc), 0);
    plat::delete_dc(dc);
    EXPECT_EQ(files_in(base), std::vector<std::string>{"plain.txt"});
  }
}

// A file that cannot grow (the process's file-size limit stands in for a full disk)
// fails the document with a message and leaves nothing behind. The limit is half the
// size the same document takes when it can be written, whatever the compression makes
// of its blank pages.
TEST_F(PrintDocument, WriteFailureLeavesNoFile) {
  const std::string whole = print_document("Draft", nullptr, "Too big", 2);
  struct stat st {};
  ASSERT_EQ(stat(whole.c_str(), &st), 0);
  ASSERT_EQ(unlink(whole.c_str()), 0);
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  sighandler_t old_handler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = rlim_t(st.st_size / 2);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

  plat::Dc dc = plat::create_printer_dc("Draft", nullptr);
  int rc = plat::start_doc(dc, "Too big", nullptr);
  for (int page = 0; page < 2 && rc > 0; ++page) {
    rc = plat::start_page(dc);
    if (rc > 0) rc = plat::end_page(dc);
  }
  if (rc > 0) rc = plat::end_doc(dc);
  std::string message = plat::last_print_error();
  plat::delete_dc(dc);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);

  EXPECT_LE(rc, 0);
  EXPECT_NE(message.find("could not be written"), std::string::npos) << message;
  EXPECT_EQ(files_in(colour_dir), std::vector<std::string>{});
}

TEST_F(PrintDocument, CallsOutOfOrderOrOnOtherContextsFail) {
  EXPECT_EQ(plat::create_printer_dc("No such printer", nullptr), nullptr);
  EXPECT_NE(plat::last_print_error().find("No such printer"), std::string::npos);

  plat::Dc memory = plat::create_compatible_dc(nullptr);
  EXPECT_FALSE(plat::is_printer_dc(memory));
  EXPECT_LE(plat::start_doc(memory, "x", nullptr), 0);
  EXPECT_LE(plat::start_page(memory), 0);
  EXPECT_LE(plat::end_page(memory), 0);
  EXPECT_LE(plat::end_doc(memory), 0);
  EXPECT_LE(plat::abort_doc(memory), 0);
  EXPECT_LE(plat::set_abort_proc(memory, go_on), 0);
  EXPECT_LE(plat::start_doc(nullptr, "x", nullptr), 0);
  plat::delete_dc(memory);

  plat::Dc dc = plat::create_printer_dc("Draft", nullptr);
  EXPECT_LE(plat::start_page(dc), 0);
  EXPECT_LE(plat::end_page(dc), 0);
  ASSERT_GT(plat::start_doc(dc, "Order", nullptr), 0);
  EXPECT_LE(plat::start_doc(dc, "Again", nullptr), 0);
  EXPECT_LE(plat::end_page(dc), 0);
  ASSERT_GT(plat::start_page(dc), 0);
  EXPECT_LE(plat::start_page(dc), 0);
  EXPECT_GT(plat::end_doc(dc), 0);  // ends the open page too
  EXPECT_EQ(print_test::pdfinfo(plat::printed_file(dc))["Pages"], "1");
  plat::delete_dc(dc);
}

// Never the temporary folder while there is a home (the documents folder's rules in
// detail: print_system.cpp).
TEST(PrintDefault, FolderIsTheDocumentsFolderOrTheHomeFolder) {
  std::string home = getenv("HOME");
  std::string xdg = tm_test::fresh_dir("xdg-documents");
  struct Case {
    const char* xdg_documents;  // null: unset
    bool home_documents;        // ~/Documents exists
    std::string folder;
  };
  const Case cases[] = {
      {xdg.c_str(), true, xdg},
      {"/nonexistent-documents", true, home + "/Documents/"},
      {nullptr, true, home + "/Documents/"},
      {nullptr, false, home + "/"},
  };
  plat::set_printer_config({});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    if (c.xdg_documents) setenv("XDG_DOCUMENTS_DIR", c.xdg_documents, 1);
    else unsetenv("XDG_DOCUMENTS_DIR");
    if (c.home_documents) std::filesystem::create_directories(home + "/Documents");
    else std::filesystem::remove_all(home + "/Documents");
    EXPECT_EQ(plat::printer_output_folder("PDF"), c.folder);
  }
  unsetenv("XDG_DOCUMENTS_DIR");
}

}  // namespace
