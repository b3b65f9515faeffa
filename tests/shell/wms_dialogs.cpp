// The WMS windows driven as a user would, from the File menu of the frame: the service
// dialog's template and texts in both languages; services added by address from a test
// server on 127.0.0.1 (an empty field, refused addresses and documents, a second
// service); the layer window's tree with its check boxes, the spreading of checks, the
// marks of the common coordinate systems, and OK making the service's image object.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "core/http.h"
#include "core/obj_list.h"
#include "core/socket.h"
#include "core/wstring.h"
#include "platform/ui/ctl_listview.h"
#include "raster/wms/wms.h"
#include "raster/wms/wms_internal.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "map/bitmap_record.h"
#include "map/draw_gdi.h"
#include "map/draw_styles.h"
#include "map/gps_classes.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/print.h"
#include "map/quadtree.h"
#include "map/redraw.h"
#include "platform/ui/ctl_button.h"
#include "raster/image_load.h"
#include "shell/wms_dialogs.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/dialog_layout.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/harness_views.h"
#include "tests/support/http_server.h"
#include "tests/support/test_env.h"
#include "tests/support/wms_server.h"

namespace frame_test {
namespace {

// A capabilities document. Its tree, with the systems each layer offers (its own and
// its parent's):
//   "All layers"     no name                    EPSG:4326
//     "Roads"        roads                      EPSG:4326, EPSG:32631
//       "Lanes"      lanes                      EPSG:4326, EPSG:32631
//     "Rivers"       rivers                     EPSG:4326
//   "UTM grid"       utm                        EPSG:32631
std::string capabilities(const std::string& authority, const char* service_name, const char* title) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<WMT_MS_Capabilities version=\"1.1.1\">\n<Service><Name>") +
         service_name + "</Name><Title>" + title +
         "</Title><MaxWidth>256</MaxWidth><MaxHeight>256</MaxHeight></Service>\n"
         "<Capability><Request><GetMap><Format>image/png</Format><DCPType><HTTP><Get>"
         "<OnlineResource xmlns:xlink=\"http://www.w3.org/1999/xlink\" xlink:type=\"simple\" "
         "xlink:href=\"http://" +
         authority +
         "/map?\"/></Get></HTTP></DCPType></GetMap></Request>\n"
         "<Layer><Title>All layers</Title><SRS>EPSG:4326</SRS>"
         "<LatLonBoundingBox minx=\"0\" miny=\"40\" maxx=\"10\" maxy=\"50\"/>\n"
         "  <Layer><Name>roads</Name><Title>Roads</Title><SRS>EPSG:32631</SRS>\n"
         "    <Layer><Name>lanes</Name><Title>Lanes</Title></Layer></Layer>\n"
         "  <Layer><Name>rivers</Name><Title>Rivers</Title>"
         "<LatLonBoundingBox minx=\"2\" miny=\"44\" maxx=\"4\" maxy=\"46\"/></Layer>\n"
         "</Layer>\n"
         "<Layer><Name>utm</Name><Title>UTM grid</Title><SRS>EPSG:32631</SRS>"
         "<LatLonBoundingBox minx=\"0\" miny=\"0\" maxx=\"6\" maxy=\"84\"/></Layer>\n"
         "</Capability></WMT_MS_Capabilities>\n";
}

constexpr int kWgs84Code = 214;

std::string narrow(const char16_t* text) {
  std::string s;
  for (const char16_t* p = text; p && *p; ++p) s += char(*p);
  return s;
}

class WmsDialogs : public FrameFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    FrameFixture::SetUpWith(lang);
    ASSERT_NO_FATAL_FAILURE(load_geodesy());
    ASSERT_NE(get_current_graphspace(), nullptr);
    ASSERT_NE(get_current_graphspace()->georef, nullptr);
    tm_test::clear_message_boxes();
    create_ui_font();
    register_gps_classes();
    register_drawing();
    redraw_interrupt(0);
    socket_register_type();
    http_failures_reset();
    bitmap_module_init();
    image_decoders_reset();
    raster_module_init();
    wms_module_init();
    use_display(GEOREF_GEOGRAPHIC);
  }
  void TearDown() override {
    server_.stop();
    if (plat::Wnd w = wms_layer_window()) plat::destroy_window(w);
    image_decoders_reset();
    get_image_load_hooks() = image_load_hooks{};
    FrameFixture::TearDown();
    // The image objects OK made, the services, and the in-memory files that held the
    // images, in that order.
    set_gblerr(0);
    std::vector<bitmap_t*> images;
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_BITMAP, &cursor))
      if (static_cast<bitmap_t*>(cursor)->format == kFormatWms) images.push_back(static_cast<bitmap_t*>(cursor));
    for (bitmap_t* b : images) free_obj(&b);
    wms_services_free_all();
    for (int left = 100000; left > 0; --left) {
      obj_t* first = nullptr;
      if (!obj_class_next(kFileClass, &first)) break;
      free_obj(&first);
    }
  }

  // The graph space's system: none (0) or WGS 84 in degrees (GEOREF_GEOGRAPHIC).
  static void use_display(int refertype) {
    georef_t* g = get_current_graphspace()->georef;
    geodatum_t* wgs84 = nullptr;
    if (refertype) geo_find_by_code(CLS_GEODATUM, kWgs84Code, &wgs84);
    g->refertype = refertype;
    g->datum = wgs84;
    g->projection = nullptr;
    g->unit = refertype ? ANG_DEGREE : 0;
  }

  std::string address() const { return "http://" + server_.authority() + "/wms"; }
  void serve(const std::string& body) {
    server_.queue(tm_test::http_server::reply("200 OK", "Content-Type: text/xml\r\n", body));
  }
  void serve_service(const char* title = "Test maps", const char* name = "OGC:WMS") {
    serve(capabilities(server_.authority(), name, title));
  }

  // Opens the service dialog from the File menu and hands it to `body`, which acts on it
  // (tm_test::run_until_idle delivers what it queued); the dialog is closed afterwards.
  // `before` steps, when given, each act on the dialog and return to its own loop (which
  // handles the dialog's keys) before the next step or `body` runs.
  void in_dialog(const std::function<void(plat::Wnd)>& body,
                 const std::vector<std::function<void(plat::Wnd)>>& before = {}) {
    bool ran = false;
    for (const auto& step : before) tm_test::answer_next_dialog(step);
    tm_test::answer_next_dialog([&](plat::Wnd dlg) {
      ran = true;
      body(dlg);
      if (plat::Wnd layers = wms_layer_window()) {
        plat::post_message(layers, plat::WM_CLOSE, 0, 0);
        act();
      }
      if (plat::is_window(dlg)) tm_test::click_control(dlg, IDC_WMSDLG_CLOSE);
    });
    ASSERT_TRUE(tm_test::choose_menu_command(frame_, IDM_WMS_SERVICES));
    tm_test::run_until_idle();
    EXPECT_TRUE(ran);
    EXPECT_EQ(wms_layer_window(), nullptr);
  }
  static void act() { tm_test::run_until_idle(); }

  static void add(plat::Wnd dlg, const std::string& text) {
    ASSERT_TRUE(tm_test::type_into(dlg, IDC_WMSDLG_ADDRESS, text.c_str()));
    ASSERT_TRUE(tm_test::click_control(dlg, IDC_WMSDLG_ADD));
    act();
  }

  // The rows of the service list as "title | address".
  static std::vector<std::string> rows(plat::Wnd dlg) {
    plat::Wnd lv = plat::get_dlg_item(dlg, IDC_WMSDLG_LIST);
    std::vector<std::string> out;
    const int n = int(plat::send_message(lv, plat::LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) out.push_back(cell(lv, i, 0) + " | " + cell(lv, i, 1));
    return out;
  }
  static std::string cell(plat::Wnd lv, int row, int column) {
    char16_t buf[512] = {};
    plat::LvItem it;
    it.sub_item = column;
    it.text = buf;
    it.text_max = 512;
    plat::send_message(lv, plat::LVM_GETITEMTEXT, plat::WParam(row), plat::LParam(&it));
    return narrow(buf);
  }
  static std::string column_header(plat::Wnd lv, int column) {
    char16_t buf[64] = {};
    plat::LvColumn c;
    c.mask = plat::LVCF_TEXT;
    c.text = buf;
    c.text_max = 64;
    plat::send_message(lv, plat::LVM_GETCOLUMN, plat::WParam(column), plat::LParam(&c));
    return narrow(buf);
  }
  static std::string window_text(plat::Wnd w) {
    char buf[256] = "";
    plat::get_window_text(w, buf, sizeof buf);
    return buf;
  }

  // ---- The layer window's tree ----
  static plat::Wnd tree() { return plat::get_dlg_item(wms_layer_window(), IDC_WMSLAYER_TREE); }
  static plat::TreeItem next(plat::Wnd tv, plat::TreeItem item, unsigned how) {
    return reinterpret_cast<plat::TreeItem>(plat::send_message(tv, plat::TVM_GETNEXTITEM, how, plat::LParam(item)));
  }
  static std::string label(plat::Wnd tv, plat::TreeItem item) {
    char16_t buf[128] = {};
    plat::TvItem it;
    it.mask = plat::TVIF_TEXT | plat::TVIF_HANDLE;
    it.item = item;
    it.text = buf;
    it.text_max = 128;
    plat::send_message(tv, plat::TVM_GETITEM, 0, plat::LParam(&it));
    return narrow(buf);
  }
  static unsigned item_state(plat::Wnd tv, plat::TreeItem item, unsigned mask) {
    return unsigned(plat::send_message(tv, plat::TVM_GETITEMSTATE, plat::WParam(item), mask));
  }
  // The tree as lines "<indent><label> <state image>[ +][ !]": + an open item, ! a
  // marked one.
  static void dump_items(plat::Wnd tv, plat::TreeItem item, int depth, std::vector<std::string>* out) {
    for (; item; item = next(tv, item, plat::TVGN_NEXT)) {
      const unsigned state = item_state(tv, item, plat::TVIS_STATEIMAGEMASK | plat::TVIS_EXPANDED);
      std::string line = std::string(size_t(depth) * 2, ' ') + label(tv, item) + " " +
                         std::to_string(plat::tree_state_image_of(state));
      if (state & plat::TVIS_EXPANDED) line += " +";
      if (wms_layer_item_marked(item)) line += " !";
      out->push_back(line);
      dump_items(tv, next(tv, item, plat::TVGN_CHILD), depth + 1, out);
    }
  }
  static std::vector<std::string> dump() {
    std::vector<std::string> out;
    dump_items(tree(), next(tree(), nullptr, plat::TVGN_ROOT), 0, &out);
    return out;
  }
  static plat::TreeItem find(plat::Wnd tv, plat::TreeItem item, const std::string& name) {
    for (; item; item = next(tv, item, plat::TVGN_NEXT)) {
      if (label(tv, item) == name) return item;
      if (plat::TreeItem in = find(tv, next(tv, item, plat::TVGN_CHILD), name)) return in;
    }
    return nullptr;
  }
  static plat::TreeItem item(const std::string& name) { return find(tree(), next(tree(), nullptr, plat::TVGN_ROOT), name); }
  static bool click_box(const std::string& name) {
    plat::TreeItem it = item(name);
    if (!it || !tm_test::click_tree_item(tree(), it, tm_test::TreePart::state_icon)) return false;
    act();
    return true;
  }
  // The checked items' labels, in the tree's order.
  static std::vector<std::string> checked() {
    std::vector<std::string> out;
    for (const std::string& line : dump()) {
      std::string s = line.substr(line.find_first_not_of(' '));
      const size_t sp = s.rfind(" 2");
      if (sp != std::string::npos && (sp + 2 == s.size() || s[sp + 2] == ' ')) out.push_back(s.substr(0, sp));
    }
    return out;
  }

  // Adds the test service and opens its layer window from the list.
  void open_layers(plat::Wnd dlg) {
    serve_service();
    add(dlg, address());
    ASSERT_EQ(rows(dlg).size(), 1u);
    ASSERT_TRUE(tm_test::double_click_list_item(plat::get_dlg_item(dlg, IDC_WMSDLG_LIST), 0));
    act();
    ASSERT_NE(wms_layer_window(), nullptr);
  }
  static wms_service_t* service(int i = 0) {
    return obj_list_count(wms_services()) > i ? static_cast<wms_service_t*>(wms_services()->elems[i]) : nullptr;
  }

  tm_test::http_server server_;
};

// ---- The service dialog ----------------------------------------------------------------------

struct TemplateItem {
  int id;
  const char* cls;
  const char* caption;
  int x, y, cx, cy;
};

TEST(WmsServicesTemplate, ItemsAsTabled) {
  const TemplateItem want[] = {
      {IDC_WMSDLG_CLOSE, "Button", "Fermer", 162, 134, 50, 14},
      {IDC_WMSDLG_LABEL, "Static", "WebServices WMS disponibles", 7, 7, 387, 12},
      {IDC_WMSDLG_LIST, "SysListView32", "", 7, 19, 387, 71},
      {IDC_WMSDLG_ADDRESS, "Edit", "", 7, 95, 387, 14},
      {IDC_WMSDLG_ADD, "Button", "Ajouter un WebService", 7, 113, 387, 14},
  };
  const plat::DlgTemplate& t = wms_services_template();
  EXPECT_EQ(t.cx, 401);
  EXPECT_EQ(t.cy, 155);
  ASSERT_EQ(t.items.size(), std::size(want));
  for (const TemplateItem& w : want) {
    SCOPED_TRACE(w.id);
    const plat::DlgItem* got = nullptr;
    for (const plat::DlgItem& i : t.items)
      if (i.id == w.id) got = &i;
    ASSERT_NE(got, nullptr);
    EXPECT_STREQ(got->class_name, w.cls);
    EXPECT_STREQ(got->text ? got->text : "", w.caption);
    EXPECT_EQ((std::vector<int>{got->x, got->y, got->cx, got->cy}), (std::vector<int>{w.x, w.y, w.cx, w.cy}));
  }
  // "Ajouter un WebService" is the button Enter presses; the list is a report.
  for (const plat::DlgItem& i : t.items) {
    if (i.id == IDC_WMSDLG_ADD) {
      EXPECT_TRUE(i.style & plat::BS_DEFPUSHBUTTON);
    }
    if (i.id == IDC_WMSDLG_LIST) {
      EXPECT_EQ(i.style & plat::LVS_TYPEMASK, plat::LVS_REPORT);
    }
  }
}

struct LanguageCase {
  const char* lang;
  const char* title;
  const char* column0;
  const char* column1;
  const char* layers_title;
  const char* cancel;
};

class WmsDialogsLanguage : public WmsDialogs, public ::testing::WithParamInterface<LanguageCase> {
 protected:
  void SetUp() override { SetUpIn(GetParam().lang); }
};

TEST_P(WmsDialogsLanguage, TitleColumnsAndFocusFollowTheLanguage) {
  const LanguageCase& c = GetParam();
  in_dialog([&](plat::Wnd dlg) {
    EXPECT_EQ(window_text(dlg), c.title);
    plat::Wnd lv = plat::get_dlg_item(dlg, IDC_WMSDLG_LIST);
    EXPECT_EQ(column_header(lv, 0), c.column0);
    EXPECT_EQ(column_header(lv, 1), c.column1);
    EXPECT_EQ(tm_test::focused_control_id(), IDC_WMSDLG_ADDRESS);
    EXPECT_EQ(plat::dlg_item_text(dlg, IDC_WMSDLG_ADD), "Ajouter un WebService");
    EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
    const std::string dir = tm_test::fresh_dir((std::string("wms_dialogs_") + c.lang).c_str());
    open_layers(dlg);
    EXPECT_TRUE(tm_test::dialog_picture(dlg, dir + "/services.png"));
    EXPECT_TRUE(tm_test::window_picture(wms_layer_window(), dir + "/layers.png"));
    EXPECT_EQ(window_text(wms_layer_window()), c.layers_title);
    EXPECT_EQ(plat::dlg_item_text(wms_layer_window(), IDC_WMSLAYER_OK), "OK");
    EXPECT_EQ(plat::dlg_item_text(wms_layer_window(), IDC_WMSLAYER_CANCEL), c.cancel);
  });
}

INSTANTIATE_TEST_SUITE_P(Languages, WmsDialogsLanguage,
                         ::testing::Values(LanguageCase{"ENGLISH", "Manage WMS WebServices", "Title", "Address",
                                                        "Available layers", "Cancel"},
                                           LanguageCase{"FRANCAIS", "Gestion des WebServices WMS", "Titre",
                                                        "Adresse", "Couches disponibles", "Annuler"}),
                         [](const ::testing::TestParamInfo<LanguageCase>& i) { return std::string(i.param.lang); });

TEST_F(WmsDialogs, AddedServiceShowsItsTitleAndGetMapAddress) {
  serve_service("Test maps");
  in_dialog([&](plat::Wnd dlg) {
    EXPECT_TRUE(rows(dlg).empty());
    add(dlg, address());
    EXPECT_EQ(rows(dlg), (std::vector<std::string>{"Test maps | http://" + server_.authority() + "/map?"}));
    // The field is cleared for the next address and keeps the focus.
    EXPECT_EQ(plat::dlg_item_text(dlg, IDC_WMSDLG_ADDRESS), "");
    EXPECT_EQ(tm_test::focused_control_id(), IDC_WMSDLG_ADDRESS);
  });
  EXPECT_TRUE(tm_test::message_boxes().empty());
  const std::vector<std::string> requests = server_.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_THAT(requests[0], ::testing::StartsWith("GET /wms?REQUEST=GetCapabilities&VERSION=1.3.0&SERVICE=WMS "));
  ASSERT_NE(service(), nullptr);
  EXPECT_EQ(narrow(service()->title), "Test maps");
}

// Enter in the field presses "Ajouter un WebService".
TEST_F(WmsDialogs, EnterInTheFieldAddsTheService) {
  serve_service("By Enter");
  in_dialog([&](plat::Wnd dlg) { EXPECT_EQ(rows(dlg).size(), 1u); },
            {[&](plat::Wnd dlg) {
              ASSERT_TRUE(tm_test::type_into(dlg, IDC_WMSDLG_ADDRESS, address().c_str()));
              tm_test::press_enter();
            }});
}

TEST_F(WmsDialogs, EmptyFieldDoesNothing) {
  in_dialog([&](plat::Wnd dlg) {
    ASSERT_TRUE(tm_test::click_control(dlg, IDC_WMSDLG_ADD));
    act();
    EXPECT_TRUE(rows(dlg).empty());
    EXPECT_TRUE(plat::is_window(dlg));
  });
  EXPECT_TRUE(server_.requests().empty());
  EXPECT_TRUE(tm_test::message_boxes().empty());
}

// The field takes at most 399 characters; the address sent is cut there.
TEST_F(WmsDialogs, AddressIsCutAt399Characters) {
  serve_service("Long maps");
  const std::string base = address() + "?key=";
  const std::string typed = base + std::string(450 - base.size(), 'k');
  in_dialog([&](plat::Wnd dlg) {
    ASSERT_TRUE(tm_test::type_into(dlg, IDC_WMSDLG_ADDRESS, typed.c_str()));
    act();
    EXPECT_EQ(plat::dlg_item_text(dlg, IDC_WMSDLG_ADDRESS), typed.substr(0, 399));
    ASSERT_TRUE(tm_test::click_control(dlg, IDC_WMSDLG_ADD));
    act();
    EXPECT_EQ(rows(dlg).size(), 1u);
  });
  const std::vector<std::string> requests = server_.requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string path = typed.substr(std::string("http://").size() + server_.authority().size(), 399 -
                                        std::string("http://").size() - server_.authority().size());
  EXPECT_THAT(requests[0], ::testing::StartsWith("GET " + path + "&REQUEST=GetCapabilities"));
}

TEST_F(WmsDialogs, SecondServiceKeepsTheFirst) {
  serve_service("First maps");
  serve_service("Second maps");
  in_dialog([&](plat::Wnd dlg) {
    add(dlg, address());
    add(dlg, "http://" + server_.authority() + "/other?map=2");
    const std::string getmap = " | http://" + server_.authority() + "/map?";
    EXPECT_EQ(rows(dlg), (std::vector<std::string>{"First maps" + getmap, "Second maps" + getmap}));
  });
  // Both stay known: the dialog opened again lists them.
  in_dialog([&](plat::Wnd dlg) { EXPECT_EQ(rows(dlg).size(), 2u); });
  const std::vector<std::string> requests = server_.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_THAT(requests[1],
              ::testing::StartsWith("GET /other?map=2&REQUEST=GetCapabilities&VERSION=1.3.0&SERVICE=WMS "));
}

struct RefusalCase {
  const char* name;
  const char* address;  // "" for the server's; a text in place of an address else
  const char* status;   // the answer's status
  std::string body;
  int code;             // the error whose box shows
  const char* why = "";  // the HTTP client's words shown instead ("%s": the server's host:port)
};

class WmsDialogsRefusal : public WmsDialogs, public ::testing::WithParamInterface<RefusalCase> {};

// A refused address or document tells why in the error's box and leaves the list as it
// was (a service added before stays).
TEST_P(WmsDialogsRefusal, ErrorBoxAndListUnchanged) {
  const RefusalCase& c = GetParam();
  serve_service("Kept maps");
  server_.queue(tm_test::http_server::reply(c.status, "Content-Type: text/xml\r\n", c.body));
  in_dialog([&](plat::Wnd dlg) {
    add(dlg, address());
    const std::vector<std::string> before = rows(dlg);
    ASSERT_EQ(before.size(), 1u);
    tm_test::clear_message_boxes();
    add(dlg, *c.address ? std::string(c.address) : address());
    EXPECT_EQ(rows(dlg), before);
    ASSERT_EQ(tm_test::message_boxes().size(), 1u);
    if (*c.why) {
      std::string why = c.why;
      if (const size_t at = why.find("%s"); at != std::string::npos) why.replace(at, 2, server_.authority());
      EXPECT_EQ(tm_test::message_boxes()[0].text, why);
      EXPECT_EQ(tm_test::message_boxes()[0].caption, get_error_title(ERR_HTTP));
    } else {
      EXPECT_EQ(tm_test::message_boxes()[0].text, get_error_text(c.code));
      EXPECT_EQ(tm_test::message_boxes()[0].caption, get_error_title(c.code));
    }
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_TRUE(plat::is_window(dlg));
  });
  EXPECT_EQ(obj_list_count(wms_services()), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WmsDialogsRefusal,
    ::testing::Values(
        RefusalCase{"NotHttp", "ftp://127.0.0.1/wms", "200 OK", "", ERR_OBJECT},
        RefusalCase{"NotFound", "", "404 Not Found", "<html>no</html>", ERR_OBJECT,
                    "The server %s answered with status 404"},
        // Without a network: a refused connection and a name that never resolves say so.
        RefusalCase{"Refused", "http://127.0.0.1:1/wms", "200 OK", "", ERR_OBJECT,
                    "Cannot connect to 127.0.0.1:1: connection refused"},
        RefusalCase{"UnknownHost", "http://no-such-server.invalid/wms", "200 OK", "", ERR_OBJECT,
                    "Cannot resolve the server name: no-such-server.invalid"},
        RefusalCase{"NotCapabilities", "", "200 OK",
                    "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"><wpt lat=\"1\" lon=\"2\"/></gpx>\n",
                    ERR_NO_COMM},
        RefusalCase{"NameWithoutWms", "", "200 OK", capabilities("127.0.0.1:1", "Tiles", "Not a map service"),
                    ERR_UNKNOWN_FORMAT}),
    [](const ::testing::TestParamInfo<RefusalCase>& i) { return std::string(i.param.name); });

// ---- The layer window --------------------------------------------------------------------------

// The service is the root, its layers nested under it and open; a layer has a box when it
// has a name and offers the graph space's system (WGS 84 here).
TEST_F(WmsDialogs, LayerTreeShowsBoxesOnlyWhereALayerCanBeChosen) {
  in_dialog([&](plat::Wnd dlg) {
    open_layers(dlg);
    plat::Wnd w = wms_layer_window();
    EXPECT_EQ(window_text(w), "Available layers");
    EXPECT_FALSE(plat::is_window_enabled(dlg));
    EXPECT_EQ(plat::get_owner(w), dlg);
    plat::Rect r;
    plat::get_window_rect(w, &r);
    EXPECT_EQ(r, (plat::Rect{100, 100, 700, 520}));
    plat::Rect client;
    plat::get_client_rect(w, &client);
    const int cw = client.width(), ch = client.height();
    auto placed = [&](int id) {
      plat::Rect cr;
      plat::get_window_rect(plat::get_dlg_item(w, id), &cr);
      plat::Point tl{cr.left, cr.top};
      plat::screen_to_client(w, &tl);
      return plat::Rect{tl.x, tl.y, tl.x + cr.width(), tl.y + cr.height()};
    };
    EXPECT_EQ(placed(IDC_WMSLAYER_TREE), (plat::Rect{8, 8, cw - 8, ch - 44}));
    EXPECT_EQ(placed(IDC_WMSLAYER_OK), (plat::Rect{8, ch - 36, 108, ch - 8}));
    EXPECT_EQ(placed(IDC_WMSLAYER_CANCEL), (plat::Rect{cw - 124, ch - 36, cw - 24, ch - 8}));
    EXPECT_THAT(tm_test::dialog_layout_faults(w), ::testing::IsEmpty());
    EXPECT_EQ(dump(), (std::vector<std::string>{
                          "Test maps 0 +",
                          "  All layers 0 +",
                          "    Roads 1 +",
                          "      Lanes 1",
                          "    Rivers 1",
                          "  UTM grid 0",
                      }));
    EXPECT_NE(tm_test::dlg_control(w, IDC_WMSLAYER_OK), nullptr);
    EXPECT_EQ(plat::dlg_item_text(w, IDC_WMSLAYER_CANCEL), "Cancel");
    // A click on where the box of an unnamed layer would be checks nothing.
    click_box("All layers");
    plat::TreeItem all = item("All layers");
    tm_test::click_tree_item(tree(), all, tm_test::TreePart::label);
    act();
    EXPECT_TRUE(checked().empty());
    // Cancel closes the window and gives the dialog back.
    ASSERT_TRUE(tm_test::click_control(w, IDC_WMSLAYER_CANCEL));
    act();
    EXPECT_EQ(wms_layer_window(), nullptr);
    EXPECT_TRUE(plat::is_window_enabled(dlg));
  });
  EXPECT_EQ(wms_find_image(service()), nullptr);
}

TEST_F(WmsDialogs, ChecksSpreadToSubLayers) {
  in_dialog([&](plat::Wnd dlg) {
    open_layers(dlg);
    ASSERT_TRUE(click_box("Roads"));
    EXPECT_EQ(checked(), (std::vector<std::string>{"Roads", "Lanes"}));
    ASSERT_TRUE(click_box("Rivers"));
    EXPECT_EQ(checked(), (std::vector<std::string>{"Roads", "Lanes", "Rivers"}));
    // Unchecking a layer unchecks all its sub-layers, and only them.
    ASSERT_TRUE(click_box("Roads"));
    EXPECT_EQ(checked(), (std::vector<std::string>{"Rivers"}));
    // A sub-layer alone.
    ASSERT_TRUE(click_box("Lanes"));
    EXPECT_EQ(checked(), (std::vector<std::string>{"Lanes", "Rivers"}));
    // Space on the selected item flips its box and spreads the same way.
    tm_test::click_tree_item(tree(), item("Roads"), tm_test::TreePart::label);
    act();
    tm_test::press_key(plat::VK_SPACE);
    act();
    EXPECT_EQ(checked(), (std::vector<std::string>{"Roads", "Lanes", "Rivers"}));
    tm_test::press_key(plat::VK_SPACE);
    act();
    EXPECT_EQ(checked(), (std::vector<std::string>{"Rivers"}));
  });
}

// The systems common to the checked layers: a layer that offers none of them is marked.
TEST_F(WmsDialogs, LayersWithoutACommonSystemAreMarked) {
  in_dialog([&](plat::Wnd dlg) {
    open_layers(dlg);
    auto marked = [] {
      std::vector<std::string> out;
      for (const std::string& line : dump())
        if (line.size() > 2 && line.compare(line.size() - 2, 2, " !") == 0)
          out.push_back(line.substr(line.find_first_not_of(' ')));
      return out;
    };
    EXPECT_TRUE(marked().empty());
    // Roads offer EPSG:4326 and EPSG:32631: every layer shares one of them.
    ASSERT_TRUE(click_box("Roads"));
    EXPECT_TRUE(marked().empty());
    // Rivers narrow the list to EPSG:4326: the UTM grid shares nothing with it.
    ASSERT_TRUE(click_box("Rivers"));
    EXPECT_EQ(marked(), (std::vector<std::string>{"UTM grid 0 !"}));
    // Unchecking the rivers widens the list again from the roads left.
    ASSERT_TRUE(click_box("Rivers"));
    EXPECT_TRUE(marked().empty());
    ASSERT_TRUE(click_box("Rivers"));
    ASSERT_TRUE(click_box("Roads"));
    EXPECT_EQ(marked(), (std::vector<std::string>{"UTM grid 0 !"}));
    // Nothing checked: no mark.
    ASSERT_TRUE(click_box("Rivers"));
    EXPECT_TRUE(marked().empty());
  });
}

TEST_F(WmsDialogs, OkMakesTheImageOfTheCheckedLayers) {
  in_dialog([&](plat::Wnd dlg) {
    open_layers(dlg);
    ASSERT_TRUE(click_box("Roads"));
    ASSERT_TRUE(click_box("Rivers"));
    ASSERT_TRUE(tm_test::click_control(wms_layer_window(), IDC_WMSLAYER_OK));
    act();
    EXPECT_EQ(wms_layer_window(), nullptr);
    EXPECT_TRUE(plat::is_window_enabled(dlg));
  });
  EXPECT_TRUE(tm_test::message_boxes().empty());
  bitmap_t* image = wms_find_image(service());
  ASSERT_NE(image, nullptr);
  std::vector<std::string> names;
  const container_t* layers = wms_image_layers(image);
  for (int i = 0; i < obj_list_count(layers); ++i)
    names.push_back(static_cast<const wms_layer_t*>(layers->elems[i])->name);
  EXPECT_EQ(names, (std::vector<std::string>{"roads", "lanes", "rivers"}));
  EXPECT_EQ(wms_image_service(image), service());
}

// OK without a checked layer is refused with the error's box; the window stays.
TEST_F(WmsDialogs, OkWithoutAChosenLayerIsRefused) {
  in_dialog([&](plat::Wnd dlg) {
    open_layers(dlg);
    tm_test::clear_message_boxes();
    ASSERT_TRUE(tm_test::click_control(wms_layer_window(), IDC_WMSLAYER_OK));
    act();
    ASSERT_EQ(tm_test::message_boxes().size(), 1u);
    EXPECT_EQ(tm_test::message_boxes()[0].text, get_error_text(ERR_OBJECT));
    EXPECT_NE(wms_layer_window(), nullptr);
    EXPECT_EQ(get_gblerr(), 0);
  });
  EXPECT_EQ(wms_find_image(service()), nullptr);
}

// Outside choice mode the window only shows the layers: no box, Close alone.
TEST_F(WmsDialogs, ViewModeHasNoBoxesAndCloseAlone) {
  serve_service("Seen maps");
  set_gblerr(0);
  wms_service_t* s = nullptr;
  ASSERT_EQ(wms_get_capabilities(address().c_str(), nullptr, &s), 1);
  ASSERT_NE(s, nullptr);
  plat::Wnd w = wms_layer_tree_window("Layers", s, frame_, 0);
  ASSERT_NE(w, nullptr);
  act();
  EXPECT_FALSE(plat::is_window_enabled(frame_));
  for (const std::string& line : dump()) EXPECT_EQ(line.find(" 1"), std::string::npos) << line;
  EXPECT_EQ(tm_test::dlg_control(w, IDC_WMSLAYER_OK), nullptr);
  EXPECT_EQ(plat::dlg_item_text(w, IDC_WMSLAYER_CANCEL), "Close");
  click_box("Roads");
  EXPECT_TRUE(checked().empty());
  // The close box closes it too.
  plat::post_message(w, plat::WM_CLOSE, 0, 0);
  act();
  EXPECT_EQ(wms_layer_window(), nullptr);
  EXPECT_TRUE(plat::is_window_enabled(frame_));
}

// Without a coordinate system in the graph space no layer can be chosen.
TEST_F(WmsDialogs, GraphSpaceWithoutSystemOffersNoBox) {
  use_display(0);
  in_dialog([&](plat::Wnd dlg) {
    open_layers(dlg);
    for (const std::string& line : dump()) EXPECT_EQ(line.find(" 1"), std::string::npos) << line;
  });
}

// ---- The image on the map ----------------------------------------------------------------------

// The service of a test WMS server chosen in the dialogs: the map window then shows the
// server's picture where its box lies (each picture pixel holds the coordinates of its
// centre: red the longitude, green the latitude, in whole degrees).
TEST_F(WmsDialogs, ChosenLayersShowOnTheMapWhereTheirBoxSays) {
  tm_test::wms_server wms;
  wms.set_capabilities("/wms", capabilities(wms.url("").substr(7), "OGC:WMS", "Served maps"));
  get_dispatcher_hooks().redraw_run = redraw_run;
  in_dialog([&](plat::Wnd dlg) {
    add(dlg, wms.url("/wms"));
    ASSERT_EQ(rows(dlg).size(), 1u);
    ASSERT_TRUE(tm_test::double_click_list_item(plat::get_dlg_item(dlg, IDC_WMSDLG_LIST), 0));
    act();
    ASSERT_NE(wms_layer_window(), nullptr);
    ASSERT_TRUE(click_box("Rivers"));
    ASSERT_TRUE(tm_test::click_control(wms_layer_window(), IDC_WMSLAYER_OK));
    act();
    EXPECT_EQ(wms_layer_window(), nullptr);
  });
  EXPECT_TRUE(tm_test::message_boxes().empty());
  // World 0..10 east, 40..50 north at 20 pixels a degree, north up.
  mapwin_set_orientation(map_object_, 1);
  map_object_->map = screen_mapping{0.0, -50.0, 20.0, -20.0};
  mapwin_request_redraw(map_object_);
  post_command(6, 0, "1");
  tm_test::run_until_idle();
  ASSERT_FALSE(wms.getmap_requests().empty());
  const tm_test::wms_params p = wms.getmap_requests().back();
  EXPECT_EQ(p.at("LAYERS"), "rivers");
  EXPECT_EQ(p.at("SRS"), "EPSG:4326");
  auto at_world = [&](double x, double y) {
    return tm_test::pixel_at(map_object_->wnd, int(x * 20), int((50 - y) * 20)) & 0xFFFFFFu;
  };
  // The rivers' box is 2..4 east, 44..46 north.
  for (const double x : {2.3, 2.9, 3.5, 3.9})
    for (const double y : {44.2, 44.8, 45.5, 45.9}) {
      const uint32_t want = uint32_t(int(x)) << 16 | uint32_t(int(y)) << 8 | 77u;
      EXPECT_EQ(at_world(x, y), want) << x << "," << y;
    }
  // Outside it the server's picture does not show.
  for (const double x : {1.0, 5.0, 8.0})
    EXPECT_NE(at_world(x, 48.0) & 0xFFu, 77u) << x;
}

}  // namespace
}  // namespace frame_test
