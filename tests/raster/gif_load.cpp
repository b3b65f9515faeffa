// The GIF reader through the image loading dispatcher: every frame's image and frame
// record lands in the file's list, the images are filed in the file's folders, the
// record the dispatcher made is not left behind; a bad file gives its code and trace
// line, keeps the frames completed before the fault and leaves no stray record.
#include <string>

#include "core/obj_list.h"
#include "raster/image_load.h"
#include "tests/raster/image_load_fixture.h"

namespace {

using raster_test::bytes;
using raster_test::ImageLoadTest;

int count_of_class(const container_t* list, int cls) { return obj_list_count_of_class(list, cls); }

TEST_F(ImageLoadTest, GifAnimationFilesEveryFrame) {
  const std::string path = raster_test::fixture("gif", "im_dispose_background.gif");
  fileatt_t* file = image_file(path, kDecoderGif);
  int rc = -1;
  bitmap_t* first = load(file, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_NE(first, nullptr);
  container_t* list = lists_.back();
  EXPECT_EQ(count_of_class(list, CLS_BITMAP), 4);
  EXPECT_EQ(count_of_class(list, CLS_IMG_FRAME), 4);
  EXPECT_EQ(image_count(), 4);
  const int number = first->frame_number;
  EXPECT_EQ(number, 1);
  obj_t* file_of_first = first->file;
  EXPECT_EQ(file_of_first, static_cast<obj_t*>(file));
  folder_t* folder = nullptr;
  file_get_first_folder(file, &folder);
  ASSERT_NE(folder, nullptr);
  obj_t* shown = folder->image;
  EXPECT_EQ(shown, static_cast<obj_t*>(first));
}

TEST_F(ImageLoadTest, BadGifGives14AndKeepsTheCompletedFrames) {
  const bytes file_bytes =
      raster_test::read_bytes(raster_test::fixture("gif", "im_dispose_none.gif"));
  // Cut inside the last frame's data: three frames complete.
  const bytes cut(file_bytes.begin(), file_bytes.end() - 12);
  fileatt_t* file = memory_image_file(cut, kDecoderGif);
  int rc = -1;
  load(file, &rc);
  EXPECT_EQ(rc, ERR_BAD_FILE);
  container_t* list = lists_.back();
  EXPECT_EQ(count_of_class(list, CLS_BITMAP), 3);
  EXPECT_EQ(count_of_class(list, CLS_IMG_FRAME), 3);
  EXPECT_EQ(image_count(), 3);
  EXPECT_NE(trace_log().find("Loading error "), std::string::npos) << trace_log();
}

TEST_F(ImageLoadTest, GifWithoutImagesLeavesNoRecord) {
  const bytes data = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B};
  fileatt_t* file = memory_image_file(data, kDecoderGif);
  int rc = -1;
  EXPECT_EQ(load(file, &rc), nullptr);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(image_count(), 0);
}

}  // namespace
