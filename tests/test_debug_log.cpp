// The debug log's configuration syntax and output, and the error-code table
// it names codes from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "QuorelErrorText.h"
#include "QuorelSdk_470KX_PLU.h"
#include "platform/DebugLog.h"
#include "platform/ErrorCodes.h"
#include "support/TestEnvironment.h"

namespace quorel {
namespace {

std::vector<std::string> ReadLines(const std::string &path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class DebugLogTest : public testing::Test {
 protected:
  void TearDown() override { LogConfigure(nullptr, nullptr); }
};

TEST_F(DebugLogTest, CategoryLevelsFollowTheList) {
  LogConfigure(nullptr, nullptr);
  for (int c = 0; c < kLogCategoryCount; ++c) EXPECT_FALSE(LogEnabled(static_cast<LogCategory>(c), 1));

  LogConfigure("device:2,transfer:3", nullptr);
  EXPECT_TRUE(LogEnabled(LogCategory::kDevice, 1));
  EXPECT_TRUE(LogEnabled(LogCategory::kDevice, 2));
  EXPECT_FALSE(LogEnabled(LogCategory::kDevice, 3));
  EXPECT_TRUE(LogEnabled(LogCategory::kTransfer, 3));
  EXPECT_FALSE(LogEnabled(LogCategory::kApi, 1));
  EXPECT_FALSE(LogEnabled(LogCategory::kDevice, 0));

  LogConfigure("errors", nullptr);
  EXPECT_TRUE(LogEnabled(LogCategory::kErrors, 1));
  EXPECT_FALSE(LogEnabled(LogCategory::kErrors, 2));
  EXPECT_FALSE(LogEnabled(LogCategory::kDevice, 1)) << "a new configuration replaces the old one";

  LogConfigure("all", nullptr);
  for (int c = 0; c < kLogCategoryCount; ++c) {
    EXPECT_TRUE(LogEnabled(static_cast<LogCategory>(c), 1)) << LogCategoryName(static_cast<LogCategory>(c));
    EXPECT_FALSE(LogEnabled(static_cast<LogCategory>(c), 2));
  }

  LogConfigure(" all:2 , image:0,sim:99", nullptr);
  EXPECT_TRUE(LogEnabled(LogCategory::kDialogs, 2));
  EXPECT_FALSE(LogEnabled(LogCategory::kImage, 1));
  EXPECT_TRUE(LogEnabled(LogCategory::kSim, kLogMaxLevel));

  LogConfigure("bogus:2,device:x,table:2", nullptr);
  EXPECT_TRUE(LogEnabled(LogCategory::kTable, 2));
  EXPECT_FALSE(LogEnabled(LogCategory::kDevice, 1));
}

// A typo is told on stderr once, not ignored in silence, and the rest of the
// selection still applies.
TEST_F(DebugLogTest, UnknownCategoriesAndMalformedItemsWarnOnce) {
  testing::internal::CaptureStderr();
  LogConfigure("devise:2,transfer:x,table:2", nullptr);
  LogConfigure("devise:2,transfer:x,table:2", nullptr);
  LogConfigure("image:1", nullptr);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("QUOREL_DEBUG: unknown category \"devise\" ignored; categories are api errors"), std::string::npos)
      << err;
  EXPECT_NE(err.find("QUOREL_DEBUG: malformed entry \"transfer:x\" ignored"), std::string::npos) << err;
  EXPECT_EQ(err.find("devise"), err.rfind("devise")) << "warned more than once:\n" << err;
  EXPECT_TRUE(LogEnabled(LogCategory::kImage, 1));
  LogConfigure("devise:2,table:2", nullptr);
  EXPECT_TRUE(LogEnabled(LogCategory::kTable, 2));
}

// At level 3 every export's line shows its arguments by name: input strings
// in full, buffers by address only. A copy that does not fit the
// application's buffer is logged with both sizes.
TEST_F(DebugLogTest, ApiLinesShowTheArgumentsAndFailedCopiesTheSizes) {
  const std::string file = test::ScratchPath("api.log");
  LogConfigure("api:3,image:1", file.c_str());
  const int h = Quorel_Initialize(nullptr);
  ASSERT_NE(h, 0);
  Quorel_SetRealExposureTime(h, 600000);
  Quorel_SaveImage(h, "/no/such/dir/x.png", QUOREL_FILE_PNG);
  char name[32] = "not read by the log";
  Quorel_GetDeviceName(h, 0, name, static_cast<int>(sizeof name));
  unsigned char small[16];
  ASSERT_EQ(Quorel_SetSubSample(h, 18), 1);
  ASSERT_EQ(Quorel_SetColorMode(h, 24), 1);
  EXPECT_EQ(Quorel_SnapShot(h, small, static_cast<int>(sizeof small), 1), 0);
  Quorel_Release(h);
  LogConfigure(nullptr, nullptr);
  std::string text;
  for (const std::string &line : ReadLines(file)) text += line + "\n";
  const std::string handle = "(h=" + std::to_string(h);
  EXPECT_NE(text.find("Quorel_Initialize" + handle + ", notifyWindow="), std::string::npos) << text;
  EXPECT_NE(text.find("Quorel_SetRealExposureTime" + handle + ", microseconds=600000) = "), std::string::npos) << text;
  EXPECT_NE(text.find("Quorel_SaveImage" + handle + ", fileName=\"/no/such/dir/x.png\", fileType=5) = 0"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Quorel_GetDeviceName" + handle + ", index=0, name=0x"), std::string::npos) << text;
  EXPECT_EQ(text.find("not read by the log"), std::string::npos) << text;
  // 872 x 654 pixels of 3 bytes: rows of 2616 bytes.
  EXPECT_NE(text.find("image:1 frame not copied to the application: buffer of 16 bytes, frame of 1710864 (2616 x 654)"),
            std::string::npos)
      << text;
}

TEST_F(DebugLogTest, LinesCarryTimeThreadCategoryAndText) {
  const std::string path = test::ScratchPath("log.txt");
  LogConfigure("device:2", path.c_str());
  LogPrint(LogCategory::kDevice, 2, "request %d of %s", 7, "unit 0");
  LogPrint(LogCategory::kDevice, 3, "too detailed");
  LogPrint(LogCategory::kTransfer, 1, "other category");
  LogPrint(LogCategory::kDevice, 1, "ends with newline\n");

  const auto lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 2u);
  const std::regex shape(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[tid \d+\] device:2 request 7 of unit 0)");
  EXPECT_TRUE(std::regex_match(lines[0], shape)) << lines[0];
  EXPECT_NE(lines[1].find("device:1 ends with newline"), std::string::npos) << lines[1];
}

TEST_F(DebugLogTest, RecordedErrorsNameTheCodeAndTheOperation) {
  const std::string path = test::ScratchPath("errors.txt");
  LogConfigure("errors", path.c_str());
  LogRecordedError(9, "Quorel_SetColorMode");
  LogRecordedError(42, nullptr);
  const auto lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("Quorel_SetColorMode recorded error 9 QUOREL_ERR_ARGUMENT (invalid argument)"),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[1].find("unknown error"), std::string::npos) << lines[1];

  LogConfigure("device", path.c_str());
  LogRecordedError(5, "Quorel_SnapShot");
  EXPECT_EQ(ReadLines(path).size(), 2u) << "errors category is off";
}

TEST_F(DebugLogTest, EnvironmentChoosesCategoriesAndFile) {
  const std::string path = test::ScratchPath("env.txt");
  setenv("QUOREL_DEBUG", "sim:2", 1);
  setenv("QUOREL_DEBUG_FILE", path.c_str(), 1);
  LogReloadFromEnvironment();
  unsetenv("QUOREL_DEBUG");
  unsetenv("QUOREL_DEBUG_FILE");
  LogPrint(LogCategory::kSim, 2, "from the environment");
  const auto lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("sim:2 from the environment"), std::string::npos);
}

TEST_F(DebugLogTest, LinesOfConcurrentThreadsStayWhole) {
  const std::string path = test::ScratchPath("threads.txt");
  LogConfigure("transfer:1", path.c_str());
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  const std::string payload(300, 'x');
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &payload] {
      for (int i = 0; i < kLines; ++i) LogPrint(LogCategory::kTransfer, 1, "T%d %s end", t, payload.c_str());
    });
  }
  for (auto &th : threads) th.join();
  const auto lines = ReadLines(path);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  const std::regex whole(R"(.* transfer:1 T\d x{300} end)");
  for (const auto &line : lines) ASSERT_TRUE(std::regex_match(line, whole)) << line;
}

TEST_F(DebugLogTest, OverlongTextIsCutToOneLine) {
  const std::string path = test::ScratchPath("long.txt");
  LogConfigure("image", path.c_str());
  const std::string huge(10000, 'y');
  LogPrint(LogCategory::kImage, 1, "%s", huge.c_str());
  const auto lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_GT(lines[0].size(), 1000u);
  EXPECT_LT(lines[0].size(), huge.size());
}

TEST(ErrorCodes, NamesMatchThePublicConstants) {
#define EXPECT_CODE_NAME(macro) EXPECT_STREQ(ErrorCodeName(macro), #macro)
  EXPECT_CODE_NAME(QUOREL_ERR_NONE);
  EXPECT_CODE_NAME(QUOREL_ERR_NOT_READY);
  EXPECT_CODE_NAME(QUOREL_ERR_NO_CAMERA);
  EXPECT_CODE_NAME(QUOREL_ERR_THREAD);
  EXPECT_CODE_NAME(QUOREL_ERR_WINDOW);
  EXPECT_CODE_NAME(QUOREL_ERR_MEMORY);
  EXPECT_CODE_NAME(QUOREL_ERR_DEVICE);
  EXPECT_CODE_NAME(QUOREL_ERR_GEOMETRY);
  EXPECT_CODE_NAME(QUOREL_ERR_FRAME);
  EXPECT_CODE_NAME(QUOREL_ERR_ARGUMENT);
  EXPECT_CODE_NAME(QUOREL_ERR_UNUSED);
  EXPECT_CODE_NAME(QUOREL_ERR_NOT_SUPPORTED);
  EXPECT_CODE_NAME(QUOREL_ERR_FILE);
  EXPECT_CODE_NAME(QUOREL_ERR_TRANSFER_STOPPED);
#undef EXPECT_CODE_NAME
}

TEST(ErrorCodes, CodesOutsideTheTableAreUnknown) {
  for (int code : {-1, 14, 1000}) {
    EXPECT_STREQ(ErrorCodeName(code), "unknown error");
    EXPECT_STREQ(ErrorCodeMeaning(code), "unknown error");
    EXPECT_STREQ(error_text::Name(code), "unknown error");
  }
}

// The tools' generated copy says what the library's table says.
TEST(ErrorCodes, PublicProgramsCopyIsTheLibrarysTable) {
  ASSERT_EQ(error_text::kCount, kErrorCodeCount);
  for (int code = 0; code < kErrorCodeCount; ++code) {
    EXPECT_STREQ(error_text::Name(code), ErrorCodeName(code));
    EXPECT_STREQ(error_text::Meaning(code), ErrorCodeMeaning(code));
  }
}

}  // namespace
}  // namespace quorel
