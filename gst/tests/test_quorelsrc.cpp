// quorelsrc in real pipelines on the virtual camera: caps and buffer sizes in
// every colour mode, contents against Quorel_GetImage, timestamps, offsets,
// DISCONT after frames were skipped, two units in one pipeline, and a clean
// error when the camera vanishes mid-stream.
//
// The element is loaded from the build tree (GST_PLUGIN_PATH) and shares
// this process's copy of the camera library, so that the test can plug and
// unplug the virtual camera's units under it.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "QuorelStream.h"

// Last: check.h, under GstCheck, defines a macro named fail.
#include <gst/check/gstcheck.h>

#pragma weak QuorelStream_GetFrameMeta

namespace {

using Clock = std::chrono::steady_clock;

struct PipelineDeleter {
  void operator()(GstElement *p) const {
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(p);
  }
};
using Pipeline = std::unique_ptr<GstElement, PipelineDeleter>;

struct SampleDeleter {
  void operator()(GstSample *s) const { gst_sample_unref(s); }
};
using Sample = std::unique_ptr<GstSample, SampleDeleter>;

Pipeline Launch(const std::string &description) {
  GError *error = nullptr;
  GstElement *p = gst_parse_launch(description.c_str(), &error);
  if (error != nullptr) {
    ADD_FAILURE() << description << ": " << error->message;
    g_error_free(error);
  }
  return Pipeline(p);
}

GstElement *ByName(const Pipeline &p, const char *name) {
  GstElement *e = gst_bin_get_by_name(GST_BIN(p.get()), name);
  if (e != nullptr) gst_object_unref(e);  // the bin keeps it alive
  return e;
}

Sample Pull(GstElement *sink) {
  return Sample(gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 30 * GST_SECOND));
}

// The first error on the bus within the deadline, as "domain:code message".
std::string WaitForError(const Pipeline &p, GstClockTime timeout) {
  GstBus *bus = gst_element_get_bus(p.get());
  GstMessage *msg = gst_bus_timed_pop_filtered(bus, timeout, GST_MESSAGE_ERROR);
  gst_object_unref(bus);
  if (msg == nullptr) return {};
  GError *error = nullptr;
  gchar *debug = nullptr;
  gst_message_parse_error(msg, &error, &debug);
  std::string text =
      std::string(g_quark_to_string(error->domain)) + ":" + std::to_string(error->code) + " " + error->message;
  g_error_free(error);
  g_free(debug);
  gst_message_unref(msg);
  return text;
}

bool HaveFrameMeta() {
  return QuorelStream_GetFrameMeta != nullptr;
}

class QuorelSrcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Every unit a test may use is plugged in again.
    ASSERT_EQ(QuorelSim_Enable("units=0,1;fps=30"), 1);
    for (int u : {0, 1}) QuorelSim_SetPresent(u, 1);
  }
};

TEST_F(QuorelSrcTest, EachColourModeHasItsCapsAndFrameSize) {
  struct Mode {
    int bits;
    const char *format;
    int bytesPerPixel;
  };
  const Mode modes[] = {{8, "GRAY8", 1}, {16, "GRAY16_LE", 2}, {24, "BGR", 3}, {32, "BGRx", 4}, {64, "BGRA64_LE", 8}};
  for (const Mode &m : modes) {
    SCOPED_TRACE(m.format);
    // 642 pixels: 24-bit rows of 1926 bytes are padded to 1928.
    Pipeline p = Launch("quorelsrc num-buffers=3 color-mode=" + std::to_string(m.bits) +
                        " window=16,8,642,480 ! appsink name=sink sync=false");
    ASSERT_TRUE(p);
    ASSERT_NE(gst_element_set_state(p.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    for (int i = 0; i < 3; ++i) {
      Sample s = Pull(ByName(p, "sink"));
      ASSERT_TRUE(s) << WaitForError(p, 0);
      GstStructure *caps = gst_caps_get_structure(gst_sample_get_caps(s.get()), 0);
      EXPECT_STREQ(gst_structure_get_string(caps, "format"), m.format);
      int width = 0, height = 0;
      gst_structure_get_int(caps, "width", &width);
      gst_structure_get_int(caps, "height", &height);
      EXPECT_EQ(width, 642);
      EXPECT_EQ(height, 480);
      // The rate measured from the stream, which encoders need fixed.
      int num = 0, den = 0;
      EXPECT_TRUE(gst_structure_get_fraction(caps, "framerate", &num, &den));
      EXPECT_GT(num, 0);
      const size_t stride = (size_t{642} * m.bytesPerPixel + 3) / 4 * 4;
      EXPECT_EQ(gst_buffer_get_size(gst_sample_get_buffer(s.get())), stride * 480);
    }
    // num-buffers ends the stream with EOS, not an error.
    EXPECT_TRUE(gst_app_sink_is_eos(GST_APP_SINK(ByName(p, "sink"))) || !Pull(ByName(p, "sink")));
  }
}

// The virtual camera's chart without noise gives the same picture every
// frame, so a frame the element delivered equals one the library hands an
// application directly with the same settings.
TEST_F(QuorelSrcTest, ContentsAreTheLibrarysImage) {
  Pipeline p = Launch("quorelsrc num-buffers=2 color-mode=24 window=100,50,320,240 ! appsink name=sink sync=false");
  ASSERT_TRUE(p);
  ASSERT_NE(gst_element_set_state(p.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  Sample s = Pull(ByName(p, "sink"));
  ASSERT_TRUE(s) << WaitForError(p, 0);
  GstMapInfo map;
  ASSERT_TRUE(gst_buffer_map(gst_sample_get_buffer(s.get()), &map, GST_MAP_READ));
  const std::vector<unsigned char> fromElement(map.data, map.data + map.size);
  gst_buffer_unmap(gst_sample_get_buffer(s.get()), &map);
  p.reset();

  HWND window = QuorelHost_CreateMessageWindow();
  const int h = Quorel_Initialize(window);
  ASSERT_NE(h, 0);
  ASSERT_EQ(Quorel_SetColorMode(h, 24), 1);
  ASSERT_EQ(Quorel_SetCaptureWindowEx(h, 3488, 100, 320, 2616, 50, 240), 1);
  ASSERT_EQ(Quorel_Capture(h), 1);
  std::vector<unsigned char> direct(fromElement.size());
  EXPECT_EQ(Quorel_SnapShot(h, nullptr, 0, 1), 1);
  EXPECT_EQ(Quorel_GetImage(h, direct.data(), static_cast<int>(direct.size()), 1), 1);
  Quorel_Release(h);
  QuorelHost_DestroyWindow(window);
  EXPECT_TRUE(fromElement == direct) << "the element's frame differs from Quorel_GetImage's";
}

TEST_F(QuorelSrcTest, TimestampsRiseAndOffsetsFollowTheFrames) {
  Pipeline p = Launch("quorelsrc num-buffers=8 window=0,0,320,240 ! appsink name=sink sync=false");
  ASSERT_TRUE(p);
  ASSERT_NE(gst_element_set_state(p.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  GstClockTime last = GST_CLOCK_TIME_NONE;
  guint64 lastOffset = 0;
  for (int i = 0; i < 8; ++i) {
    Sample s = Pull(ByName(p, "sink"));
    ASSERT_TRUE(s) << WaitForError(p, 0);
    GstBuffer *b = gst_sample_get_buffer(s.get());
    ASSERT_TRUE(GST_BUFFER_PTS_IS_VALID(b));
    if (i == 0) {
      EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DISCONT));
    }
    if (GST_CLOCK_TIME_IS_VALID(last)) {
      EXPECT_GT(GST_BUFFER_PTS(b), last);
      EXPECT_GT(GST_BUFFER_OFFSET(b), lastOffset);
      EXPECT_EQ(GST_BUFFER_OFFSET_END(b), GST_BUFFER_OFFSET(b) + 1);
    }
    last = GST_BUFFER_PTS(b);
    lastOffset = GST_BUFFER_OFFSET(b);
  }
}

// Holding the stream back while the camera keeps delivering makes the
// element skip frames: the next buffer after the gap is DISCONT, its offset
// jumps, and the element counts the discontinuity.
TEST_F(QuorelSrcTest, FramesSkippedMarkTheNextBufferDiscont) {
  if (!HaveFrameMeta()) GTEST_SKIP() << "the library has no frame metadata (QuorelStream_GetFrameMeta)";
  Pipeline p = Launch("quorelsrc name=src window=0,0,320,240 ! appsink name=sink sync=false max-buffers=1 drop=false");
  ASSERT_TRUE(p);
  ASSERT_NE(gst_element_set_state(p.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  GstElement *src = ByName(p, "src");
  Sample first = Pull(ByName(p, "sink"));
  ASSERT_TRUE(first) << WaitForError(p, 0);
  guint64 delivered = 0;
  g_object_get(src, "frames-delivered", &delivered, nullptr);
  // The sink holds one buffer and the element blocks with the next; wait
  // until the camera has delivered several frames more.
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  guint64 now = delivered;
  while (now < delivered + 6 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    g_object_get(src, "frames-delivered", &now, nullptr);
  }
  ASSERT_GE(now, delivered + 6);
  guint64 previous = GST_BUFFER_OFFSET(gst_sample_get_buffer(first.get()));
  bool sawGap = false;
  for (int i = 0; i < 4 && !sawGap; ++i) {
    Sample s = Pull(ByName(p, "sink"));
    ASSERT_TRUE(s);
    GstBuffer *b = gst_sample_get_buffer(s.get());
    const bool gap = GST_BUFFER_OFFSET(b) > previous + 1;
    EXPECT_EQ(gap, GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DISCONT)) << "offset " << GST_BUFFER_OFFSET(b);
    sawGap = gap;
    previous = GST_BUFFER_OFFSET(b);
  }
  EXPECT_TRUE(sawGap);
  guint64 discontinuities = 0;
  g_object_get(src, "discontinuities", &discontinuities, nullptr);
  EXPECT_GE(discontinuities, 1u);
}

TEST_F(QuorelSrcTest, TwoUnitsInOnePipeline) {
  Pipeline p = Launch(
      "quorelsrc unit=0 num-buffers=3 window=0,0,320,240 ! appsink name=a sync=false "
      "quorelsrc unit=1 num-buffers=3 color-mode=8 window=0,0,160,120 ! appsink name=b sync=false");
  ASSERT_TRUE(p);
  ASSERT_NE(gst_element_set_state(p.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  for (int i = 0; i < 3; ++i) {
    Sample a = Pull(ByName(p, "a"));
    Sample b = Pull(ByName(p, "b"));
    ASSERT_TRUE(a && b) << WaitForError(p, 0);
    EXPECT_EQ(gst_buffer_get_size(gst_sample_get_buffer(a.get())), size_t{960} * 240);
    EXPECT_EQ(gst_buffer_get_size(gst_sample_get_buffer(b.get())), size_t{160} * 120);
  }
}

// Stopping and playing again starts a new acquisition on the same element.
TEST_F(QuorelSrcTest, RestartsAfterStop) {
  Pipeline p = Launch("quorelsrc window=0,0,160,120 ! appsink name=sink sync=false");
  ASSERT_TRUE(p);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_NE(gst_element_set_state(p.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    Sample s = Pull(ByName(p, "sink"));
    ASSERT_TRUE(s) << WaitForError(p, 0);
    ASSERT_NE(gst_element_set_state(p.get(), GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    ASSERT_NE(gst_element_set_state(p.get(), GST_STATE_NULL), GST_STATE_CHANGE_FAILURE);
  }
}

TEST_F(QuorelSrcTest, UnpluggedCameraEndsWithAResourceError) {
  Pipeline p = Launch("quorelsrc window=0,0,160,120 timeout=3000 ! appsink name=sink sync=false");
  ASSERT_TRUE(p);
  ASSERT_NE(gst_element_set_state(p.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  ASSERT_TRUE(Pull(ByName(p, "sink"))) << WaitForError(p, 0);
  ASSERT_EQ(QuorelSim_SetPresent(0, 0), 1);
  const std::string error = WaitForError(p, 60 * GST_SECOND);
  EXPECT_EQ(error.rfind(std::string(g_quark_to_string(GST_RESOURCE_ERROR)) + ":", 0), 0u) << error;
  EXPECT_NE(error.find("error "), std::string::npos) << error;
  // Shutting the pipeline down afterwards is clean.
  EXPECT_NE(gst_element_set_state(p.get(), GST_STATE_NULL), GST_STATE_CHANGE_FAILURE);
}

TEST_F(QuorelSrcTest, SettingsErrorsFailTheStart) {
  Pipeline p = Launch("quorelsrc color-mode=48 ! fakesink");
  ASSERT_TRUE(p);
  EXPECT_EQ(gst_element_set_state(p.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  EXPECT_NE(WaitForError(p, 5 * GST_SECOND).find("color-mode 48"), std::string::npos);

  Pipeline absent = Launch("quorelsrc unit=7 ! fakesink");
  ASSERT_TRUE(absent);
  EXPECT_EQ(gst_element_set_state(absent.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  EXPECT_NE(WaitForError(absent, 5 * GST_SECOND).find("error 2 (QUOREL_ERR_NO_CAMERA"), std::string::npos);
}

}  // namespace

// Under LeakSanitizer: GStreamer and GLib keep type and registry data for the
// life of the process on purpose. Allocations made through them (GLib's
// allocator included) are not checked here; the camera library's own are.
extern "C" const char *__lsan_default_suppressions() {
  return "leak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgstreamer-1.0.so\nleak:libgstbase-1.0.so\n"
         "leak:libgstcheck-1.0.so\nleak:libgstapp-1.0.so\nleak:libgstvideo-1.0.so\nleak:libgstcoreelements.so\n"
         "leak:libgstapp.so\n";
}

int main(int argc, char **argv) {
  // A scratch settings file, device table and plug-in registry of our own,
  // and the element from the build tree.
  char scratch[] = "/tmp/quorel-gst-XXXXXX";
  if (mkdtemp(scratch) == nullptr) return 1;
  const std::string dir = scratch;
  setenv("QUOREL_REGISTRY", (dir + "/registry.reg").c_str(), 1);
  setenv("QUOREL_SHM_NAME", ("/quorel_gst_test_" + std::to_string(getpid())).c_str(), 1);
  setenv("QUOREL_DRIVER", "sim", 1);
  setenv("GST_PLUGIN_PATH", QUOREL_GST_PLUGIN_BUILD_DIR, 1);
  setenv("GST_REGISTRY", (dir + "/gst-registry.bin").c_str(), 1);
  // Plug-ins load in this process: a sanitizer build of the element could not
  // be loaded by the (uninstrumented) scanner helper.
  setenv("GST_REGISTRY_FORK", "no", 1);
  // GoogleTest first: it takes its own flags out of argv, which GStreamer's
  // option parser would refuse (as ctest passes --gtest_filter).
  testing::InitGoogleTest(&argc, argv);
  gst_check_init(&argc, &argv);
  const int result = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return result;
}
