// Paths that name something other than a regular file: FIFOs, device nodes,
// directories. No reader or writer of user-named files may block on one,
// read one without end, or report writing into one as a saved file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/sim/SimFrameGenerator.h"
#include "device/sim/SimPicture.h"
#include "image/DibImage.h"
#include "output/AviWriter.h"
#include "output/StillImageWriter.h"
#include "platform/DebugLog.h"
#include "platform/SafeFile.h"
#include "support/TestEnvironment.h"
#include "tests/fakes/FakeSensorView.h"

namespace quorel {
namespace {

namespace fs = std::filesystem;

std::string MakeFifo(const std::string &name) {
  std::string path = test::ScratchPath(name);
  EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
  return path;
}

// Without O_NONBLOCK every one of these waited for ever for the FIFO's other
// end (Quorel_SaveImage and Quorel_Record held the frame lock meanwhile);
// /dev/full took a BMP and reported it saved.
TEST(SpecialFiles, StillImagesAndRecordingsRefuseFifosAndDevices) {
  const std::string fifo = MakeFifo("out.fifo");
  const std::string dir = test::ScratchPath("out.dir");
  ASSERT_TRUE(fs::create_directory(dir));
  DibImage image;
  ASSERT_EQ(image.Create(16, 8, 24), 1);
  std::vector<std::string> targets = {fifo, dir};
  if (fs::exists("/dev/full")) targets.push_back("/dev/full");
  for (const std::string &target : targets) {
    SCOPED_TRACE(target);
    for (int type = kStillBmp; type <= kStillTiff; ++type) {
      EXPECT_EQ(SaveStillImage(&image, target.c_str(), type).saved, 0) << "type " << type;
    }
    AviWriter avi;
    avi.SetFrameSize(16, 8);
    avi.SetFrameRate(10);
    EXPECT_EQ(avi.Create(target.c_str()), 0);
    EXPECT_EQ(avi.lastError(), EINVAL);
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_directory(dir));

  // A regular file is still replaced as before, and a new one is created.
  const std::string file = test::ScratchPath("out.bmp");
  std::ofstream(file) << std::string(100000, 'x');
  EXPECT_EQ(SaveStillImage(&image, file.c_str(), kStillBmp).saved, 1);
  EXPECT_EQ(fs::file_size(file), 54u + 16u * 8u * 3u);
}

TEST(SpecialFiles, WriterOpenTruncatesOnlyRegularFiles) {
  const std::string file = test::ScratchPath("plain.bin");
  std::ofstream(file) << "old contents";
  const int fd = OpenRegularFileForWriting(file.c_str());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(write(fd, "new", 3), 3);
  close(fd);
  EXPECT_EQ(fs::file_size(file), 3u);
  EXPECT_LT(OpenRegularFileForWriting("/dev/null"), 0);
  EXPECT_EQ(errno, EINVAL);
}

// QUOREL_DEBUG_FILE naming a FIFO nobody reads made Quorel_Initialize wait
// for ever; the log now falls back to stderr.
TEST(SpecialFiles, DebugLogToAFifoWithoutReaderFallsBackToStderr) {
  const std::string fifo = MakeFifo("log.fifo");
  testing::internal::CaptureStderr();
  LogConfigure("sim:1", fifo.c_str());
  LogPrint(LogCategory::kSim, 1, "still logging");
  LogConfigure(nullptr, nullptr);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("still logging"), std::string::npos) << err;
}

// Scene files are read whole: a FIFO hung Quorel_SnapShot and /dev/zero was
// read without end (1 GB after two minutes). Both are refused at once.
TEST(SpecialFiles, SceneFilesMustBeRegularFiles) {
  const std::string fifo = MakeFifo("scene.fifo");
  test::FakeSensorView view;
  view.SetWindow(0, 0, 64, 32, 0);
  std::vector<uint8_t> out(sim::ProgrammedTransferBytes(view));
  for (const std::string &path : {fifo, std::string("/dev/zero")}) {
    SCOPED_TRACE(path);
    for (sim::SceneKind kind : {sim::SceneKind::kRaw, sim::SceneKind::kImage}) {
      sim::SimSceneSettings scene;
      scene.kind = kind;
      scene.file = path;
      sim::SimFrameGenerator generator(scene);
      std::string error;
      EXPECT_FALSE(generator.Render(view, 0, out.data(), out.size(), &error));
      EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    }
  }
  // A regular file beyond the largest picture is refused without reading it.
  const std::string huge = test::ScratchPath("huge.ppm");
  ASSERT_EQ(truncate(huge.c_str(), 0), -1);  // not there yet
  std::ofstream(huge).close();
  ASSERT_EQ(truncate(huge.c_str(), off_t{3488} * 2616 * 6 + 8192), 0);
  sim::SimPicture picture;
  std::string error;
  EXPECT_FALSE(sim::LoadSimPicture(huge, &picture, &error));
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

}  // namespace
}  // namespace quorel
