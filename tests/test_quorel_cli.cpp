// The quorel tool run as a child process against the virtual camera: help
// and usage errors, exit codes, the library's answers as the tool prints
// them, and settings written where the library reads them.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestEnvironment.h"

namespace {

using quorel::test::ScratchPath;

const char kTool[] = QUOREL_BINARY_DIR "/tools/quorel";

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the tool with the test process's environment (its own registry file
// and shared-memory name, and the virtual camera), output captured in files.
ToolRun RunTool(const std::vector<std::string> &args) {
  static int counter = 0;
  const std::string outPath = ScratchPath("cli-out-" + std::to_string(counter));
  const std::string errPath = ScratchPath("cli-err-" + std::to_string(counter++));
  setenv("QUOREL_DRIVER", "sim", 1);
  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(kTool));
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) _exit(127);
    execv(kTool, argv.data());
    _exit(127);
  }
  ToolRun run;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  run.out = ReadFile(outPath);
  run.err = ReadFile(errPath);
  return run;
}

bool Contains(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

uint32_t LittleU32(const std::string &bytes, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= uint32_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
  return v;
}

class QuorelCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(kTool, X_OK), 0) << "the quorel tool is not built at " << kTool;
    registry_ = quorel::test::UseFreshRegistry();
  }
  std::string registry_;
};

TEST_F(QuorelCli, EveryCommandHasHelpThatNamesIt) {
  const char *commands[] = {"list", "info", "snap", "record", "stream", "reg", "srom", "io", "settings", "config"};
  ToolRun overview = RunTool({"--help"});
  EXPECT_EQ(overview.exitCode, 0);
  for (const char *c : commands) {
    SCOPED_TRACE(c);
    EXPECT_TRUE(Contains(overview.out, std::string("  ") + c + " ")) << overview.out;
    ToolRun help = RunTool({c, "--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_TRUE(Contains(help.out, std::string("usage: quorel ") + c)) << help.out;
    ToolRun viaHelp = RunTool({"help", c});
    EXPECT_EQ(viaHelp.exitCode, 0);
    EXPECT_EQ(viaHelp.out, help.out);
  }
}

TEST_F(QuorelCli, UsageErrorsExitTwoWithAHint) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"--no-such-option", "list"},
      {"list", "--no-such-option"},
      {"snap", "--mode", "12", "x.bmp"},
      {"snap", "--window", "640", "x.bmp"},
      {"snap", "--filter", "sparkle=3", "x.bmp"},
      {"snap", "picture.gif"},
      {"snap", "--quality", "70", "x.png"},
      {"reg", "read", "0x10000"},
      {"reg", "write", "0x3100"},
      {"srom", "write", "1", "256"},
      {"io", "set", "-1"},
      {"--device", "32", "list"},
      {"settings", "set", "Gain.Exposure", "16384"},
      {"settings", "set", "Gain.Nothing", "1"},
      {"settings", "preset", "add", "4000", "480"},
      {"settings", "preset", "add", "640", "480", "3000", "0"},
      {"settings", "set", "Camera.SubSample", "3"},
      {"settings", "set", "Exposure", "100"},
      {"help", "frobnicate"},
      {"config", "load"},
  };
  for (const auto &args : bad) {
    std::string joined;
    for (const auto &a : args) joined += a + " ";
    SCOPED_TRACE(joined);
    ToolRun r = RunTool(args);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(Contains(r.err, "--help")) << r.err;
  }
  // A refused setting leaves the settings file as it was: nothing was written.
  struct stat st {};
  EXPECT_NE(stat(registry_.c_str(), &st), 0);
}

TEST_F(QuorelCli, ListAndInfoShowTheVirtualCamera) {
  ToolRun list = RunTool({"list"});
  EXPECT_EQ(list.exitCode, 0) << list.err;
  EXPECT_TRUE(Contains(list.out, "Quorel470KX-PLU_01\n")) << list.out;
  EXPECT_FALSE(Contains(list.out, "Quorel470KX-PLU_02")) << list.out;

  ToolRun two = RunTool({"--sim=units=0,3", "list", "--quiet"});
  EXPECT_EQ(two.exitCode, 0) << two.err;
  EXPECT_EQ(two.out, "Quorel470KX-PLU_01\nQuorel470KX-PLU_02\n");

  ToolRun info = RunTool({"info"});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_TRUE(Contains(info.out, "26477855")) << info.out;
  EXPECT_TRUE(Contains(info.out, "3488 x 2616")) << info.out;
  EXPECT_TRUE(Contains(info.out, "global gain       0 .. 127")) << info.out;
  EXPECT_TRUE(Contains(info.out, "colour gain       0 .. 127")) << info.out;
  EXPECT_TRUE(Contains(info.out, "exposure lines    0 .. 16383")) << info.out;
  EXPECT_TRUE(Contains(info.out, "serial-ROM id")) << info.out;
}

TEST_F(QuorelCli, CameraFailuresExitThreeAndNameTheCode) {
  // Sharpness accepts 0..30; the library refuses 31 and records code 9.
  const std::string file = ScratchPath("refused.bmp");
  ToolRun filter = RunTool({"snap", "--filter", "Sharpness=31", file});
  EXPECT_EQ(filter.exitCode, 3);
  EXPECT_TRUE(Contains(filter.err, "snap failed: error 9 (QUOREL_ERR_ARGUMENT: invalid argument)")) << filter.err;
  EXPECT_NE(access(file.c_str(), F_OK), 0);

  // Unit 1 is absent when only units 0 and 3 are plugged in.
  ToolRun device = RunTool({"--sim=units=0,3", "--device", "1", "info"});
  EXPECT_EQ(device.exitCode, 3);
  EXPECT_TRUE(Contains(device.err, "error 2 (QUOREL_ERR_NO_CAMERA: camera not available)")) << device.err;
  ToolRun unit3 = RunTool({"--sim=units=0,3", "--device", "3", "info"});
  EXPECT_EQ(unit3.exitCode, 0) << unit3.err;
}

TEST_F(QuorelCli, CameraMessagesNameEveryCodeTheLibraryGives) {
  // A window reaching past the sensor edge: the library records code 7.
  const std::string file = ScratchPath("edge.bmp");
  ToolRun edge = RunTool({"snap", "--window", "3488,2616,8,0", file});
  EXPECT_EQ(edge.exitCode, 3);
  EXPECT_TRUE(Contains(edge.err, "quorel: snap failed: error 7 (QUOREL_ERR_GEOMETRY: capture geometry invalid)"))
      << edge.err;
  EXPECT_TRUE(Contains(edge.err, "[Quorel_SetCaptureWindowEx]")) << edge.err;

  // With unit 0 unplugged the camera object exists but its unit does not
  // answer. A serial-ROM read posts code 1 without recording it, a register
  // read records code 6: both must reach the message.
  ToolRun srom = RunTool({"--sim=units=5", "srom", "read", "0"});
  EXPECT_EQ(srom.exitCode, 3);
  EXPECT_TRUE(Contains(srom.err, "srom failed: error 1 (QUOREL_ERR_NOT_READY")) << srom.err;
  EXPECT_FALSE(Contains(srom.err, "no error code recorded")) << srom.err;
  ToolRun reg = RunTool({"--sim=units=5", "reg", "read", "0x3000"});
  EXPECT_EQ(reg.exitCode, 3);
  EXPECT_TRUE(Contains(reg.err, "reg failed: error 6 (QUOREL_ERR_DEVICE: device access failed)")) << reg.err;

  // info still prints what it can, and says by its exit code that the
  // identity could not be read.
  ToolRun info = RunTool({"--sim=units=5", "info"});
  EXPECT_EQ(info.exitCode, 3);
  EXPECT_TRUE(Contains(info.out, "exposure lines    0 .. 16383")) << info.out;
  EXPECT_TRUE(Contains(info.out, "unreadable: error 1 (QUOREL_ERR_NOT_READY")) << info.out;
}

TEST_F(QuorelCli, CorruptSettingsFileIsSetAsideNotOverwritten) {
  {
    std::ofstream out(registry_, std::ios::binary);
    out << "this is not a settings file\n[[[\n";
  }
  ToolRun show = RunTool({"settings", "show"});
  EXPECT_EQ(show.exitCode, 0) << show.err;
  EXPECT_TRUE(Contains(show.out, "no settings stored yet")) << show.out;

  ToolRun set = RunTool({"settings", "set", "Gray.Mode", "2"});
  EXPECT_EQ(set.exitCode, 0) << set.err;
  int keptAside = 0;
  const std::filesystem::path reg(registry_);
  for (const auto &entry : std::filesystem::directory_iterator(reg.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(reg.filename().string() + ".corrupt-", 0) == 0 &&
        ReadFile(entry.path().string()) == "this is not a settings file\n[[[\n") {
      ++keptAside;
    }
  }
  EXPECT_EQ(keptAside, 1);
  ToolRun after = RunTool({"settings", "show", "-q"});
  EXPECT_TRUE(Contains(after.out, "Gray.Mode            2\n")) << after.out;
  EXPECT_TRUE(Contains(after.out, "Gray.GainR1          128\n")) << after.out;
  // The first-run entries were written as the camera would have written them.
  EXPECT_TRUE(Contains(after.out, "Camera.Color         2\n")) << after.out;
  EXPECT_TRUE(Contains(after.out, "Size_00  TH=3488 TV=2616 EH=3488 EV=2616 EHS=0 EVS=0 Buf=4")) << after.out;
}

TEST_F(QuorelCli, RegisterAndSerialRomWritesReadBack) {
  ToolRun reg =
      RunTool({"reg", "write", "0x3100", "0x1234", "read", "0x3100", "write", "0x3100", "77", "read", "0x3100"});
  EXPECT_EQ(reg.exitCode, 0) << reg.err;
  const size_t first = reg.out.find("0x3100 = 0x1234 (4660)");
  const size_t second = reg.out.find("0x3100 = 0x004D (77)");
  EXPECT_NE(first, std::string::npos) << reg.out;
  EXPECT_NE(second, std::string::npos) << reg.out;
  EXPECT_LT(first, second);

  ToolRun srom = RunTool({"srom", "write", "40", "0xA5", "read", "40"});
  EXPECT_EQ(srom.exitCode, 0) << srom.err;
  EXPECT_TRUE(Contains(srom.out, "srom[40] = 0xA5 (165)")) << srom.out;
}

TEST_F(QuorelCli, PresetAddedIsWhereTheCaptureWindowLooksSizesUp) {
  const std::string file = ScratchPath("window.bmp");
  // Without a stored size the library refuses the window with code 4.
  ToolRun before = RunTool({"snap", "--window", "640,480", file});
  EXPECT_EQ(before.exitCode, 3);
  EXPECT_TRUE(Contains(before.err, "error 4 (QUOREL_ERR_WINDOW")) << before.err;

  ToolRun add = RunTool({"settings", "preset", "add", "640", "480", "16", "8"});
  EXPECT_EQ(add.exitCode, 0) << add.err;
  ToolRun show = RunTool({"settings", "show"});
  EXPECT_EQ(show.exitCode, 0) << show.err;
  EXPECT_TRUE(Contains(show.out, "Size_00  640 x 480 at 16,8")) << show.out;

  ToolRun after = RunTool({"snap", "--window", "640,480", file});
  EXPECT_FALSE(Contains(after.err, "Quorel_SetCaptureWindow")) << after.err;
}

TEST_F(QuorelCli, SettingsSetReachesTheCamera) {
  ToolRun set = RunTool({"settings", "set", "gain.exposure", "1000"});
  EXPECT_EQ(set.exitCode, 0) << set.err;
  ToolRun gamma = RunTool({"--device", "2", "settings", "set", "Filter.Gamma", "120"});
  EXPECT_EQ(gamma.exitCode, 0) << gamma.err;

  ToolRun show = RunTool({"settings", "show", "--quiet"});
  EXPECT_TRUE(Contains(show.out, "Gain.Exposure        1000\n")) << show.out;
  // The rest of a new group holds the camera's defaults, not zeros.
  EXPECT_TRUE(Contains(show.out, "Gain.Global          32\n")) << show.out;
  // Device 2's filter value stays with device 2.
  EXPECT_TRUE(Contains(show.out, "Filter (not stored")) << show.out;
  ToolRun show2 = RunTool({"settings", "show", "--device", "2", "-q"});
  EXPECT_TRUE(Contains(show2.out, "Filter.Gamma         120\n")) << show2.out;

  // The camera loads what was stored: exposure 1000 lines, gains unchanged.
  ToolRun info = RunTool({"info"});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_TRUE(Contains(info.out, "exposure           1000\n")) << info.out;
  EXPECT_TRUE(Contains(info.out, "global-gain        32\n")) << info.out;
}

// Each filter name must reach the identifier it names. The identifiers'
// ranges differ, so a value at the top of the named range passes the library
// and one above it is refused with code 9; a name mapped to the wrong
// identifier shows up as the wrong one of those.
TEST_F(QuorelCli, FilterNamesReachTheirIdentifiers) {
  struct Case {
    const char *name;
    int accepted;
    int refused;
  };
  const Case cases[] = {
      {"contrast", 127, 128},         {"Hue", 360, 361},
      {"sharpness", 30, 31},          {"11", 200, 201},
      {"bayer_mode", 3, 4},           {"BayerGainRed", 400, 401},
      {"gray-gain-b", 255, 256},      {"gray-offset-g2", -255, -256},
      {"ExposureTime", 16383, 16384},
  };
  const std::string file = ScratchPath("filters.bmp");
  std::vector<std::string> allAccepted = {"snap"};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ToolRun refused = RunTool({"snap", "--filter", std::string(c.name) + "=" + std::to_string(c.refused), file});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_TRUE(Contains(refused.err, "error 9 (QUOREL_ERR_ARGUMENT")) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "[Quorel_SetFilterValue")) << refused.err;
    allAccepted.push_back("--filter");
    allAccepted.push_back(std::string(c.name) + "=" + std::to_string(c.accepted));
  }
  allAccepted.push_back(file);
  ToolRun accepted = RunTool(allAccepted);
  EXPECT_FALSE(Contains(accepted.err, "Quorel_SetFilterValue")) << accepted.err;
  EXPECT_TRUE(accepted.exitCode == 0 || accepted.exitCode == 3) << accepted.exitCode;
}

TEST_F(QuorelCli, OptionAndNumberSpellings) {
  // Decimal and hexadecimal name the same register; options may follow the command.
  ToolRun reg = RunTool({"reg", "write", "12544", "0x00ff", "read", "0x3100", "--quiet"});
  EXPECT_EQ(reg.exitCode, 0) << reg.err;
  EXPECT_EQ(reg.out, "0x3100 = 0x00FF (255)\n");

  // "--name=value" and "--name value" read alike; the identifier bytes that
  // info prints are the ones srom reads one by one.
  ToolRun info = RunTool({"info", "--srom-bytes=3"});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  std::string bytes;
  for (int i = 0; i < 3; ++i) {
    ToolRun srom = RunTool({"srom", "read", std::to_string(i)});
    ASSERT_EQ(srom.exitCode, 0) << srom.err;
    const size_t at = srom.out.find("= 0x");
    ASSERT_NE(at, std::string::npos) << srom.out;
    bytes += " " + srom.out.substr(at + 4, 2);
  }
  EXPECT_TRUE(Contains(info.out, "serial-ROM id    " + bytes + "\n")) << info.out << "expected" << bytes;

  // Negative values are values, not options; --quiet leaves only results.
  ToolRun set = RunTool({"--quiet", "settings", "set", "Filter.Brightness", "-20"});
  EXPECT_EQ(set.exitCode, 0) << set.err;
  EXPECT_EQ(set.out, "");
  ToolRun show = RunTool({"settings", "show", "-q"});
  EXPECT_TRUE(Contains(show.out, "Filter.Brightness    -20\n")) << show.out;
  // The rest of the new group carries the camera's defaults.
  EXPECT_TRUE(Contains(show.out, "Filter.Gamma         100\n")) << show.out;
}

TEST_F(QuorelCli, ConfigLoad) {
  const std::string file = ScratchPath("twenty.cfg");
  {
    std::ofstream out(file, std::ios::binary);
    out << std::string(20, '\x11');
  }
  ToolRun ok = RunTool({"config", "load", file});
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_TRUE(Contains(ok.out, "result 1, 20 bytes, 2 records")) << ok.out;

  ToolRun missing = RunTool({"config", "load", ScratchPath("absent.cfg")});
  EXPECT_EQ(missing.exitCode, 4);
  EXPECT_TRUE(Contains(missing.err, "cannot open")) << missing.err;
}

// Until acquisition is available the library answers "not ready" (code 1);
// once it is, the file must be a complete BMP of the delivered frame.
TEST_F(QuorelCli, SnapWritesABmpOrReportsNotReady) {
  const std::string file = ScratchPath("frame.bmp");
  ToolRun snap = RunTool({"snap", "--subsample", "2", "--mode", "24", file});
  if (snap.exitCode == 3) {
    EXPECT_TRUE(Contains(snap.err, "snap failed: error 1 (QUOREL_ERR_NOT_READY: not ready or not allowed now)"))
        << snap.err;
    EXPECT_NE(access(file.c_str(), F_OK), 0);
    return;
  }
  ASSERT_EQ(snap.exitCode, 0) << snap.err;
  const std::string bmp = ReadFile(file);
  ASSERT_GE(bmp.size(), 54u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(LittleU32(bmp, 2), bmp.size());
  const uint32_t width = LittleU32(bmp, 18);
  const uint32_t height = LittleU32(bmp, 22);
  EXPECT_EQ(width, 3488u / 4);
  EXPECT_EQ(height, 2616u / 4);
  EXPECT_EQ(static_cast<unsigned char>(bmp[28]), 24);
  const size_t stride = (width * 3 + 3) / 4 * 4;
  EXPECT_EQ(bmp.size(), 54 + stride * height);
}

// The file name's extension picks the format; --type overrides it.
TEST_F(QuorelCli, SnapFileTypeFollowsTheExtension) {
  struct Case {
    const char *name;
    std::vector<std::string> extra;
    std::string magic;
  };
  const Case cases[] = {
      {"frame.PNG", {}, "\x89PNG"},
      {"frame.jpeg", {"--quality", "20"}, "\xFF\xD8\xFF"},
      {"frame.tif", {}, std::string("II*\0", 4)},
      {"frame.data", {"--type", "0"}, "BM"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = ScratchPath(c.name);
    std::vector<std::string> args = {"snap", "--subsample", "18"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.push_back(file);
    ToolRun snap = RunTool(args);
    if (snap.exitCode == 3) {
      EXPECT_TRUE(Contains(snap.err, "snap failed: error 1 (QUOREL_ERR_NOT_READY")) << snap.err;
      continue;
    }
    ASSERT_EQ(snap.exitCode, 0) << snap.err;
    EXPECT_EQ(ReadFile(file).substr(0, c.magic.size()), c.magic);
  }
  // Raw is the pixel memory alone: rows of 872 x 3 bytes (already a multiple of 4).
  const std::string raw = ScratchPath("frame.raw");
  ToolRun snap = RunTool({"snap", "--subsample", "18", "--mode", "24", raw});
  if (snap.exitCode == 0) {
    EXPECT_EQ(ReadFile(raw).size(), size_t{872} * 3 * 654);
  } else {
    EXPECT_EQ(snap.exitCode, 3);
    EXPECT_TRUE(Contains(snap.err, "snap failed: error 1 (QUOREL_ERR_NOT_READY")) << snap.err;
  }
}

TEST_F(QuorelCli, StreamCountsFramesOrReportsNotReady) {
  ToolRun stream = RunTool({"--sim=units=0;fps=30", "stream", "--seconds", "1"});
  if (stream.exitCode == 3) {
    EXPECT_TRUE(Contains(stream.err, "stream failed: error 1 (QUOREL_ERR_NOT_READY")) << stream.err;
    return;
  }
  ASSERT_EQ(stream.exitCode, 0) << stream.err;
  const size_t at = stream.out.find("frames ");
  ASSERT_NE(at, std::string::npos) << stream.out;
  EXPECT_GT(std::stoul(stream.out.substr(at + 7)), 0u) << stream.out;
}

TEST_F(QuorelCli, RecordWritesAnAviOrReportsNotReady) {
  const std::string file = ScratchPath("clip.avi");
  ToolRun rec = RunTool({"record", "--duration", "300", file});
  if (rec.exitCode == 3) {
    EXPECT_TRUE(Contains(rec.err, "record failed: error 1 (QUOREL_ERR_NOT_READY")) << rec.err;
    return;
  }
  ASSERT_EQ(rec.exitCode, 0) << rec.err;
  const std::string avi = ReadFile(file);
  ASSERT_GE(avi.size(), 232u);
  EXPECT_EQ(avi.substr(0, 4), "RIFF");
  EXPECT_EQ(avi.substr(8, 4), "AVI ");
  EXPECT_GT(LittleU32(avi, 48), 0u) << "no frames in the main header";
  EXPECT_TRUE(Contains(rec.out, "frames")) << rec.out;
}

}  // namespace
