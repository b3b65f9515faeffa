// Binding the plug-in: from the program's folder it fills the decoder row of code 18 and
// the raster display's slots; a missing plug-in, one without its exports, or one whose
// decoding library is missing leaves SID images off with one message, and the rest of
// the loader as it was.
#include "core/error.h"
#include "map/raster_display.h"
#include "raster/image_load.h"
#include "raster/sid_host.h"
#include "tests/support/program_run.h"
#include "tests/tmsid/sid_fixture.h"

namespace sid_test {
namespace {

using tm_test::program_folder;

TEST_F(SidTest, BoundFromTheProgramFolderItFillsTheRowAndTheDisplaySlots) {
  EXPECT_NE(image_decoder_for(kDecoderSid), nullptr);
  EXPECT_NE(get_raster_display_hooks().sid_display, nullptr);
  EXPECT_NE(get_raster_display_hooks().sid_symbol, nullptr);
  // Emptied by a restart of the raster module, they are filled again by the next binding.
  image_decoders_reset();
  get_raster_display_hooks() = raster_display_hooks{};
  int bound = 0;
  sid_plugin_load(&bound);
  EXPECT_EQ(bound, 1);
  EXPECT_NE(image_decoder_for(kDecoderSid), nullptr);
  EXPECT_NE(get_raster_display_hooks().sid_display, nullptr);
}

TEST_F(SidTest, WithoutAUsablePluginSidImagesAreOffWithAMessage) {
  struct missing {
    std::string path;
    const char* says;
  };
  const missing cases[] = {
      {"/nonexistent/tmsid.so", "cannot be loaded"},
      // A library without the plug-in's exports.
      {program_folder() + kLticLibraryName, "lacks one of its entry points"},
  };
  for (const missing& m : cases) {
    SCOPED_TRACE(m.path);
    sid_plugin_set_path(m.path.c_str());
    testing::internal::CaptureStderr();
    int bound = 1;
    sid_plugin_load(&bound);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(bound, 0);
    EXPECT_NE(+err.find("MrSID images are off"), std::string::npos) << err;
    EXPECT_NE(+err.find(m.says), std::string::npos) << err;
    EXPECT_NE(trace_log().find("MrSID images are off"), std::string::npos);
    EXPECT_EQ(image_decoder_for(kDecoderSid), nullptr);
    EXPECT_EQ(get_gblerr(), 0);
    // A SID file is then one the dispatcher has no reader for.
    int result = -1;
    EXPECT_EQ(load(fixture("rgb.sid"), &result), nullptr);
    EXPECT_EQ(result, 3);
    set_gblerr(0);
    // The answer is kept: no second message.
    testing::internal::CaptureStderr();
    sid_plugin_load(&bound);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(bound, 0);
  }
  sid_plugin_set_path(nullptr);
  int bound = 0;
  sid_plugin_load(&bound);
  EXPECT_EQ(bound, 1);
  EXPECT_NE(image_decoder_for(kDecoderSid), nullptr);
}

}  // namespace
}  // namespace sid_test
