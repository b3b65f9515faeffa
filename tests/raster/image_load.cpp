// The image loading dispatcher: the PNG, BMP and PCX fixtures loaded through it (pixels,
// size, the list and the folder), the requested line of a first load from a file or
// from memory, the generation floor held while a reader writes, the results and trace
// lines of failures in both languages, and the record of a failed load freed.
#include <filesystem>

#include "core/file_ops.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "raster/image_place.h"
#include "tests/raster/image_load_fixture.h"

namespace {

using raster_test::bytes;
using raster_test::ImageLoadTest;

struct fixture_case {
  const char* folder;
  const char* name;
  int code;
  int width, height, planes;
};

// One image of each decoder, of each layout the record takes (palette and RGB).
const fixture_case kFixtureCases[] = {
    {"png", "im_p8_adam7.png", kDecoderPng, 0, 0, 1},
    {"png", "im_rgb_adam7.png", kDecoderPng, 0, 0, 3},
    {"bmp", "bf16_565.bmp", kDecoderBmp, 0, 0, 3},
    {"pcx", "b1_p2.pcx", kDecoderPcx, 0, 0, 1},
};

int reference_size(const std::string& rgb_path) {
  return int(std::filesystem::file_size(rgb_path));
}

TEST_F(ImageLoadTest, FixturesLoadThroughTheirDecoderRow) {
  for (const fixture_case& c : kFixtureCases) {
    SCOPED_TRACE(c.name);
    const std::string path = raster_test::fixture(c.folder, c.name);
    fileatt_t* file = image_file(path, c.code);
    int rc = -1;
    bitmap_t* b = load(file, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(val(b->file), file);
    EXPECT_EQ(val(b->format), c.code);
    EXPECT_EQ(val(b->planes), c.planes);
    const std::string rgb = path.substr(0, path.rfind('.')) + ".rgb";
    EXPECT_EQ(reference_size(rgb), b->width * b->height * 3);
    EXPECT_EQ(raster_test::image_rgb(b), raster_test::read_bytes(rgb));
    // Filed: the file's first folder shows the image.
    folder_t* folder = nullptr;
    file_get_first_folder(file, &folder);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(val(folder->image), b);
    // No georeference: no pixel size.
    EXPECT_EQ(image_mean_pixel_size(b), 0.0);
  }
}

TEST_F(ImageLoadTest, FirstLoadAsksForTheWholeImageFromFileOrMemory) {
  const std::string path = tm_test::fresh_dir("iline") + "a.img";
  std::ofstream(path) << "x";
  load(image_file(path, raster_test::kPatternCode));
  EXPECT_EQ(raster_test::pattern_state().last_requested_line, kImageFirstLoad);
  load(memory_image_file(bytes{1, 2, 3}, raster_test::kPatternCode));
  EXPECT_EQ(raster_test::pattern_state().last_requested_line, kImageFirstLoadInMemory);
  // A member of an archive is read from memory as well.
  const std::string zip = tm_test::fresh_dir("izip") + "a.zip";
  std::ofstream(zip) << "x";
  fileatt_t* archive = image_file(zip, 53);
  archive->filetype = kContainerKindArchive;
  fileatt_t* member = image_file(path, raster_test::kPatternCode);
  get_file_ops().set_container(member, archive);
  load(member);
  EXPECT_EQ(raster_test::pattern_state().last_requested_line, kImageFirstLoadInMemory);
  get_file_ops().set_container(member, nullptr);
}

TEST_F(ImageLoadTest, ReaderRunsUnderTheGenerationFloorWhichIsNeverLowered) {
  const int32_t before = filemobj_min_generation();
  pattern_image(8, 8, 1, 2);
  // The floor asked for (3 generations) is given by the line store's own rule.
  filemobj_set_min_generation(kImageDecodeMinGeneration);
  const int32_t asked = filemobj_min_generation();
  EXPECT_GE(raster_test::pattern_state().floor_inside, asked);
  EXPECT_GE(filemobj_min_generation(), before);
}

TEST_F(ImageLoadTest, NullFileAndImageGiveMinusOne) {
  int status = 0;
  EXPECT_EQ(image_load(nullptr, nullptr, nullptr, kImageFirstLoad, &status, 0), -1);
}

TEST_F(ImageLoadTest, FileOfAnotherKindGivesThreeWithoutARecord) {
  fileatt_t* file = image_file(raster_test::fixture("png", "im_grey2.png"), kDecoderPng);
  file->filetype = kFileKindLocal;
  const int before = image_count();
  int rc = 0;
  EXPECT_EQ(load(file, &rc), nullptr);
  EXPECT_EQ(rc, ERR_UNKNOWN_FORMAT);
  EXPECT_EQ(image_count(), before);
}

struct failure_case {
  int code;
  int result;
  const char* lang;
  const char* prefix;
};

// Codes without a reader in this build, a reader that fails, in both languages.
const failure_case kFailureCases[] = {
    {21, ERR_UNKNOWN_FORMAT, "EN", "Loading error "},
    {raster_test::kFailingCode, ERR_BAD_FILE, "FR", "Erreur chargement "},
    {20, ERR_UNKNOWN_FORMAT, "FR", "Erreur chargement "},
    {kDecoderEcw, ERR_LOADING, "EN", "Loading error "},  // the library refuses a PNG file
    {kDecoderSid, ERR_UNKNOWN_FORMAT, "EN", "Loading error "},
    {999, ERR_UNKNOWN_FORMAT, "EN", "Loading error "},
};

TEST_F(ImageLoadTest, FailureIsLoggedAndLeavesNoRecord) {
  for (const failure_case& c : kFailureCases) {
    SCOPED_TRACE(c.code);
    configure(c.lang[0] == 'F' ? "FRANCAIS" : "ENGLISH", nullptr);
    const std::string path = raster_test::fixture("png", "im_grey2.png");
    fileatt_t* file = image_file(path, c.code);
    const int before = image_count();
    int rc = 0;
    EXPECT_EQ(load(file, &rc), nullptr);
    EXPECT_EQ(rc, c.result);
    EXPECT_EQ(image_count(), before);
    EXPECT_EQ(val(file->folder), nullptr);
    const std::string expected =
        std::string(c.prefix) + path + " : " + get_error_text_lang(c.result, c.lang[0] == 'F');
    EXPECT_NE(trace_log().find(expected), std::string::npos) << trace_log();
  }
}

TEST_F(ImageLoadTest, ReaderFailureAfterAllocatingFreesTheRecordAndItsStores) {
  raster_test::pattern_state().result = ERR_BAD_FILE;
  const std::string path = tm_test::fresh_dir("ifail") + "a.img";
  std::ofstream(path) << "x";
  const int before = image_count();
  int stores_before = 0;
  obj_class_count(kLineStoreClass, &stores_before);
  int rc = 0;
  EXPECT_EQ(load(image_file(path, raster_test::kPatternCode), &rc), nullptr);
  EXPECT_EQ(rc, ERR_BAD_FILE);
  EXPECT_EQ(image_count(), before);
  int stores_after = 0;
  obj_class_count(kLineStoreClass, &stores_after);
  EXPECT_EQ(stores_after, stores_before);
}

TEST_F(ImageLoadTest, DescriptionOnlyStatusFreesTheDecodedRecord) {
  const std::string path = tm_test::fresh_dir("idesc") + "a.img";
  std::ofstream(path) << "x";
  container_t* list = tm_test::empty_list();
  lists_.push_back(list);
  const int before = image_count();
  int status = -1;
  EXPECT_EQ(image_load(image_file(path, raster_test::kPatternCode), list, nullptr, kImageFirstLoad, &status, 0),
            0);
  EXPECT_EQ(obj_list_count(list), 0);
  EXPECT_EQ(image_count(), before);
}

TEST_F(ImageLoadTest, SeveralImagesOfAListAreFiledUnderTheFirstFolder) {
  // A reader of a multi-image file adds its further images to the list itself.
  image_decoder_register(raster_test::kPatternCode, [](const image_decode_call& call) {
    const int rc = raster_test::pattern_row(call);
    bitmap_t* second = nullptr;
    obj_new_registered(CLS_BITMAP, &second);
    alloc_bitmap(second, 3, 3, 1, 2);
    obj_add_to_id_list(call.list, second);
    return rc;
  });
  const std::string path = tm_test::fresh_dir("imulti") + "a.img";
  std::ofstream(path) << "x";
  fileatt_t* file = image_file(path, raster_test::kPatternCode);
  load(file);
  container_t* list = lists_.back();
  ASSERT_EQ(obj_list_count_of_class(list, CLS_BITMAP), 2);
  folder_t* first = nullptr;
  file_get_first_folder(file, &first);
  ASSERT_NE(first, nullptr);
  bitmap_t* a = nullptr;
  bitmap_t* b = nullptr;
  obj_list_get(list, 0, &a);
  obj_list_get(list, 1, &b);
  EXPECT_EQ(val(first->image), a);
  folder_t* son = nullptr;
  file_next_folder(file, &(son = first));
  ASSERT_NE(son, nullptr);
  EXPECT_EQ(val(son->image), b);
}

// The SID row is filled exactly when the plug-in is bound (it lies beside the test
// program when the build made it; its own tests are in tests/tmsid).
TEST_F(ImageLoadTest, SidRowIsFilledOnlyWhenThePluginIsBound) {
  int bound = 7;
  sid_plugin_load(&bound);
  ASSERT_TRUE(bound == 0 || bound == 1);
  EXPECT_EQ(image_decoder_for(kDecoderSid) != nullptr, bound == 1);
  image_decoders_reset();
}

TEST_F(ImageLoadTest, ReloadWithoutTheEcwReaderLogsAndFreesItsRecord) {
  const std::string path = raster_test::fixture("png", "im_grey2.png");
  fileatt_t* file = image_file(path, kDecoderEcw);
  file->filetype = kFileKindEcwp;
  container_t* list = tm_test::empty_list();
  lists_.push_back(list);
  const int before = image_count();
  EXPECT_EQ(image_reload(file, list), 0);
  EXPECT_EQ(image_count(), before);
  EXPECT_EQ(obj_list_count(list), 0);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_NE(trace_log().find("Loading error " + path), std::string::npos);
  EXPECT_EQ(image_reload(nullptr, list), -1);
}

}  // namespace
