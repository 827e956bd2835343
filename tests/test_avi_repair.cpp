// Recordings whose process died before finishing them: the repair keeps
// every whole frame, cuts a partial one, and leaves a file that ffprobe
// reads with the frame count its headers state.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "output/AviRepair.h"
#include "output/AviWriter.h"
#include "support/TestEnvironment.h"

namespace quorel {
namespace {

std::vector<uint8_t> ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::vector<uint8_t> &b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

std::string RunCapture(const std::string &command) {
  std::string out;
  if (std::FILE *pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// Frames ffprobe decodes, or -1 without ffprobe.
int ProbedFrames(const std::string &path) {
  if (std::system("command -v ffprobe >/dev/null 2>&1") != 0) return -1;
  const std::string out = RunCapture(
      "ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames -of csv=p=0 '" + path +
      "'");
  return std::atoi(out.c_str());
}

TEST(AviRepair, UnfinishedFileKeepsItsWholeFramesAndDropsAPartialOne) {
  const std::string path = test::ScratchPath("unfinished.avi");
  const int width = 35, height = 9;
  const size_t frameBytes = ((3 * width + 3) & ~3) * height;
  {
    AviWriter avi;
    avi.SetFrameSize(width, height);
    avi.SetFrameRate(25);
    ASSERT_EQ(avi.Create(path.c_str()), 1);
    std::vector<uint8_t> frame(frameBytes);
    for (int f = 0; f < 5; ++f) {
      for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7 + f);
      ASSERT_EQ(avi.WriteFrame(frame.data()), 0);
    }
  }  // destroyed unfinished, as by a crash
  {
    std::ofstream tail(path, std::ios::binary | std::ios::app);
    tail << "00db" << std::string(4, '\0') << std::string(frameBytes / 2, 'x');  // a torn sixth frame
  }
  const AviRepairResult result = RepairAvi(path.c_str());
  ASSERT_TRUE(result.repaired) << result.why;
  EXPECT_EQ(result.frames, 5u);
  const std::vector<uint8_t> file = ReadAll(path);
  const size_t chunk = frameBytes + 8;
  ASSERT_EQ(file.size(), AviWriter::kHeaderBytes + 5 * chunk + 8 + 5 * 16);
  EXPECT_EQ(Le32(file, 4), file.size() - 8);
  EXPECT_EQ(Le32(file, 48), 5u);
  EXPECT_EQ(Le32(file, 224), 4 + 5 * chunk);
  const size_t index = AviWriter::kHeaderBytes + 5 * chunk;
  EXPECT_EQ(std::string(file.begin() + static_cast<long>(index), file.begin() + static_cast<long>(index) + 4), "idx1");
  EXPECT_EQ(Le32(file, index + 8 + 4 * 16 + 8), 4 + 4 * chunk) << "the last entry's offset";
  const int probed = ProbedFrames(path);
  if (probed >= 0) {
    EXPECT_EQ(probed, 5);
  }

  // Repairing again changes nothing; a file of another kind is left alone.
  EXPECT_EQ(RepairAvi(path.c_str()).frames, 5u);
  EXPECT_EQ(ReadAll(path), file);
  const std::string other = test::ScratchPath("other.avi");
  std::ofstream(other) << std::string(400, 'z');
  EXPECT_FALSE(RepairAvi(other.c_str()).repaired);
  EXPECT_EQ(ReadAll(other), std::vector<uint8_t>(400, 'z'));
  EXPECT_FALSE(RepairAvi("/dev/null").repaired);
}

// A recording process killed outright: what it wrote is recovered.
TEST(AviRepair, RecordingKilledMidwayIsRecoveredAndDecodes) {
  test::UseFreshRegistry();
  const std::string path = test::ScratchPath("killed.avi");
  const size_t chunk = 8 + static_cast<size_t>((320 * 3 + 3) & ~3) * 240;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(ready[0]);
    if (QuorelSim_Enable("units=0;fps=max;scene=chart") != 1) _exit(2);
    const int h = Quorel_Initialize(nullptr);
    if (h == 0 || Quorel_SetCaptureWindowEx(h, 3488, 0, 320, 2616, 0, 240) != 1 ||
        Quorel_SetPreviewWindow(h, nullptr, 0, 0, 0, 0) != 1 || Quorel_SetColorMode(h, 24) != 1 ||
        Quorel_Record(h, path.c_str(), 600000, 0) != 1) {
      _exit(3);
    }
    for (;;) {
      struct stat st {};
      if (stat(path.c_str(), &st) == 0 && static_cast<size_t>(st.st_size) >= AviWriter::kHeaderBytes + 3 * chunk) {
        if (write(ready[1], "x", 1) != 1) _exit(4);
        for (;;) pause();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  close(ready[1]);
  char byte = 0;
  const bool started = read(ready[0], &byte, 1) == 1;
  close(ready[0]);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(started) << "the recording child ended early: " << status;

  EXPECT_EQ(Le32(ReadAll(path), 48), 0u) << "unfinished: no frame count yet";
  const AviRepairResult result = RepairAvi(path.c_str());
  ASSERT_TRUE(result.repaired) << result.why;
  EXPECT_GE(result.frames, 3u);
  const std::vector<uint8_t> file = ReadAll(path);
  EXPECT_EQ(Le32(file, 48), result.frames);
  EXPECT_EQ(Le32(file, 4), file.size() - 8);
  const int probed = ProbedFrames(path);
  if (probed >= 0) {
    EXPECT_EQ(probed, static_cast<int>(result.frames));
  }
}

}  // namespace
}  // namespace quorel
