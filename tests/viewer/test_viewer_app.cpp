// quorel-viewer as a whole, under a private Xvfb, on the virtual camera's
// chart scene, driven by its --script hook. Screenshots go to the build
// folder: viewer-en.png, viewer-ja.png (and viewer-dialog-*.png once the
// library's dialogs are there).
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "VirtualDisplay.h"

namespace quorel::viewer::test {
namespace {

namespace fs = std::filesystem;

// Quarter-size frames (872 x 654) keep the test quick under sanitizers.
constexpr int kWidth = 872;
constexpr int kHeight = 654;
constexpr int kRunDeadlineMs = 90000;

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // top row first
};

bool ReadPng(const std::string &path, Image &out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return false;
  image.format = PNG_FORMAT_RGB;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.rgb.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) == 0) {
    png_image_free(&image);
    return false;
  }
  return true;
}

uint32_t U32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

// A 24-bit bottom-up BMP as the library writes it.
bool ReadBmp24(const std::string &path, Image &out) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return false;
  const uint32_t offset = U32(&file[10]);
  const int width = static_cast<int>(U32(&file[18]));
  const int height = static_cast<int>(U32(&file[22]));
  const int bits = file[28] | (file[29] << 8);
  if (bits != 24 || width <= 0 || height <= 0) return false;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  if (file.size() < offset + stride * static_cast<size_t>(height)) return false;
  out.width = width;
  out.height = height;
  out.rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  for (int y = 0; y < height; ++y) {
    const uint8_t *row = &file[offset + stride * static_cast<size_t>(height - 1 - y)];
    for (int x = 0; x < width; ++x) {
      uint8_t *d = &out.rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
      d[0] = row[3 * x + 2];
      d[1] = row[3 * x + 1];
      d[2] = row[3 * x];
    }
  }
  return true;
}

using Shares = std::array<double, 32>;

// Gray levels of a region in 32 bins, as shares of its pixels.
Shares GrayShares(const Image &img, int x0, int y0, int w, int h) {
  Shares s{};
  double n = 0;
  for (int y = std::max(y0, 0); y < std::min(y0 + h, img.height); ++y) {
    for (int x = std::max(x0, 0); x < std::min(x0 + w, img.width); ++x) {
      const uint8_t *p =
          &img.rgb[(static_cast<size_t>(y) * static_cast<size_t>(img.width) + static_cast<size_t>(x)) * 3];
      const int gray = (77 * p[0] + 150 * p[1] + 29 * p[2]) >> 8;
      s[static_cast<size_t>(gray >> 3)] += 1;
      n += 1;
    }
  }
  for (double &v : s) v = n > 0 ? v / n : 0;
  return s;
}

// The viewer's reported 256-bin counts, in the same 32 bins.
Shares ReportedShares(const std::string &counts) {
  Shares s{};
  std::istringstream in(counts);
  double total = 0;
  uint64_t v = 0;
  for (int i = 0; i < 256 && (in >> v); ++i) {
    s[static_cast<size_t>(i >> 3)] += static_cast<double>(v);
    total += static_cast<double>(v);
  }
  for (double &x : s) x = total > 0 ? x / total : 0;
  return s;
}

double Distance(const Shares &a, const Shares &b) {
  double d = 0;
  for (size_t i = 0; i < a.size(); ++i) d += std::fabs(a[i] - b[i]);
  return d;
}

std::map<std::string, std::string> ReadReport(const std::string &path) {
  std::map<std::string, std::string> values;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

std::string Lines(const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &l : lines) text += l + "\n";
  return text;
}

std::vector<int> Ints(const std::string &text) {
  std::vector<int> v;
  std::istringstream in(text);
  for (int x; in >> x;) v.push_back(x);
  return v;
}

class ViewerApp : public testing::Test {
 protected:
  static void SetUpTestSuite() { display_ = new VirtualDisplay(1280, 1024); }
  static void TearDownTestSuite() {
    delete display_;
    display_ = nullptr;
  }

  void SetUp() override {
    if (display_->name().empty()) GTEST_SKIP() << display_->error();
    char pattern[] = "/tmp/quorel-viewer-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty() && !HasFailure()) fs::remove_all(dir_);
  }

  std::vector<std::string> Environment(const std::string &lang) const {
    std::vector<std::string> env = {
        "DISPLAY=" + display_->name(),
        "XDG_CONFIG_HOME=" + dir_ + "/config",
        "QUOREL_REGISTRY=" + dir_ + "/registry.reg",
        "QUOREL_SHM_NAME=/quorel-viewer-test-" + std::to_string(::getpid()),
        // No session bus in a test: settings in memory, no accessibility bus.
        "GSETTINGS_BACKEND=memory",
        "NO_AT_BRIDGE=1",
        "LC_ALL=",
        "LC_MESSAGES=",
        "LANG=" + lang,
        "QUOREL_VIEWER_TRACE=1",
    };
#if defined(__SANITIZE_ADDRESS__)
    // The toolkit keeps its caches to the end of the process; the viewer's
    // own allocations are not covered by these and must all be freed.
    env.push_back("LSAN_OPTIONS=suppressions=" + std::string(QUOREL_VIEWER_TEST_DIR) +
                  "/toolkit-leaks.supp:print_suppressions=0");
    env.push_back("G_SLICE=always-malloc");
#endif
    return env;
  }

  ProgramRun RunViewer(const std::string &script, const std::string &lang, const std::string &sim = "sim") {
    // The camera starts at quarter size, so the very first preview is
    // already a quick one.
    std::ofstream(dir_ + "/registry.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Velmor\\Quorel470KXPLUSdk\\Camera_00]\r\n"
           "\"Color\"=dword:00000002\r\n\"SubSample\"=dword:00000002\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Velmor\\Quorel470KXPLUSdk\\Camera_00\\Gain]\r\n"
           "\"Global\"=dword:00000020\r\n\"ColorG1\"=dword:00000020\r\n\"ColorR\"=dword:00000020\r\n"
           "\"ColorB\"=dword:00000020\r\n\"ColorG2\"=dword:00000020\r\n\"Exposure\"=dword:000007b2\r\n"
           "\"V_Mirror\"=dword:00000000\r\n\"H_Mirror\"=dword:00000000\r\n\"AutoIris\"=dword:00000000\r\n";
    const std::string scriptPath = dir_ + "/script.txt";
    std::ofstream(scriptPath) << script;
    std::vector<std::string> argv = {QUOREL_VIEWER_PATH, "--script", scriptPath};
    if (sim == "sim") argv.push_back("--sim=units=0;scene=chart;seed=7;fps=25;trigger=150");
    std::vector<std::string> env = Environment(lang);
    if (sim != "sim") {
      // The kernel-driver backend, whatever the calling shell selected.
      env.push_back("QUOREL_DRIVER=");
      env.push_back("QUOREL_SIM=");
    }
    ProgramRun run = RunProgram(argv, env, kRunDeadlineMs);
    EXPECT_TRUE(run.finished) << run.output;
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    return run;
  }

  std::string Path(const std::string &name) const {
    return dir_ + "/" + name;
  }
  static std::string Shot(const std::string &name) {
    return std::string(QUOREL_BINARY_DIR) + "/" + name;
  }

  static VirtualDisplay *display_;
  std::string dir_;
};

VirtualDisplay *ViewerApp::display_ = nullptr;

TEST_F(ViewerApp, ShowsTheChartSavesRecordsAndOpensEachDialog) {
  const std::string script = Lines({
      "wait-frames 3",
      "screenshot " + Shot("viewer-en.png"),
      "report " + Path("live.txt"),
      "save " + Path("frame.bmp") + " bmp",
      "save " + Path("frame.png") + " png",
      "dialog camera " + Shot("viewer-dialog-camera.png"),
      "dialog image " + Shot("viewer-dialog-image.png"),
      "dialog analog " + Shot("viewer-dialog-analog.png"),
      "key s",
      "key f",
      "record " + Path("clip.avi") + " 1500",
      "wait-frames 2",
      "report " + Path("final.txt"),
      "quit",
  });
  const ProgramRun run = RunViewer(script, "en_US.UTF-8");

  auto live = ReadReport(Path("live.txt"));
  ASSERT_FALSE(live.empty()) << run.output;
  EXPECT_EQ(live["language"], "en");
  EXPECT_GE(std::stoi(live["frames"]), 3);
  EXPECT_EQ(Ints(live["image"]), (std::vector<int>{kWidth, kHeight, 24}));

  // The saved frame reads back in both formats, at the delivered size.
  Image bmp;
  ASSERT_TRUE(ReadBmp24(Path("frame.bmp"), bmp));
  Image png;
  ASSERT_TRUE(ReadPng(Path("frame.png"), png));
  EXPECT_EQ(bmp.width, kWidth);
  EXPECT_EQ(bmp.height, kHeight);
  EXPECT_EQ(png.width, kWidth);
  EXPECT_EQ(png.height, kHeight);
  const Shares frame = GrayShares(bmp, 0, 0, bmp.width, bmp.height);

  // The histogram the viewer computed from its callback buffer is the
  // frame's (the chart stands still; sampling every other pixel).
  EXPECT_LT(Distance(ReportedShares(live["histogram.gray"]), frame), 0.05);

  // The library's own window shows the picture; where the library cannot
  // make one (code 4 in the panel), the viewer paints it.
  const std::vector<int> liveErrors = Ints(live["errors"]);
  EXPECT_TRUE(live["paints"] == "library" || std::find(liveErrors.begin(), liveErrors.end(), 4) != liveErrors.end())
      << live["paints"] << " / " << live["errors"];

  // The picture on the screen: not black, and the frame's picture.
  Image shot;
  ASSERT_TRUE(ReadPng(Shot("viewer-en.png"), shot));
  const std::vector<int> rect = Ints(live["picture"]);
  ASSERT_EQ(rect.size(), 4u);
  EXPECT_GT(rect[2], 100);
  EXPECT_GT(rect[3], 100);
  const Shares screen = GrayShares(shot, rect[0], rect[1], rect[2], rect[3]);
  EXPECT_LT(screen[0], 0.5) << "the picture area is black";
  EXPECT_LT(Distance(screen, frame), 0.25);

  auto final = ReadReport(Path("final.txt"));
  ASSERT_FALSE(final.empty());
  // Each dialog either opened (and was cancelled) or its failure was shown
  // with a code.
  for (const char *kind : {"camera", "image", "analog"}) {
    const std::vector<int> d = Ints(final[std::string("dialog.") + kind]);
    ASSERT_EQ(d.size(), 3u) << kind;
    EXPECT_TRUE(d[1] == 1 || (d[0] == 0 && d[2] != 0)) << kind << ": " << final[std::string("dialog.") + kind];
  }
  // S opened the save chooser; F switched from fit to 100 %.
  EXPECT_EQ(final["key.s"], "chooser");
  const std::vector<int> full = Ints(final["picture"]);
  ASSERT_EQ(full.size(), 4u);
  EXPECT_EQ(full[2], kWidth);
  EXPECT_EQ(full[3], kHeight);

  // The recording finished, and ffprobe counts the frames the viewer read
  // from its headers.
  const std::vector<std::string> rec = [&] {
    std::vector<std::string> words;
    std::istringstream in(final["record"]);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
  }();
  ASSERT_EQ(rec.size(), 3u) << final["record"];
  EXPECT_EQ(rec[0], "1");
  const int frames = std::stoi(rec[1]);
  EXPECT_GT(frames, 0);
  const ProgramRun probe =
      RunProgram({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                  "stream=nb_read_frames,width,height", "-of", "csv=p=0", Path("clip.avi")},
                 {}, 30000);
  ASSERT_TRUE(probe.finished);
  EXPECT_EQ(probe.exitStatus, 0) << probe.output;
  EXPECT_EQ(probe.output, std::to_string(kWidth) + "," + std::to_string(kHeight) + "," + std::to_string(frames) + "\n");

  // No frame was lost to a failure along the way.
  for (int code : Ints(final["errors"])) {
    EXPECT_TRUE(code != 5 && code != 8 && code != 13) << "error " << code;
  }
  // The viewer remembered its state at exit.
  std::ifstream ini(dir_ + "/config/quorel/viewer.ini");
  std::stringstream text;
  text << ini.rdbuf();
  EXPECT_NE(text.str().find("zoom=100"), std::string::npos) << text.str();
}

TEST_F(ViewerApp, JapaneseWindowKeepsItsSizeAndReopensAVanishedCamera) {
  const std::string first = Lines({
      "resize 1200 800",
      "wait-frames 3",
      "screenshot " + Shot("viewer-ja.png"),
      "unplug 0",
      "wait-error 13",
      "report " + Path("gone.txt"),
      "plug 0",
      "refresh",
      "start",
      "wait-frames 2",
      "report " + Path("back.txt"),
      "mode 8",
      "wait-frames 2",
      "report " + Path("gray.txt"),
      "snapshot",
      "report " + Path("snap.txt"),
      "trigger",
      "fire-trigger",
      "wait-frames 2",
      "report " + Path("trigger.txt"),
      "quit",
  });
  RunViewer(first, "ja_JP.UTF-8");
  auto gone = ReadReport(Path("gone.txt"));
  EXPECT_EQ(gone["language"], "ja");
  EXPECT_NE(gone["hint"].find("13"), std::string::npos) << gone["hint"];
  auto back = ReadReport(Path("back.txt"));
  EXPECT_EQ(back["cameras"], "1");
  EXPECT_EQ(back["acquisition"], "1");
  EXPECT_GT(std::stoi(back["frames"]), std::stoi(gone["frames"]));
  // Gray frames after a colour-mode change from the toolbar.
  auto gray = ReadReport(Path("gray.txt"));
  EXPECT_EQ(Ints(gray["image"]), (std::vector<int>{kWidth, kHeight, 8}));
  EXPECT_EQ(gray["histogram.gray"], gray["histogram.red"]);
  // One snapshot frame, shown by the viewer itself; then triggered frames.
  auto snap = ReadReport(Path("snap.txt"));
  EXPECT_EQ(snap["acquisition"], "2");
  EXPECT_EQ(snap["paints"], "viewer");
  EXPECT_GT(std::stoi(snap["histogram.pixels"]), 0);
  auto trigger = ReadReport(Path("trigger.txt"));
  EXPECT_EQ(trigger["acquisition"], "3");
  EXPECT_GE(std::stoi(trigger["frames"]), std::stoi(snap["frames"]) + 2);

  // The size it ended with is kept for the next start.
  std::ifstream ini(dir_ + "/config/quorel/viewer.ini");
  std::stringstream text;
  text << ini.rdbuf();
  EXPECT_NE(text.str().find("width=1200\nheight=800\n"), std::string::npos) << text.str();
}

TEST_F(ViewerApp, WithoutCameraListsNothingAndHints) {
  // No --sim and no device nodes: the kernel-driver backend finds nothing.
  RunViewer(Lines({"report " + Path("none.txt"), "quit"}), "en_US.UTF-8", "driver");
  auto none = ReadReport(Path("none.txt"));
  EXPECT_EQ(none["cameras"], "0");
  EXPECT_NE(none["hint"].find("--sim"), std::string::npos) << none["hint"];
  EXPECT_NE(none["hint"].find("udev"), std::string::npos) << none["hint"];
}

TEST(ViewerAppWithoutDisplay, ExitsWithTwoAndSaysWhy) {
  const ProgramRun run = RunProgram({QUOREL_VIEWER_PATH, "--sim"}, {"DISPLAY=:65000", "WAYLAND_DISPLAY="}, 30000);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_NE(run.output.find("cannot open the X display"), std::string::npos) << run.output;
  const ProgramRun usage = RunProgram({QUOREL_VIEWER_PATH, "--device", "40"}, {}, 30000);
  EXPECT_EQ(usage.exitStatus, 2);
}

}  // namespace
}  // namespace quorel::viewer::test
