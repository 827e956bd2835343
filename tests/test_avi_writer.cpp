// AVI recording: header bytes at their offsets, chunks with their row
// padding, the index, the values patched at the end, failed writes, and a
// decode of every frame by an independent reader when ffmpeg is installed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "output/AviWriter.h"
#include "support/TestEnvironment.h"

namespace quorel {
namespace {

using test::ScratchPath;

std::vector<uint8_t> ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::vector<uint8_t> &b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint32_t FourCc(const char *tag) {
  return static_cast<uint8_t>(tag[0]) | (static_cast<uint8_t>(tag[1]) << 8) | (static_cast<uint8_t>(tag[2]) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(tag[3])) << 24);
}
std::string Tag(const std::vector<uint8_t> &b, size_t at) {
  return std::string(b.begin() + at, b.begin() + at + 4);
}

size_t StrideOf(int width) {
  return (3 * static_cast<size_t>(width) + 3) & ~size_t{3};
}

// A frame whose every byte depends on frame, row and column, padding included,
// so that a lost, repeated or shifted byte shows.
std::vector<uint8_t> MakeFrame(int width, int height, int frame) {
  std::vector<uint8_t> pixels(StrideOf(width) * height);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + frame * 31 + i / 97);
  return pixels;
}

// Records `frames` frames of width x height and finishes at `rate`
// hundredths of frames per second. Returns the frames written.
std::vector<std::vector<uint8_t>> Record(const std::string &path, int width, int height, int frames, uint32_t rate) {
  AviWriter avi;
  avi.SetFrameSize(width, height);
  avi.SetFrameRate(30);
  avi.SetFrameCount(0);
  std::vector<std::vector<uint8_t>> written;
  EXPECT_EQ(avi.Create(path.c_str()), 1);
  for (int i = 0; i < frames; ++i) {
    written.push_back(MakeFrame(width, height, i));
    EXPECT_EQ(avi.WriteFrame(written.back().data()), 0);
    avi.SetFrameCount(avi.frameCount() + 1);
  }
  avi.SetFrameRate(rate);
  EXPECT_EQ(avi.Finish(), 0);
  return written;
}

TEST(AviWriter, CreateWritesTheHeadersAtTheirOffsets) {
  const std::string path = ScratchPath("headers.avi");
  AviWriter avi;
  avi.SetFrameSize(640, 480);
  avi.SetFrameRate(30);
  avi.SetFrameCount(0);
  ASSERT_EQ(avi.Create(path.c_str()), 1);
  EXPECT_EQ(avi.frameBytes(), 921600u);
  const std::vector<uint8_t> frame = MakeFrame(640, 480, 0);
  ASSERT_EQ(avi.WriteFrame(frame.data()), 0);
  ASSERT_EQ(avi.WriteFrame(frame.data()), 0);

  // Before Finish: sizes and counts are still those of Create.
  const std::vector<uint8_t> b = ReadAll(path);
  ASSERT_EQ(b.size(), 232u + 2 * (921600 + 8));
  struct Field {
    size_t at;
    uint32_t value;
  };
  // clang-format off
  const Field fields[] = {
      {0, FourCc("RIFF")}, {4, 0}, {8, FourCc("AVI ")}, {12, FourCc("LIST")}, {16, 200}, {20, FourCc("hdrl")},
      {24, FourCc("avih")}, {28, 56},
      // Main header: microseconds per frame (1,000,000 / 30), bytes per
      // second (30 chunks), granularity, flags, frames, initial frames,
      // streams, suggested buffer, width, height, reserved.
      {32, 33333}, {36, 921608 * 30}, {40, 0}, {44, 0x10010}, {48, 0}, {52, 0}, {56, 1}, {60, 921608},
      {64, 640}, {68, 480}, {72, 0}, {76, 0}, {80, 0}, {84, 0},
      {88, FourCc("LIST")}, {92, 124}, {96, FourCc("strl")}, {100, FourCc("strh")}, {104, 64},
      // Stream header: type, handler, flags, priority and language, initial
      // frames, scale (10,000,000 / 30), rate, start, length, buffer,
      // quality, sample size, frame rectangle.
      {108, FourCc("vids")}, {112, FourCc("DIB ")}, {116, 0}, {120, 0}, {124, 0}, {128, 333333},
      {132, 10000000}, {136, 0}, {140, 0}, {144, 921608}, {148, 0}, {152, 0}, {156, 0}, {160, 0},
      {164, 0}, {168, 0}, {172, FourCc("strf")}, {176, 40},
      // Stream format: the bitmap header of a bottom-up 24-bit image (planes
      // 1 and bit count 24 share one 32-bit word).
      {180, 40}, {184, 640}, {188, 480}, {192, 1 | (24u << 16)}, {196, 0}, {200, 0}, {204, 0}, {208, 0},
      {212, 0}, {216, 0}, {220, FourCc("LIST")}, {224, 0}, {228, FourCc("movi")}};
  // clang-format on
  for (const Field &field : fields) EXPECT_EQ(Le32(b, field.at), field.value) << "offset " << field.at;
  // Chunks follow at once.
  EXPECT_EQ(Tag(b, 232), "00db");
  EXPECT_EQ(Le32(b, 236), 921600u);
  EXPECT_EQ(0, std::memcmp(b.data() + 240, frame.data(), frame.size()));
  EXPECT_EQ(Tag(b, 232 + 921608), "00db");

  avi.SetFrameCount(2);
  avi.SetFrameRate(3000);
  ASSERT_EQ(avi.Finish(), 0);
  const std::vector<uint8_t> f = ReadAll(path);
  const size_t idx = 232 + 2 * 921608;
  ASSERT_EQ(f.size(), idx + 8 + 32);
  EXPECT_EQ(Tag(f, idx), "idx1");
  EXPECT_EQ(Le32(f, idx + 4), 32u);
  EXPECT_EQ(Le32(f, idx + 8 + 8), 4u);            // first chunk, counted from "movi"
  EXPECT_EQ(Le32(f, idx + 8 + 16 + 8), 921612u);  // second chunk
}

TEST(AviWriter, FinishPatchesSizesCountsTimingAndIndex) {
  const std::string path = ScratchPath("thirty.avi");
  // 30 frames over 1000 ms: the caller's rate is 30 x 100,000 / 1000.
  const int width = 20, height = 6, frames = 30;
  const auto written = Record(path, width, height, frames, 3000);
  const std::vector<uint8_t> b = ReadAll(path);
  const size_t s = StrideOf(width) * height;
  ASSERT_EQ(b.size(), 232 + frames * (s + 8) + 8 + 16 * frames);
  EXPECT_EQ(Le32(b, 4), b.size() - 8);
  EXPECT_EQ(Le32(b, 224), 4 + frames * (s + 8));
  EXPECT_EQ(Le32(b, 32), 33333u);    // microseconds per frame
  EXPECT_EQ(Le32(b, 128), 333333u);  // stream scale; rate 10,000,000: 30 frames per second
  EXPECT_EQ(Le32(b, 132), 10000000u);
  EXPECT_EQ(Le32(b, 36), (s + 8) * 30);  // what a reader must sustain at the measured rate
  EXPECT_EQ(Le32(b, 48), 30u);
  EXPECT_EQ(Le32(b, 140), 30u);

  const size_t idx = 232 + frames * (s + 8);
  EXPECT_EQ(Tag(b, idx), "idx1");
  EXPECT_EQ(Le32(b, idx + 4), 16u * frames);
  for (int i = 0; i < frames; ++i) {
    const size_t entry = idx + 8 + 16 * i;
    const size_t chunk = 232 + i * (s + 8);
    EXPECT_EQ(Tag(b, entry), "00db");
    EXPECT_EQ(Le32(b, entry + 4), 16u);
    EXPECT_EQ(Le32(b, entry + 8), chunk - 228) << i;
    EXPECT_EQ(Le32(b, entry + 12), s);
    ASSERT_EQ(Tag(b, chunk), "00db");
    EXPECT_EQ(Le32(b, chunk + 4), s);
    EXPECT_EQ(0, std::memcmp(b.data() + chunk + 8, written[i].data(), s)) << "frame " << i;
  }
}

TEST(AviWriter, RowsKeepTheirPaddingAndTheIndexGrowsPastItsFirstCapacity) {
  // 642 pixels: 1926 bytes of pixels raised to 1928 per row.
  const std::string wide = ScratchPath("wide.avi");
  const auto written = Record(wide, 642, 3, 2, 2500);
  const std::vector<uint8_t> b = ReadAll(wide);
  EXPECT_EQ(Le32(b, 236), 1928u * 3);
  EXPECT_EQ(0, std::memcmp(b.data() + 240, written[0].data(), 1928 * 3));

  // Many small frames: the index grows several times and keeps every entry.
  const std::string many = ScratchPath("many.avi");
  const int frames = 1000;
  Record(many, 1, 1, frames, 100);
  const std::vector<uint8_t> m = ReadAll(many);
  const size_t idx = 232 + frames * 12;
  ASSERT_EQ(m.size(), idx + 8 + 16 * frames);
  for (int i = 0; i < frames; ++i) ASSERT_EQ(Le32(m, idx + 8 + 16 * i + 8), 4u + 12u * i) << i;
}

TEST(AviWriter, SlowRatesAndMisuseGiveSoundResults) {
  // Under one frame per 100 s the measured rate is 0: the header says the
  // slowest rate it can, 0.01 frames per second, instead of dividing by 0.
  const std::string slow = ScratchPath("slow.avi");
  Record(slow, 4, 2, 1, 0);
  const std::vector<uint8_t> b = ReadAll(slow);
  EXPECT_EQ(Le32(b, 32), 100000000u);
  EXPECT_EQ(Le32(b, 128), 1000000000u);

  AviWriter avi;
  EXPECT_EQ(avi.Finish(), -1);  // never created
  const uint8_t pixel[4] = {};
  EXPECT_EQ(avi.WriteFrame(pixel), -1);
  avi.SetFrameRate(30);
  avi.SetFrameSize(0, 10);
  EXPECT_EQ(avi.Create(ScratchPath("zero.avi").c_str()), 0);
  avi.SetFrameSize(1, 1);
  avi.SetFrameRate(0);
  EXPECT_EQ(avi.Create(ScratchPath("norate.avi").c_str()), 0);
  avi.SetFrameRate(30);
  EXPECT_EQ(avi.Create(nullptr), 0);
  EXPECT_EQ(avi.Create("/nonexistent-dir-h8/x.avi"), 0);
  EXPECT_FALSE(avi.isOpen());

  // A second Create starts a new file with an empty index.
  ASSERT_EQ(avi.Create(ScratchPath("first.avi").c_str()), 1);
  EXPECT_EQ(avi.WriteFrame(pixel), 0);
  EXPECT_EQ(avi.WriteFrame(nullptr), -1);
  const std::string second = ScratchPath("second.avi");
  ASSERT_EQ(avi.Create(second.c_str()), 1);
  EXPECT_EQ(avi.framesWritten(), 0u);
  EXPECT_EQ(avi.WriteFrame(pixel), 0);
  avi.SetFrameRate(3000);
  EXPECT_EQ(avi.Finish(), 0);
  EXPECT_EQ(ReadAll(second).size(), 232u + 12 + 8 + 16);
}

// Checks the finished file's own sizes against its length and frame count.
void ExpectConsistentFile(const std::vector<uint8_t> &b, uint32_t frames, size_t chunkBytes) {
  ASSERT_EQ(b.size(), 232 + frames * chunkBytes + 8 + 16 * frames);
  EXPECT_EQ(Le32(b, 4), b.size() - 8);
  EXPECT_EQ(Le32(b, 224), 4 + frames * chunkBytes);
  EXPECT_EQ(Le32(b, 48), frames);
  EXPECT_EQ(Le32(b, 140), frames);
  EXPECT_EQ(Tag(b, 232 + frames * chunkBytes), "idx1");
}

TEST(AviWriter, FailedWritesAreReportedAndTheFileStaysReadable) {
  // 8 x 4 frames: S = 96, chunks of 104 bytes. A file-size limit of 490
  // bytes takes two frames; the third fails part way.
  struct LimitGuard {
    rlimit old{};
    void (*oldHandler)(int) = nullptr;
    explicit LimitGuard(rlim_t bytes) {
      getrlimit(RLIMIT_FSIZE, &old);
      oldHandler = signal(SIGXFSZ, SIG_IGN);
      rlimit small = old;
      small.rlim_cur = bytes;
      setrlimit(RLIMIT_FSIZE, &small);
    }
    ~LimitGuard() {
      setrlimit(RLIMIT_FSIZE, &old);
      signal(SIGXFSZ, oldHandler);
    }
  };
  const std::string path = ScratchPath("full.avi");
  const std::vector<uint8_t> frame = MakeFrame(8, 4, 0);
  int results[4] = {};
  int finished = 0;
  int error = 0;
  {
    LimitGuard guard(490);
    AviWriter avi;
    avi.SetFrameSize(8, 4);
    avi.SetFrameRate(30);
    ASSERT_EQ(avi.Create(path.c_str()), 1);
    for (int &r : results) r = avi.WriteFrame(frame.data());
    avi.SetFrameRate(3000);
    finished = avi.Finish();
    error = avi.lastError();
  }
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
  EXPECT_EQ(results[2], -1);
  EXPECT_EQ(results[3], -1);  // no frames after a failure
  EXPECT_EQ(finished, -1);
  EXPECT_EQ(error, EFBIG);
  ExpectConsistentFile(ReadAll(path), 2, 104);

  // A file-size cap refuses the frame that would pass it, before writing.
  const std::string capped = ScratchPath("capped.avi");
  AviWriter small(232 + 3 * 104 + 8 + 16 * 3);
  small.SetFrameSize(8, 4);
  small.SetFrameRate(30);
  ASSERT_EQ(small.Create(capped.c_str()), 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(small.WriteFrame(frame.data()), 0) << i;
  EXPECT_EQ(small.WriteFrame(frame.data()), -1);
  small.SetFrameRate(3000);
  EXPECT_EQ(small.Finish(), -1);
  ExpectConsistentFile(ReadAll(capped), 3, 104);

  if (std::filesystem::exists("/dev/full")) {
    AviWriter full;
    full.SetFrameSize(8, 4);
    full.SetFrameRate(30);
    EXPECT_EQ(full.Create("/dev/full"), 0);
    EXPECT_FALSE(full.isOpen());
  }
}

bool HaveFfmpeg() {
  return std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") == 0;
}

std::string RunCapture(const std::string &command) {
  std::string out;
  if (std::FILE *pipe = popen(command.c_str(), "r")) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

TEST(AviWriter, FfmpegDecodesEveryFrameTopLineFirst) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg and ffprobe are not on PATH; the independent decode is skipped";
  // An odd width, so that every row carries padding.
  const int width = 35, height = 9, frames = 6;
  const std::string path = ScratchPath("decode.avi");
  const auto written = Record(path, width, height, frames, 2500);

  const std::string probe = RunCapture(
      "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
      "stream=width,height,r_frame_rate,nb_read_frames -of default=nw=1 '" +
      path + "'");
  EXPECT_NE(probe.find("width=35"), std::string::npos) << probe;
  EXPECT_NE(probe.find("height=9"), std::string::npos) << probe;
  EXPECT_NE(probe.find("r_frame_rate=25/1"), std::string::npos) << probe;
  EXPECT_NE(probe.find("nb_read_frames=6"), std::string::npos) << probe;

  const std::string raw =
      RunCapture("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt bgr24 -vsync passthrough -");
  const size_t rowBytes = 3 * width;
  ASSERT_EQ(raw.size(), rowBytes * height * frames);
  for (int f = 0; f < frames; ++f) {
    for (int y = 0; y < height; ++y) {
      // The chunks hold rows bottom line first; the decoder gives the top
      // line first, so decoded row y is stored row height - 1 - y.
      const uint8_t *stored = written[f].data() + (height - 1 - y) * StrideOf(width);
      ASSERT_EQ(0, std::memcmp(raw.data() + (static_cast<size_t>(f) * height + y) * rowBytes, stored, rowBytes))
          << "frame " << f << " row " << y;
    }
  }
}

}  // namespace
}  // namespace quorel
