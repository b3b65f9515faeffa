// The native object file reader: a document of several classes loads its objects
// renumbered above the ids in use, with references relinked (to loaded objects, to
// objects already in the store, or to null), object arrays (IDS) and coordinate lists
// (COORDS) filled; the faults it must not have are shown one by one: short identifiers,
// IDS and COORDS aimed at attributes of another type, references to objects of the
// wrong class, objects dropped before relinking, and documents that load nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/objxml.h"
#include "core/reader.h"
#include "tests/support/file_stub.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace {

constexpr int kPlace = 150, kRoute = 151, kFolder = 152, kFile = 27;

#pragma pack(push, 1)
struct place_t : obj_t {
  char* name;
  char16_t* label;
  double alt;
  int32_t count;
  obj_t* next;
  int32_t members_count;
  uint32_t members_capacity;
  obj_t** members;
  coord_list shape;
  container_t* group;
  int32_t code;
};
struct route_t : obj_t {
  char* name;
  obj_t* first;
  int32_t points_count;
  uint32_t points_capacity;
  obj_t** points;
  coord_list shape;
};
struct folder_t : obj_t {
  obj_t* father;
  container_t* sons;
  char* name;
};
struct file_t : obj_t {
  char* name;
  container_t* sot;
};
#pragma pack(pop)

constexpr attr_desc kPlaceAttrs[] = {
    {"id", AT_ID},        {"type", AT_INT},       {"name", AT_STRING},      {"label", AT_WSTRING},
    {"alt", AT_DOUBLE},   {"count", AT_INT},      {"next", AT_REF},         {"members", AT_OBJARRAY},
    {"shape", AT_COORDS}, {"group", AT_LIST},     {"code", AT_ID}};
constexpr attr_desc kRouteAttrs[] = {{"id", AT_ID},       {"type", AT_INT},
                                     {"name", AT_STRING}, {"first", AT_REF},
                                     {"points", AT_OBJARRAY}, {"shape", AT_COORDS}};
constexpr attr_desc kFolderAttrs[] = {{"id", AT_ID},       {"type", AT_INT}, {"father", AT_FATHER},
                                      {"sons", AT_LIST},   {"name", AT_STRING}};
constexpr attr_desc kFileAttrs[] = {{"id", AT_ID}, {"type", AT_INT}, {"name", AT_STRING},
                                    {"sot", AT_LIST}};
static_assert(sizeof(place_t) == attr_layout_size(kPlaceAttrs, 11));
static_assert(offsetof(place_t, group) == attr_offset_in(kPlaceAttrs, 9));
static_assert(sizeof(route_t) == attr_layout_size(kRouteAttrs, 6));
static_assert(sizeof(folder_t) == attr_layout_size(kFolderAttrs, 5));
static_assert(sizeof(file_t) == attr_layout_size(kFileAttrs, 4));
const objdesc kPlaceDesc = {"place", 11, kPlaceAttrs};
const objdesc kRouteDesc = {"route", 6, kRouteAttrs};
const objdesc kFolderDesc = {"folder", 5, kFolderAttrs};
const objdesc kFileDesc = {"fileatt", 4, kFileAttrs};

// Owned members of the test classes: strings, coordinates, object arrays; a folder owns
// its sons list and a file object its list of objects (not their elements).
void free_members(obj_t* obj) {
  char* rec = reinterpret_cast<char*>(obj);
  for (int i = 2; i < obj_class_attr_count(obj->cls); ++i) {
    int type = 0, off = 0;
    obj_attr_info(obj->cls, i, &type, &off, nullptr);
    if (type == AT_STRING || type == AT_WSTRING) {
      void* p = field_load<void*>(rec, off);
      free_mem(&p);
    } else if (type == AT_COORDS) {
      coord_list c = field_load<coord_list>(rec, off);
      coords_free(&c);
    } else if (type == AT_OBJARRAY) {
      void* p = field_load<void*>(rec, off + 8);
      free_mem(&p);
    }
  }
}
void free_folder(obj_t* obj) {
  free_members(obj);
  obj_t* sons = reinterpret_cast<obj_t*>(static_cast<folder_t*>(obj)->sons);
  free_obj(&sons);  // an id taken for a pointer would crash here
}
void free_file(obj_t* obj) {
  free_members(obj);
  obj_t* sot = reinterpret_cast<obj_t*>(static_cast<file_t*>(obj)->sot);
  free_obj(&sot);
}

void register_classes() {
  obj_register_class(kPlace, sizeof(place_t), &kPlaceDesc);
  obj_register_class(kRoute, sizeof(route_t), &kRouteDesc);
  obj_register_class(kFolder, sizeof(folder_t), &kFolderDesc);
  obj_register_class(kFile, sizeof(file_t), &kFileDesc);
  obj_set_free_callback(kPlace, free_members);
  obj_set_free_callback(kRoute, free_members);
  obj_set_free_callback(kFolder, free_folder);
  obj_set_free_callback(kFile, free_file);
}

void free_class(int cls) {
  while (obj_class_count(cls, nullptr) > 0) {
    obj_t* obj = nullptr;
    obj_list_first(obj_class_list(cls), &obj);
    free_obj(&obj);
  }
}

std::vector<obj_t*> objects_of(int cls) {
  std::vector<obj_t*> out;
  for (obj_t* o = nullptr; obj_class_next(cls, &o);) out.push_back(o);
  return out;
}

template <class T> T* find(int cls, int id) {
  obj_t* o = nullptr;
  obj_find_in_class(cls, id, &o);
  return static_cast<T*>(o);
}

std::vector<double> points_of(const coord_list& c) {
  return std::vector<double>(c.pts, c.pts + 2 * (c.count > 0 ? c.count : 0));
}

class ObjXml : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    tm_test::install_file_stub();
    xml_init();
    register_classes();
  }
  void TearDown() override {
    set_gblerr(0);
    for (int cls : {kPlace, kRoute, kFolder, kFile, int(CLS_CONTAINER)}) free_class(cls);
    rd_close_all();
    tm_test::free_stub_files();
  }
  // Reads a document from a file held in memory.
  int read(const std::string& doc) {
    return read_obj_xml(tm_test::stub_memory_file(doc.data(), int64_t(doc.size())));
  }
};

const char* const kDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<tmobjnative>
  <place id="PL5" type="150">
    <Fname>Col</Fname>
    <Flabel>Col de l'Iseran &#233;t&#xE9;</Flabel>
    <Falt>2764.5</Falt>
    <Fcount>-3</Fcount>
    <Fnext>PL7</Fnext>
    <Fmembers><IDS>PL7,RT9,XX99999</IDS></Fmembers>
    <Fshape><COORDS>1.5,2.5 3,4;-1e2,0.25</COORDS></Fshape>
    <Fcode>PL9</Fcode>
    <Fgroup>CT11</Fgroup>
    <Funknown>ignored</Funknown>
  </place>
  <place id="PL7" type="150"><Fname>Lac</Fname><Fnext>PL5</Fnext><Fgroup>PL5</Fgroup></place>
  <route id="RT9" type="151">
    <Fname>Tour</Fname><Ffirst>ST41</Ffirst><Fpoints><IDS>PL5,PL7</IDS></Fpoints>
    <Fshape><COORDS>10,20</COORDS></Fshape>
  </route>
  <container id="CT11" type="34"><Fname>group</Fname></container>
</tmobjnative>
)";

TEST_F(ObjXml, LoadsRenumbersAndRelinksSeveralClasses) {
  obj_set_max_id(40);
  obj_t* stored = nullptr;
  obj_new_registered(kRoute, &stored);  // an object already in the store, id 41
  ASSERT_EQ(stored->id, 41);
  obj_set_max_id(100);

  EXPECT_EQ(read(kDocument), 0);
  EXPECT_EQ(get_gblerr(), 0);
  // The first loaded object (PL5) takes a fresh id + 2, above every id in use when the
  // read began, and every other id moves by the same offset; the generator continues
  // above the last one.
  const std::vector<obj_t*> places = objects_of(kPlace);
  ASSERT_EQ(places.size(), 2u);
  const int base = places[0]->id;
  EXPECT_GT(base, 102);
  auto* col = find<place_t>(kPlace, base);
  auto* lac = find<place_t>(kPlace, base + 2);
  auto* tour = find<route_t>(kRoute, base + 4);
  obj_t* group = nullptr;
  obj_find_in_class(CLS_CONTAINER, base + 6, &group);
  ASSERT_TRUE(col && lac && tour && group);
  EXPECT_EQ(obj_max_id(), base + 8);

  EXPECT_STREQ(col->name, "Col");
  EXPECT_EQ(std::u16string(col->label), u"Col de l'Iseran \u00e9t\u00e9");
  EXPECT_EQ(+col->alt, 2764.5);
  EXPECT_EQ(+col->count, -3);
  EXPECT_EQ(+col->code, 9);  // an id attribute is read, not renumbered
  EXPECT_EQ(+col->next, lac);
  EXPECT_EQ(+lac->next, col);
  EXPECT_EQ(+col->group, reinterpret_cast<container_t*>(group));
  EXPECT_EQ(+lac->group, nullptr);  // PL5 is a place, not a list
  ASSERT_EQ(+col->members_count, 3);
  EXPECT_EQ(col->members[0], lac);
  EXPECT_EQ(col->members[1], tour);
  EXPECT_EQ(col->members[2], nullptr);  // neither loaded nor in the store
  EXPECT_EQ(points_of(col->shape), (std::vector<double>{1.5, 2.5, 3, 4, -100, 0.25}));

  EXPECT_STREQ(tour->name, "Tour");  // "Fname" sets the name of the current object's class
  EXPECT_EQ(+tour->first, stored);   // an id outside the file: the store's object
  ASSERT_EQ(+tour->points_count, 2);
  EXPECT_EQ(tour->points[0], col);
  EXPECT_EQ(tour->points[1], lac);
  EXPECT_EQ(points_of(tour->shape), (std::vector<double>{10, 20}));
  EXPECT_STREQ(reinterpret_cast<container_t*>(group)->name, "group");
}

TEST_F(ObjXml, ObjectsThatDoNotLoadLeaveNothingBehind) {
  obj_set_max_id(1000);
  const std::string doc = R"(<tmobjnative>
    <place id="PL30" type="151"><Fname>wrong type</Fname></place>
    <place id="PL31"><Fname>no type</Fname><Fmembers><IDS>PL1,PL2</IDS></Fmembers></place>
    <place id="PL32" type="150" type="151"><Fname>retyped</Fname></place>
    <folder id="FO40"><Fsons>CT11</Fsons><Fname>dropped with an id for sons</Fname></folder>
    <folder id="FO41" type="152"><Fsons>PL5</Fsons><Fname>kept</Fname></folder>
    <place id="PL33" type="150" type="150"><Fname>typed twice</Fname></place>
    <unknownclass id="UN1" type="7"/>
  </tmobjnative>)";
  EXPECT_EQ(read(doc), 0);
  // Only two load: PL33, entered in the result once (so renumbered once), and FO41,
  // both moved by the same offset.
  const std::vector<obj_t*> places = objects_of(kPlace);
  ASSERT_EQ(places.size(), 1u);
  EXPECT_STREQ(static_cast<place_t*>(places[0])->name, "typed twice");
  EXPECT_GT(places[0]->id, 1002);
  EXPECT_TRUE(objects_of(kRoute).empty());
  const std::vector<obj_t*> folders = objects_of(kFolder);
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(folders[0]->id, places[0]->id + 41 - 33);
  EXPECT_EQ(obj_max_id(), folders[0]->id + 2);
  EXPECT_STREQ(static_cast<folder_t*>(folders[0])->name, "kept");
  EXPECT_EQ(+static_cast<folder_t*>(folders[0])->sons, nullptr);  // PL5 is no list
}

TEST_F(ObjXml, IdsAndCoordsWriteOnlyAttributesOfTheirType) {
  const std::string doc = R"(<tmobjnative><place id="PL5" type="150">
      <Fname><COORDS>1,2 3,4</COORDS></Fname>
      <Falt><IDS>PL1,PL2,PL3</IDS></Falt>
      <Fnext><COORDS>5,6</COORDS></Fnext>
      <Fshape><IDS>PL7</IDS></Fshape>
      <Fmembers><COORDS>7,8</COORDS></Fmembers>
    </place></tmobjnative>)";
  EXPECT_EQ(read(doc), 0);
  const std::vector<obj_t*> places = objects_of(kPlace);
  ASSERT_EQ(places.size(), 1u);
  auto* p = static_cast<place_t*>(places[0]);
  EXPECT_EQ(+p->name, nullptr);
  EXPECT_EQ(+p->alt, 0.0);
  EXPECT_EQ(+p->next, nullptr);
  EXPECT_EQ(+p->shape.count, 0);
  EXPECT_EQ(+p->members_count, 0);
  EXPECT_EQ(+p->count, 0);
  EXPECT_EQ(+p->group, nullptr);
}

TEST_F(ObjXml, NestedObjectEndsTheOuterOne) {
  const std::string doc = R"(<tmobjnative><route id="RT1" type="151"><Fname>outer</Fname>
      <place id="PL2" type="150"><Fname>inner</Fname></place>
      <Fshape><COORDS>1,1</COORDS></Fshape></route></tmobjnative>)";
  EXPECT_EQ(read(doc), 0);
  ASSERT_EQ(objects_of(kRoute).size(), 1u);
  ASSERT_EQ(objects_of(kPlace).size(), 1u);
  auto* outer = static_cast<route_t*>(objects_of(kRoute)[0]);
  EXPECT_STREQ(outer->name, "outer");
  EXPECT_EQ(+outer->shape.count, 0);
  EXPECT_STREQ(static_cast<place_t*>(objects_of(kPlace)[0])->name, "inner");
}

// Two objects written with one id both load; references to that id find the first.
TEST_F(ObjXml, RepeatedIdsStayReachable) {
  const std::string doc = R"(<tmobjnative>
      <place id="PL5" type="150"><Fname>one</Fname></place>
      <place id="PL5" type="150"><Fname>two</Fname></place>
      <route id="RT6" type="151"><Ffirst>PL5</Ffirst></route></tmobjnative>)";
  EXPECT_EQ(read(doc), 0);
  const std::vector<obj_t*> places = objects_of(kPlace);
  ASSERT_EQ(places.size(), 2u);
  EXPECT_NE(places[0]->id, places[1]->id);
  ASSERT_EQ(objects_of(kRoute).size(), 1u);
  EXPECT_EQ(+static_cast<route_t*>(objects_of(kRoute)[0])->first, places[0]);
}

// An empty result has no first object to number from: nothing is renumbered.
TEST_F(ObjXml, DocumentsThatLoadNothing) {
  const std::string docs[] = {"<tmobjnative/>", "<tmobjnative><place id=\"PL1\"/></tmobjnative>",
                              "<tmobjnative><nothing>text</nothing></tmobjnative>", "garbage"};
  for (const std::string& doc : docs) {
    EXPECT_EQ(read(doc), 0) << doc;
    EXPECT_EQ(get_gblerr(), 0) << doc;
    EXPECT_TRUE(objects_of(kPlace).empty()) << doc;
  }
  const std::string missing = tm_test::sandbox_dir() + "missing.xml";
  EXPECT_EQ(read_obj_xml(tm_test::stub_file(missing.c_str())), 0);
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
}

// A parse that an error stops keeps what it had loaded: here the disk file ends before
// the size recorded for it (the reader's end of data, gblerr 2). The cut lies beyond the
// reader's first buffer, so that the file opens at its recorded size and the end of
// data comes in the middle of the parse.
TEST_F(ObjXml, AnErrorKeepsTheObjectsReadBeforeIt) {
  const std::string doc =
      "<tmobjnative><place id=\"PL3\" type=\"150\"><Fname>first</Fname></place><!--" +
      std::string(200000, 'x') + "-->"
      "<place id=\"PL4\" type=\"150\"><Fname>cut";
  const std::string path = tm_test::write_file(tm_test::sandbox_dir() + "cut.xml", doc);
  obj_t* file = tm_test::stub_file(path.c_str());
  file_set(file, FF_SIZE, int64_t(doc.size()) + 100000);
  EXPECT_EQ(read_obj_xml(file), 0);
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  set_gblerr(0);
  const std::vector<obj_t*> places = objects_of(kPlace);
  ASSERT_EQ(places.size(), 2u);  // the second one was typed before the cut
  EXPECT_STREQ(static_cast<place_t*>(places[0])->name, "first");
  EXPECT_EQ(+static_cast<place_t*>(places[1])->name, nullptr);  // its text was never delivered
}

// The handlers on texts shorter than what they skip: each text is an exact-size heap
// block, so AddressSanitizer sees any read past its end.
struct handler_context {
  container_t* result = nullptr;
  container_t* elements = nullptr;
  container_t* attributes = nullptr;
  xml_parser_t* ctx = nullptr;
  obj_t* place = nullptr;
  handler_context() {
    const xml_element_handler* eh = nullptr;
    const xml_attr_handler* ah = nullptr;
    obj_list_new(&result);
    objxml_build_dicts(&elements, &attributes, &eh, &ah);
    xml_parser_create(result, elements, attributes, nullptr, 0, kObjxmlHandlers, eh, ah, &ctx);
    alloc_mem_zero(&ctx->scratch, kXmlScratchSize);
    alloc_obj(kPlace, &place);
    ctx->caller_data = place;
  }
  ~handler_context() {
    objxml_discard(&place);  // its references still hold ids
    xml_parser_free(&ctx);
    objxml_free_dicts(&elements, &attributes);
    free_obj(&result);
  }
  // An "F" element for an attribute, then its text.
  void attribute(const char* name, const std::string& text) {
    std::strcpy(ctx->text, (std::string("F") + name).c_str());
    objxml_attribute(ctx, nullptr);
    call(objxml_attribute, text);
  }
  void call(void (*handler)(xml_parser_t*, const char*), const std::string& text) {
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    handler(ctx, copy.get());
  }
  place_t* p() const { return static_cast<place_t*>(place); }
};

std::vector<uintptr_t> member_words(const place_t* p) {
  std::vector<uintptr_t> out;
  obj_t** members = p->members;
  for (int i = 0; i < p->members_count; ++i) out.push_back(reinterpret_cast<uintptr_t>(members[i]));
  return out;
}

TEST_F(ObjXml, ShortIdentifiersAreNeverReadPastTheirEnd) {
  const struct {
    const char* text;
    uint32_t id;
  } ids[] = {{"", 0}, {"P", 0}, {"PL", 0}, {"PL7", 7}, {"PL12x", 12}};
  for (const auto& c : ids) {
    handler_context h;
    auto copy = std::make_unique<char[]>(std::strlen(c.text) + 1);
    std::strcpy(copy.get(), c.text);
    objxml_id_attr(h.ctx, kPlace, copy.get());
    EXPECT_EQ(h.place->id, int(c.id)) << c.text;
    h.attribute("next", c.text);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(+h.p()->next), c.id) << c.text;
  }
  const struct {
    const char* text;
    std::vector<uintptr_t> ids;
  } lists[] = {{"", {0}},         {"P", {0}},           {"PL7", {7}},
               {"PL7,", {7, 0}},  {"PL7,P", {7, 0}},    {"PL7,PL8,PL9", {7, 8, 9}},
               {"PL7;X", {7, 0}}, {"PL1,PL2,PL3,PL4,PL5,PL6,PL7,PL8,PL9", {1, 2, 3, 4, 5, 6, 7, 8, 9}}};
  for (const auto& c : lists) {
    handler_context h;
    std::strcpy(h.ctx->scratch, "Fmembers");
    h.call(objxml_ids, c.text);
    EXPECT_EQ(member_words(h.p()), c.ids) << c.text;
  }
  const struct {
    const char* text;
    std::vector<double> points;
  } coords[] = {{"", {}},           {"1", {}},           {"1,", {1, 0}},
                {"1,2", {1, 2}},    {"1,2,", {1, 2}},    {"1,2 3", {1, 2}},
                {"3,4 5.5,-6", {3, 4, 5.5, -6}},         {",", {0, 0}}};
  for (const auto& c : coords) {
    handler_context h;
    std::strcpy(h.ctx->scratch, "Fshape");
    h.call(objxml_coords, c.text);
    EXPECT_EQ(points_of(h.p()->shape), c.points) << c.text;
  }
}

// File objects read from the file join the file object's list of objects ("sot"). The
// file read is a class-27 record whose data the stand-in file routines provide.
const file_ops* g_stub_ops = nullptr;
obj_t* g_outer = nullptr;
obj_t* g_inner = nullptr;
obj_t* inner(obj_t* f) { return f == g_outer ? g_inner : f; }
const file_ops kForwarding = {
    [](obj_t* f, file_field x) { return g_stub_ops->get(inner(f), x); },
    [](obj_t* f, file_field x, int64_t v) { g_stub_ops->set(inner(f), x, v); },
    [](obj_t* f) { return g_stub_ops->name(inner(f)); },
    [](obj_t* f) { return g_stub_ops->date(inner(f)); },
    [](obj_t* f) { return g_stub_ops->store(inner(f)); },
    [](obj_t* f, obj_t* s) { g_stub_ops->set_store(inner(f), s); },
    [](obj_t* f) { return g_stub_ops->container(inner(f)); },
    [](obj_t* f, obj_t* a) { g_stub_ops->set_container(inner(f), a); },
    [] { return g_stub_ops->new_in_memory(); },
    [](obj_t* p, const char* path) { return g_stub_ops->open(p, path); },
    [](const char* path) { return g_stub_ops->find_by_name(path); },
    [](obj_t* f, obj_t* l, int flag) { return g_stub_ops->identify_and_load(inner(f), l, flag); },
    [](obj_t* f) { g_stub_ops->free_file(inner(f)); }};

TEST_F(ObjXml, LoadedFileObjectsJoinTheFilesObjectList) {
  const std::string doc = R"(<tmobjnative>
      <fileatt id="FI12" type="27"><Fname>track.gpx</Fname></fileatt>
      <place id="PL13" type="150"><Fname>not a file</Fname></place>
      <fileatt id="FI14" type="27"><Fname>map.png</Fname></fileatt>
    </tmobjnative>)";
  g_stub_ops = &get_file_ops();
  g_inner = tm_test::stub_memory_file(doc.data(), int64_t(doc.size()));
  obj_new_registered(kFile, &g_outer);
  file_ops_install(&kForwarding);
  EXPECT_EQ(read_obj_xml(g_outer), 0);
  rd_close_file(g_outer);
  file_ops_install(g_stub_ops);
  container_t* sot = static_cast<file_t*>(g_outer)->sot;
  ASSERT_EQ(obj_list_count(sot), 2);
  EXPECT_STREQ(static_cast<file_t*>(sot->elems[0])->name, "track.gpx");
  EXPECT_STREQ(static_cast<file_t*>(sot->elems[1])->name, "map.png");
  EXPECT_LT(sot->elems[0]->id, sot->elems[1]->id);
  EXPECT_EQ(objects_of(kFile).size(), 3u);  // the file read and the two loaded
}

}  // namespace
