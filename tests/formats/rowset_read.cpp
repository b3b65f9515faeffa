// The ROWSET reader on the files of scripts/fixtures/make_rowset_fixtures.py: rows become
// objects of their class with their attribute values; rows of unknown or refused
// classes, attributes before "TYPE" or unknown to the class make nothing; references and
// lists name the ids of other rows and are linked to them, each object held once, so
// that freeing the file frees no object twice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/socket.h"
#include "core/xml.h"
#include "formats/rowset.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/map/gps_file_fixture.h"
#include "tests/support/test_env.h"

namespace {

const std::string kDir = TM_FIXTURE_DIR "/rowset/";

std::string narrow(const char16_t* w) {
  std::string out;
  for (; w && *w; ++w) out += w[0] < 128 ? char(w[0]) : '?';
  return out;
}

class RowsetRead : public tm_test::ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    xml_init();
    ASSERT_EQ(get_gblerr(), 0);
  }

  // Reads a disk file into a fresh file object's list; the error code it left.
  int load_path(const std::string& path, fileatt_t** out = nullptr) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -100;
    loaded_.unload_at_end(f, true);
    EXPECT_EQ(read_rowset(f, f->sot), 0);
    const int err = get_gblerr();
    set_gblerr(0);
    if (out) *out = f;
    return err;
  }
  int load(const std::string& text, fileatt_t** out = nullptr) {
    return load_path(tm_test::write_file(dir_ + "/t.xml", text), out);
  }

  template <class T> static std::vector<T*> all_of(const fileatt_t* f, int cls) {
    return tm_test::objects_of<T>(f->sot, cls);
  }

};

TEST_F(RowsetRead, RowsBecomeObjectsWithTheirValues) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "points.xml", &f), 0);
  EXPECT_EQ(obj_list_count(f->sot), 4) << "the row of an unknown class makes nothing";
  const auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(narrow(w[0]->name), "Col du Lautaret");
  EXPECT_EQ(narrow(w[0]->comment), "2058 m");
  EXPECT_EQ(uint32_t(w[0]->colour), gps_rgb(255, 0, 16));
  EXPECT_EQ(int(w[0]->symbol), 27);
  EXPECT_EQ(double(w[0]->proxim), 25.5);
  EXPECT_EQ(float(w[0]->altitude), 2058.0f);
  EXPECT_EQ(narrow(w[1]->name), "Caf? & gare");
  EXPECT_EQ(int(w[1]->name[3]), 0xE9);
  EXPECT_EQ(int(w[1]->symbol), 26);
  const auto g = all_of<geopoint_t>(f, CLS_GEOPOINT);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(uint32_t(g[0]->colour), gps_rgb(0, 128, 255));
  EXPECT_EQ(int(g[0]->thickness), 4);
  EXPECT_EQ(int(g[0]->shape), 2);
  EXPECT_EQ(double(g[0]->orient), 1.25);
  const auto t = all_of<tracklog_t>(f, CLS_TRACKLOG);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(narrow(t[0]->name), "Trace");
  EXPECT_EQ(int(t[0]->number), 7);
}

TEST_F(RowsetRead, HostileRowsAreRefusedOrEmptied) {
  // Objects whose ids the hostile file names: none may be linked into, or freed with, a
  // row. They live in the store all along.
  container_t* held = new_list();
  std::vector<obj_t*> targets;
  for (int i = 0; i < 9; ++i) {
    obj_t* o = nullptr;
    obj_new_in_list(held, i % 2 ? CLS_NAVIGATION : CLS_CONTAINER, &o);
    targets.push_back(o);
  }
  int files_before = 0;
  obj_class_count(kFileClass, &files_before);
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "hostile.xml", &f), 0);
  int files_after = 0;
  obj_class_count(kFileClass, &files_after);
  EXPECT_EQ(files_after, files_before + 1) << "the file read, and no other";
  for (int i = 0; i < obj_list_count(f->sot); ++i) {
    const int cls = f->sot->elems[i]->cls;
    EXPECT_NE(cls, kFileClass);
    EXPECT_NE(cls, kMemFileClass);
    EXPECT_NE(cls, CLS_SOCKET);
  }
  const auto p = all_of<gpspos_t>(f, CLS_GPSPOS);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_TRUE(p[0]->navig == nullptr);
  EXPECT_TRUE(p[0]->idsats == nullptr);
  EXPECT_TRUE(p[0]->dgps == nullptr);
  EXPECT_TRUE(p[0]->raw == nullptr);
  EXPECT_EQ(float(p[0]->altitude), 12.5f);
  const auto t = all_of<tracklog_t>(f, CLS_TRACKLOG);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_TRUE(t[0]->sons == nullptr);
  EXPECT_TRUE(t[0]->father == nullptr);
  EXPECT_EQ(narrow(t[0]->name), "refs");
  const auto c = all_of<container_t>(f, CLS_CONTAINER);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_TRUE(c[0]->sons == nullptr);
  // An attribute before TYPE is lost, the one after it kept; two TYPEs make two objects;
  // an over-long unknown element name changes nothing.
  const auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 4u);
  EXPECT_TRUE(w[0]->name == nullptr);
  EXPECT_EQ(int(w[0]->symbol), 3);
  EXPECT_EQ(narrow(w[1]->name), "first");
  EXPECT_EQ(narrow(w[2]->name), "second");
  EXPECT_EQ(int(w[3]->symbol), 9);
  const auto g = all_of<geopoint_t>(f, CLS_GEOPOINT);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(int(g[0]->shape), 5);
  // The file goes with its rows; the objects the rows named are still whole.
  file_detach_content(f);
  for (obj_t* o : targets) EXPECT_TRUE(o->cls == CLS_NAVIGATION || o->cls == CLS_CONTAINER);
}

TEST_F(RowsetRead, RowsWithoutAClassOrOutOfPlaceMakeNothing) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("<ROWSET><ROW><NAME>a</NAME></ROW><TYPE>waypoint </TYPE><NAME>b</NAME>"
                 "<ROW><TYPE>Waypoint</TYPE><NAME>c</NAME></ROW></ROWSET>",
                 &f),
            0);
  const auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 1u) << "a TYPE outside a row still names a class; names keep their case";
  EXPECT_EQ(narrow(w[0]->name), "b");
}

TEST_F(RowsetRead, ACutDocumentKeepsTheRowsBeforeTheCut) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("<ROWSET><ROW><TYPE>waypoint</TYPE><SYMBOL>4</SYMBOL></ROW><ROW><TYPE>geopoi", &f),
            0);
  EXPECT_EQ(all_of<waypoint_t>(f, CLS_WAYPOINT).size(), 1u);
  EXPECT_EQ(all_of<geopoint_t>(f, CLS_GEOPOINT).size(), 0u);
}

TEST_F(RowsetRead, AMissingFileLeavesTwo) {
  EXPECT_EQ(load_path(dir_ + "/missing.xml"), ERR_FILE_ACCESS);
  EXPECT_EQ(read_rowset(nullptr, nullptr), 0);
}

// Objects written as rows with their ids and read back: the references and lists that
// name rows of the file point to those rows' objects, which their holders now hold; an id
// no row gave, an object already held, and a holder named by another row leave the
// attribute empty, and the read goes on.
TEST_F(RowsetRead, ReferencesAndListsAreLinkedByTheRowsIds) {
  // The objects written, as the store holds them.
  container_t* made = new_list();
  obj_t *pos = nullptr, *nav = nullptr, *sats = nullptr, *track = nullptr, *other = nullptr;
  obj_new_in_list(made, CLS_GPSPOS, &pos);
  obj_new_in_list(made, CLS_NAVIGATION, &nav);
  obj_new_in_list(made, CLS_CONTAINER, &sats);
  obj_new_in_list(made, CLS_TRACKLOG, &track);
  obj_new_in_list(made, CLS_GPSPOS, &other);
  ASSERT_TRUE(pos && nav && sats && track && other);
  auto id = [](const char* prefix, const obj_t* o) { return prefix + std::to_string(o->id); };
  auto field = [](const char* name, const std::string& v) {
    return "<" + std::string(name) + ">" + v + "</" + name + ">";
  };
  const std::string rows =
      "<ROW><TYPE>gpspos</TYPE>" + field("ID", id("GP", pos)) + field("NAVIG", id("NV", nav)) +
      field("IDSATS", id("LI", sats)) + field("DGPS", "DG999999") + field("ALTITUDE", "7.5") +
      "</ROW><ROW><TYPE>navigation</TYPE>" + field("ID", id("NV", nav)) + field("HDOP", "1.5") +
      "</ROW><ROW><TYPE>container</TYPE>" + field("ID", id("LI", sats)) +
      "</ROW><ROW><TYPE>tracklog</TYPE>" + field("ID", id("TR", track)) +
      field("SONS", id("LI", sats)) + field("NAME", "held twice") +
      "</ROW><ROW><TYPE>gpspos</TYPE>" + field("ID", id("GP", other)) +
      field("NAVIG", id("GP", pos)) + field("RAW", id("GP", other)) + field("ALTITUDE", "9") +
      "</ROW>";
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("<?xml version=\"1.0\"?><ROWSET>" + rows + "</ROWSET>", &f), 0);

  const auto p = all_of<gpspos_t>(f, CLS_GPSPOS);
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(float(p[0]->altitude), 7.5f);
  ASSERT_NE(p[0]->navig, nullptr);
  ASSERT_EQ(p[0]->navig->cls, CLS_NAVIGATION);
  EXPECT_EQ(double(static_cast<navigation_t*>(p[0]->navig)->hdop), 1.5);
  EXPECT_NE(p[0]->navig, nav) << "a new object, not the one written";
  ASSERT_NE(p[0]->idsats, nullptr);
  EXPECT_EQ(p[0]->idsats->cls, CLS_CONTAINER);
  EXPECT_TRUE(p[0]->dgps == nullptr) << "no row has that id";
  // The second position names a holder and itself: both stay empty.
  EXPECT_TRUE(p[1]->navig == nullptr);
  EXPECT_TRUE(p[1]->raw == nullptr);
  EXPECT_EQ(float(p[1]->altitude), 9.0f);
  const auto t = all_of<tracklog_t>(f, CLS_TRACKLOG);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_TRUE(t[0]->sons == nullptr) << "the list is held already";
  EXPECT_EQ(narrow(t[0]->name), "held twice");
  // The held objects left the content list: the file frees each object once.
  EXPECT_EQ(obj_list_count(f->sot), 3);
  EXPECT_TRUE(all_of<navigation_t>(f, CLS_NAVIGATION).empty());
  EXPECT_TRUE(all_of<container_t>(f, CLS_CONTAINER).empty());
}

TEST_F(RowsetRead, ACycleOfReferencesLinksOnlyItsFirstStep) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("<ROWSET><ROW><TYPE>gpspos</TYPE><ID>GP1</ID><NAVIG>GP2</NAVIG></ROW>"
                 "<ROW><TYPE>gpspos</TYPE><ID>GP2</ID><NAVIG>GP1</NAVIG></ROW></ROWSET>",
                 &f),
            0);
  const auto p = all_of<gpspos_t>(f, CLS_GPSPOS);
  ASSERT_EQ(p.size(), 1u);
  ASSERT_NE(p[0]->navig, nullptr);
  EXPECT_TRUE(static_cast<gpspos_t*>(p[0]->navig)->navig == nullptr);
}

// Only the fields their holder frees are linked: a row naming another in any other
// reference or list (a list's own sons, a folder's file) leaves the attribute empty and
// the named object in the content list, so that freeing the file frees every row's
// object, each once. The objects of each class live before the read and after the
// file's content went are the same.
TEST_F(RowsetRead, LinksOnlyWhereTheHolderFreesWhatItHolds) {
  const struct {
    const char* name;
    const char* rows;
    int left;     // objects in the content list after the read
    bool linked;  // the first row holds the second
  } cases[] = {
      {"a list's sons", "<ROW><TYPE>container</TYPE><ID>LI1</ID><SONS>LI2</SONS></ROW>"
                        "<ROW><TYPE>container</TYPE><ID>LI2</ID></ROW>", 2, false},
      {"a folder's file", "<ROW><TYPE>folder</TYPE><ID>FO1</ID><FILE>WP2</FILE></ROW>"
                          "<ROW><TYPE>waypoint</TYPE><ID>WP2</ID></ROW>", 2, false},
      {"a position's navigation", "<ROW><TYPE>gpspos</TYPE><ID>GP1</ID><NAVIG>NV2</NAVIG></ROW>"
                                  "<ROW><TYPE>navigation</TYPE><ID>NV2</ID></ROW>", 1, true},
      {"a field named twice", "<ROW><TYPE>gpspos</TYPE><ID>GP1</ID><NAVIG>NV2</NAVIG>"
                              "<NAVIG>NV3</NAVIG></ROW><ROW><TYPE>navigation</TYPE><ID>NV2</ID>"
                              "</ROW><ROW><TYPE>navigation</TYPE><ID>NV3</ID></ROW>", 2, true},
      {"a track's segments", "<ROW><TYPE>tracklog</TYPE><ID>TR1</ID><SONS>LI2</SONS></ROW>"
                             "<ROW><TYPE>container</TYPE><ID>LI2</ID></ROW>", 1, true},
  };
  const int classes[] = {CLS_CONTAINER, kFolderClass, CLS_WAYPOINT, CLS_GPSPOS, CLS_NAVIGATION,
                         CLS_TRACKLOG};
  auto live = [&] {
    std::vector<int> n;
    for (int cls : classes) {
      int count = 0;
      obj_class_count(cls, &count);
      n.push_back(count);
    }
    return n;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<int> before = live();
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(std::string("<ROWSET>") + c.rows + "</ROWSET>", &f), 0);
    ASSERT_EQ(obj_list_count(f->sot), c.left);
    obj_t* first = f->sot->elems[0];
    if (first->cls == CLS_GPSPOS) {
      EXPECT_EQ(static_cast<gpspos_t*>(first)->navig != nullptr, c.linked);
    } else if (first->cls == CLS_TRACKLOG) {
      EXPECT_EQ(static_cast<tracklog_t*>(first)->sons != nullptr, c.linked);
    } else if (first->cls == CLS_CONTAINER) {
      EXPECT_TRUE(static_cast<container_t*>(first)->sons == nullptr);
    } else if (first->cls == kFolderClass) {
      EXPECT_TRUE(static_cast<folder_t*>(first)->file == nullptr);
    }
    loaded_.free_one(f);
    EXPECT_EQ(live(), before);
  }
}

TEST_F(RowsetRead, TheLinksFixtureKeepsItsReferences) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "links.xml", &f), 0);
  const auto p = all_of<gpspos_t>(f, CLS_GPSPOS);
  ASSERT_EQ(p.size(), 2u) << "the position another one holds left the list";
  ASSERT_NE(p[0]->navig, nullptr);
  EXPECT_EQ(double(static_cast<navigation_t*>(p[0]->navig)->hdop), 1.5);
  ASSERT_NE(p[0]->idsats, nullptr);
  EXPECT_TRUE(p[0]->dgps == nullptr);
  ASSERT_NE(p[1]->navig, nullptr);
  EXPECT_EQ(p[1]->navig->cls, CLS_GPSPOS);
  const auto t = all_of<tracklog_t>(f, CLS_TRACKLOG);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_TRUE(t[0]->sons == nullptr);
}

}  // namespace
