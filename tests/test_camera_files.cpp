// Still images and AVI recordings made through the camera on the virtual
// camera: what the save checks, that the file holds the converted image, and
// that a recording finishes by itself while preview goes on.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "support/TestEnvironment.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

std::vector<unsigned char> ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t U32(const std::vector<unsigned char> &b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

class CameraFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    quorel::test::UseFreshRegistry();
    ASSERT_EQ(QuorelSim_Enable("units=0;fps=max;scene=chart"), 1);
    handle_ = Quorel_Initialize(nullptr);
    ASSERT_NE(handle_, 0);
    ASSERT_EQ(Quorel_SetCaptureWindowEx(handle_, 3488, 0, kWidth, 2616, 0, kHeight), 1);
    ASSERT_EQ(Quorel_SetPreviewWindow(handle_, nullptr, 0, 0, 0, 0), 1);
  }
  void TearDown() override { Quorel_Release(handle_); }
  int handle_ = 0;
};

TEST_F(CameraFiles, SaveNeedsAConvertedFrameAndWritesIt) {
  const std::string bmp = quorel::test::ScratchPath("frame.bmp");
  EXPECT_EQ(Quorel_SaveImage(handle_, bmp.c_str(), 0), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 1);

  ASSERT_EQ(Quorel_SetColorMode(handle_, 24), 1);
  const int stride = (kWidth * 3 + 3) & ~3;
  std::vector<unsigned char> image(static_cast<size_t>(stride) * kHeight);
  ASSERT_EQ(Quorel_SnapShot(handle_, image.data(), static_cast<int>(image.size()), 0), 1);
  ASSERT_EQ(Quorel_SaveImage(handle_, bmp.c_str(), 0), 1);
  const auto file = ReadFile(bmp);
  ASSERT_EQ(file.size(), 54 + image.size());
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  // Both are bottom line first: the file's pixels are the snapshot's.
  EXPECT_TRUE(std::equal(image.begin(), image.end(), file.begin() + 54));

  // Unknown file types write nothing and record nothing.
  const std::string other = quorel::test::ScratchPath("frame.xyz");
  EXPECT_EQ(Quorel_SaveImage(handle_, other.c_str(), 7), 0);
  EXPECT_EQ(Quorel_SaveImage(handle_, other.c_str(), -1), 0);
  EXPECT_TRUE(ReadFile(other).empty());
  EXPECT_EQ(Quorel_GetLastError(handle_), 0);

  const std::string raw = quorel::test::ScratchPath("frame.raw");
  const std::wstring wideRaw(raw.begin(), raw.end());
  ASSERT_EQ(Quorel_SaveImageW(handle_, wideRaw.c_str(), 1), 1);
  EXPECT_EQ(ReadFile(raw).size(), image.size());

  // A directory as the file name, and a wide name that cannot fit the
  // 1024-byte narrow buffer, fail without a crash.
  EXPECT_EQ(Quorel_SaveImage(handle_, quorel::test::ScratchDir().c_str(), 0), 0);
  EXPECT_EQ(Quorel_SaveImage(handle_, quorel::test::ScratchDir().c_str(), 5), 0);
  const std::wstring tooLong(1025, L'a');
  EXPECT_EQ(Quorel_SaveImageW(handle_, tooLong.c_str(), 0), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 1);

  // After Close no frame counts as converted.
  ASSERT_EQ(Quorel_Close(handle_), 1);
  EXPECT_EQ(Quorel_SaveImage(handle_, bmp.c_str(), 0), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 1);
}

// A recording whose file can take no more frames (the AVI format's 4 GiB,
// here a file-size limit of about four frames) used to keep "recording"
// into nothing until its duration ended. It now stops at once, finishes the
// file with the frames it holds and reports code 12.
TEST_F(CameraFiles, RecordingThatRunsOutOfRoomIsFinishedAndReported) {
  ASSERT_EQ(Quorel_SetColorMode(handle_, 24), 1);
  const std::string avi = quorel::test::ScratchPath("limited.avi");
  const size_t chunk = 8 + static_cast<size_t>((kWidth * 3 + 3) & ~3) * kHeight;
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 232 + 4 * chunk + chunk / 2;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ASSERT_EQ(Quorel_Record(handle_, avi.c_str(), 600000, 0), 1);
  int code = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (code != 12 && std::chrono::steady_clock::now() < deadline) {
    code = Quorel_GetLastError(handle_);
    if (code == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  ASSERT_EQ(code, 12);

  const std::vector<unsigned char> file = ReadFile(avi);
  ASSERT_GE(file.size(), 240U);
  EXPECT_EQ(U32(file, 4), file.size() - 8);
  const uint32_t frames = U32(file, 48);
  EXPECT_EQ(frames, 4u);
  EXPECT_EQ(file.size(), 232 + frames * chunk + 8 + 16 * frames);
  EXPECT_GT(U32(file, 32), 0u) << "a frame rate from the elapsed time";
  // The recording is over: another one may start.
  EXPECT_EQ(Quorel_Record(handle_, quorel::test::ScratchPath("next.avi").c_str(), 100, 0), 1);
  Quorel_StopPreview(handle_);
}

TEST_F(CameraFiles, RecordingStopsByItselfAndPreviewGoesOn) {
  ASSERT_EQ(Quorel_SetColorMode(handle_, 16), 1);
  EXPECT_EQ(Quorel_Record(handle_, "", 500, 0), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 9);

  const std::string avi = quorel::test::ScratchPath("clip.avi");
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Quorel_Record(handle_, avi.c_str(), 2000, 0), 1);
  EXPECT_EQ(Quorel_Record(handle_, avi.c_str(), 2000, 0), 0) << "one recording at a time";
  EXPECT_EQ(Quorel_GetLastError(handle_), 1);

  // The file is complete once its index is written and the RIFF size patched.
  std::vector<unsigned char> file;
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
    file = ReadFile(avi);
    const char *tag = "idx1";
    if (file.size() > 8 && U32(file, 4) == file.size() - 8 &&
        std::search(file.begin(), file.end(), tag, tag + 4) != file.end()) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(2000));
  ASSERT_GE(file.size(), 240U);
  EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
  EXPECT_EQ(U32(file, 4), file.size() - 8);

  // Preview still runs: a capture request conflicts with it.
  EXPECT_EQ(Quorel_Capture(handle_), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 1);
  ASSERT_EQ(Quorel_StopPreview(handle_), 1);

  // A 16-bit gray frame is recorded as sample / 16 in all three channels.
  const int grayStride = (kWidth * 2 + 3) & ~3;
  std::vector<unsigned char> gray(static_cast<size_t>(grayStride) * kHeight);
  ASSERT_EQ(Quorel_GetImage(handle_, gray.data(), static_cast<int>(gray.size()), 0), 1);  // bottom line first
  const char *chunk = "00db";
  auto at = std::search(file.begin(), file.end(), chunk, chunk + 4);
  ASSERT_NE(at, file.end());
  const size_t data = static_cast<size_t>(at - file.begin()) + 8;
  const size_t frameStride = (kWidth * 3 + 3) & ~3;
  ASSERT_EQ(U32(file, data - 4), frameStride * kHeight);
  // The chart is still, so the last image equals the first recorded one.
  for (int row = 0; row < kHeight; row += 37) {
    for (int x = 0; x < kWidth; x += 13) {
      const size_t g = static_cast<size_t>(row) * grayStride + 2 * x;
      const int sample = gray[g] | gray[g + 1] << 8;
      const size_t p = data + static_cast<size_t>(row) * frameStride + 3 * x;
      ASSERT_EQ(file[p], (sample >> 4) & 0xFF) << row << "," << x;
      ASSERT_EQ(file[p + 1], file[p]);
      ASSERT_EQ(file[p + 2], file[p]);
    }
  }
}

}  // namespace
