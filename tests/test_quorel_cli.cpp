// The quorel tool against the virtual camera. Checks of values run the
// tool's commands in this process, several on one opened camera (opening one
// costs about a second); the built program is started only where the process
// itself is the subject: exit codes end to end, the debug option, signals,
// and a unit held by another process.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "CameraSession.h"
#include "CommandLine.h"
#include "FilterNames.h"
#include "QuorelSim.h"
#include "platform/DebugLog.h"
#include "support/TestEnvironment.h"

namespace {

using quorel::cli::CameraConnection;
using quorel::test::ScratchPath;
using Clock = std::chrono::steady_clock;

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

bool Contains(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

uint32_t LittleU32(const std::string &bytes, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= uint32_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
  return v;
}

// Runs one command line in this process, with its output captured.
ToolRun Cli(const std::vector<std::string> &args, std::shared_ptr<CameraConnection> camera = nullptr) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  ToolRun run;
  run.exitCode = quorel::cli::RunCommandLine(args, std::move(camera));
  run.out = testing::internal::GetCapturedStdout();
  run.err = testing::internal::GetCapturedStderr();
  return run;
}

// A camera for several in-process commands.
std::shared_ptr<CameraConnection> OpenCamera(const std::string &simConfig = "units=0") {
  quorel::cli::Invocation inv;
  inv.command = "test";
  inv.global.sim = true;
  inv.global.simConfig = simConfig;
  return CameraConnection::Open(inv);
}

// The program as a child process with the test's environment (its own
// registry file and shared-memory name, and the virtual camera); output goes
// to files so that a test can read it while the child runs.
struct Child {
  pid_t pid = -1;
  std::string outPath;
  std::string errPath;
};

Child Spawn(const std::vector<std::string> &args) {
  static int counter = 0;
  Child child;
  child.outPath = ScratchPath("cli-out-" + std::to_string(counter));
  child.errPath = ScratchPath("cli-err-" + std::to_string(counter++));
  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(kTool));
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  child.pid = fork();
  if (child.pid == 0) {
    int out = open(child.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(child.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) _exit(127);
    execv(kTool, argv.data());
    _exit(127);
  }
  return child;
}

ToolRun Wait(const Child &child) {
  ToolRun run;
  int status = 0;
  if (child.pid > 0 && waitpid(child.pid, &status, 0) == child.pid && WIFEXITED(status)) {
    run.exitCode = WEXITSTATUS(status);
  }
  run.out = ReadFile(child.outPath);
  run.err = ReadFile(child.errPath);
  return run;
}

ToolRun RunTool(const std::vector<std::string> &args) {
  return Wait(Spawn(args));
}

// Polls `done` until it holds or a generous deadline passes.
template <typename Predicate>
bool WaitFor(Predicate done, std::chrono::seconds limit = std::chrono::seconds(60)) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

std::string Shell(const std::string &command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) out += buffer;
  return out;
}

class QuorelCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(kTool, X_OK), 0) << "the quorel tool is not built at " << kTool;
    setenv("QUOREL_DRIVER", "sim", 1);
    registry_ = quorel::test::UseFreshRegistry();
  }
  std::string registry_;
};

TEST_F(QuorelCli, HelpListsEveryCommandAndEachHasItsOwn) {
  const char *commands[] = {"list", "info", "snap", "record",   "stream", "bench",
                            "reg",  "srom", "io",   "settings", "config", "repair"};
  ToolRun overview = Cli({"help"});
  EXPECT_EQ(overview.exitCode, 0);
  EXPECT_EQ(Cli({"--help"}).out, overview.out);
  EXPECT_TRUE(Contains(overview.out, "  help ")) << overview.out;
  EXPECT_TRUE(Contains(overview.out, "--debug=CATS")) << overview.out;
  for (const char *c : commands) {
    SCOPED_TRACE(c);
    EXPECT_TRUE(Contains(overview.out, std::string("  ") + c + " ")) << overview.out;
    ToolRun help = Cli({c, "--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_TRUE(Contains(help.out, std::string("usage: quorel ") + c)) << help.out;
    EXPECT_EQ(Cli({"help", c}).out, help.out);
  }
  // The program itself: the same text and exit code.
  ToolRun program = RunTool({"--help"});
  EXPECT_EQ(program.exitCode, 0);
  EXPECT_EQ(program.out, overview.out);
}

TEST_F(QuorelCli, VersionAndDebugCategoriesMatchTheLibrary) {
  ToolRun version = Cli({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_TRUE(Contains(version.out, "quorel 1.")) << version.out;
  EXPECT_TRUE(Contains(version.out, "library version 26477855 (0x0194051F)")) << version.out;

  // The tool's list of categories is the library's, in its order.
  const std::vector<std::string> &listed = quorel::cli::DebugCategories();
  ASSERT_EQ(listed.size(), static_cast<size_t>(quorel::kLogCategoryCount));
  ToolRun help = Cli({"--debug=help"});
  EXPECT_EQ(help.exitCode, 0);
  for (int c = 0; c < quorel::kLogCategoryCount; ++c) {
    const std::string name = quorel::LogCategoryName(static_cast<quorel::LogCategory>(c));
    EXPECT_EQ(listed[static_cast<size_t>(c)], name);
    EXPECT_TRUE(Contains(help.out, "  " + name + "\n")) << help.out;
  }

  // --debug reaches the library of a process of its own, as QUOREL_DEBUG would.
  ToolRun logged = RunTool({"--debug=api:3", "list", "-q"});
  EXPECT_EQ(logged.exitCode, 0) << logged.err;
  EXPECT_TRUE(Contains(logged.err, "api:3 Quorel_EnumDevice")) << logged.err;
  EXPECT_EQ(logged.out, "Quorel470KX-PLU_01\n");
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
      {"snap", "--count", "3", "x.png"},
      {"snap", "--count", "3", "x-%s.png"},
      {"snap", "--count", "3", "x-%d-%d.png"},
      {"snap", "x-%n.png"},
      {"snap", "--count", "0", "x-%d.png"},
      {"bench", "--modes", "8,12"},
      {"stream", "--duration", "0"},
      {"reg", "read", "0x10000"},
      {"reg", "write", "0x3100"},
      {"srom", "write", "1", "256"},
      {"io", "set", "-1"},
      {"--device", "32", "list"},
      {"--debug"},
      {"settings", "set", "Gain.Exposure", "16384"},
      {"settings", "set", "Gain.Nothing", "1"},
      {"settings", "preset", "add", "4000", "480"},
      {"settings", "preset", "add", "640", "480", "3000", "0"},
      {"settings", "set", "Camera.SubSample", "3"},
      {"settings", "set", "Exposure", "100"},
      {"help", "frobnicate"},
      {"config", "load"},
      {"repair"},
  };
  for (const auto &args : bad) {
    std::string joined;
    for (const auto &a : args) joined += a + " ";
    SCOPED_TRACE(joined);
    ToolRun r = Cli(args);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(Contains(r.err, "--help")) << r.err;
  }
  ToolRun program = RunTool({"snap", "--mode", "12", "x.bmp"});
  EXPECT_EQ(program.exitCode, 2);
  EXPECT_TRUE(Contains(program.err, "Try 'quorel snap --help'.")) << program.err;
  // A refused setting leaves the settings file as it was: nothing was written.
  struct stat st {};
  EXPECT_NE(stat(registry_.c_str(), &st), 0);
}

TEST_F(QuorelCli, ListShowsNamesUnitsAndTheProcessHoldingAUnit) {
  auto camera = OpenCamera();
  ToolRun list = Cli({"list"}, camera);
  EXPECT_EQ(list.exitCode, 0) << list.err;
  EXPECT_TRUE(Contains(list.out, "Quorel470KX-PLU_01\n  unit 0\n")) << list.out;
  EXPECT_FALSE(Contains(list.out, "Quorel470KX-PLU_02")) << list.out;

  // With units 0 and 3 the second name is _02 but its unit is 3.
  ASSERT_EQ(QuorelSim_SetPresent(3, 1), 1);
  ToolRun two = Cli({"list"}, camera);
  EXPECT_TRUE(Contains(two.out, "Quorel470KX-PLU_02\n  unit 3\n")) << two.out;
  EXPECT_EQ(Cli({"list", "--quiet"}, camera).out, "Quorel470KX-PLU_01\nQuorel470KX-PLU_02\n");

  // Another process streaming from unit 0 holds it in the cross-process table.
  Child stream = Spawn({"stream", "--duration", "120000"});
  ASSERT_GT(stream.pid, 0);
  const std::string held = "Quorel470KX-PLU_01\n  unit 0, in use by process " + std::to_string(stream.pid) + "\n";
  std::string last;
  EXPECT_TRUE(WaitFor([&] {
    last = Cli({"list"}, camera).out;
    return Contains(last, held);
  })) << last;
  // SIGINT ends the stream early with its summary and exit code 130; the
  // unit is free again.
  kill(stream.pid, SIGINT);
  ToolRun ended = Wait(stream);
  EXPECT_EQ(ended.exitCode, 130) << ended.err;
  EXPECT_TRUE(Contains(ended.err, "stream stopped by SIGINT")) << ended.err;
  EXPECT_TRUE(Contains(ended.out, "frames ")) << ended.out;
  EXPECT_TRUE(Contains(Cli({"list"}, camera).out, "Quorel470KX-PLU_01\n  unit 0\n"));
}

TEST_F(QuorelCli, InfoShowsTheVirtualCameraAndEveryRangeWithAll) {
  auto camera = OpenCamera();
  ToolRun info = Cli({"info"}, camera);
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_TRUE(Contains(info.out, "26477855")) << info.out;
  EXPECT_TRUE(Contains(info.out, "3488 x 2616")) << info.out;
  EXPECT_TRUE(Contains(info.out, "global gain       0 .. 127")) << info.out;
  EXPECT_TRUE(Contains(info.out, "colour gain       0 .. 127")) << info.out;
  EXPECT_TRUE(Contains(info.out, "exposure lines    0 .. 16383")) << info.out;
  EXPECT_TRUE(Contains(info.out, "serial-ROM id")) << info.out;
  EXPECT_FALSE(Contains(info.out, "[")) << info.out;

  ToolRun all = Cli({"info", "--all"}, camera);
  EXPECT_EQ(all.exitCode, 0) << all.err;
  EXPECT_TRUE(Contains(all.out, "   [8, 16, 24, 32, 48, 64]\n")) << all.out;
  EXPECT_TRUE(Contains(all.out, "hue                0   [-360 .. 360]\n")) << all.out;
  EXPECT_TRUE(Contains(all.out, "gray-auto-gain     0   [0 .. 1]\n")) << all.out;

  // No camera at all: info says so, where to look, and exits 3.
  ASSERT_EQ(QuorelSim_SetPresent(0, 0), 1);
  ToolRun none = Cli({"info"}, camera);
  EXPECT_EQ(none.exitCode, 3);
  EXPECT_TRUE(Contains(none.err, "no camera found")) << none.err;
  EXPECT_TRUE(Contains(none.err, "70-quorel-470kx.rules")) << none.err;
  EXPECT_TRUE(Contains(none.err, "--sim")) << none.err;
  EXPECT_FALSE(Contains(none.out, "filter values")) << none.out;
}

// The ranges info --all prints are the ones the library enforces: the ends
// are accepted and one step beyond is refused with code 9.
TEST_F(QuorelCli, FilterRangesAreTheLibrarys) {
  auto camera = OpenCamera();
  const int h = camera->handle();
  for (int id = quorel::cli::kFirstFilterId; id <= quorel::cli::kLastFilterId; ++id) {
    SCOPED_TRACE(std::string(quorel::cli::FilterName(id)));
    const quorel::cli::FilterRange r = quorel::cli::FilterValueRange(id);
    if (r.any) {
      EXPECT_EQ(Quorel_SetFilterValue(h, id, -1), 1);
      EXPECT_EQ(Quorel_SetFilterValue(h, id, 0), 1);
      continue;
    }
    EXPECT_EQ(Quorel_SetFilterValue(h, id, r.min), 1);
    EXPECT_EQ(Quorel_SetFilterValue(h, id, r.max), 1);
    EXPECT_EQ(Quorel_SetFilterValue(h, id, r.min - 1), 0);
    EXPECT_EQ(Quorel_SetFilterValue(h, id, r.max + 1), 0);
    EXPECT_EQ(Quorel_GetLastError(h), QUOREL_ERR_ARGUMENT);
  }
}

TEST_F(QuorelCli, CameraFailuresExitThreeAndNameTheCode) {
  auto camera = OpenCamera();
  // Sharpness accepts 0..30; the library refuses 31 and records code 9.
  const std::string file = ScratchPath("refused.bmp");
  ToolRun filter = Cli({"snap", "--filter", "Sharpness=31", file}, camera);
  EXPECT_EQ(filter.exitCode, 3);
  EXPECT_TRUE(Contains(filter.err, "snap failed: error 9 (QUOREL_ERR_ARGUMENT: invalid argument)")) << filter.err;
  EXPECT_NE(access(file.c_str(), F_OK), 0);

  // A window reaching past the sensor edge: the library records code 7.
  ToolRun edge = Cli({"snap", "--window", "3488,2616,8,0", file}, camera);
  EXPECT_EQ(edge.exitCode, 3);
  EXPECT_TRUE(Contains(edge.err, "quorel: snap failed: error 7 (QUOREL_ERR_GEOMETRY: capture geometry invalid)"))
      << edge.err;
  EXPECT_TRUE(Contains(edge.err, "[Quorel_SetCaptureWindowEx]")) << edge.err;

  // Unit 1 is absent when only units 0 and 3 are plugged in.
  ASSERT_EQ(QuorelSim_SetPresent(3, 1), 1);
  Cli({"list"}, camera);  // enumeration refreshes the presence flags
  ToolRun device = Cli({"--device", "1", "info"}, camera);
  EXPECT_EQ(device.exitCode, 3);
  EXPECT_TRUE(Contains(device.err, "error 2 (QUOREL_ERR_NO_CAMERA: camera not available)")) << device.err;
  ToolRun unit3 = Cli({"--device", "3", "info"}, camera);
  EXPECT_EQ(unit3.exitCode, 0) << unit3.err;

  // The program's own exit code for a camera failure.
  ToolRun program = RunTool({"snap", "--filter", "Sharpness=31", file});
  EXPECT_EQ(program.exitCode, 3);
}

TEST_F(QuorelCli, CameraMessagesNameEveryCodeTheLibraryGives) {
  // With unit 0 unplugged the camera object exists but its unit does not
  // answer. A serial-ROM read posts code 1 without recording it, a register
  // read records code 6: both must reach the message.
  auto camera = OpenCamera("units=5");
  ToolRun srom = Cli({"srom", "read", "0"}, camera);
  EXPECT_EQ(srom.exitCode, 3);
  EXPECT_TRUE(Contains(srom.err, "srom failed: error 1 (QUOREL_ERR_NOT_READY")) << srom.err;
  EXPECT_FALSE(Contains(srom.err, "no error code recorded")) << srom.err;
  ToolRun reg = Cli({"reg", "read", "0x3000"}, camera);
  EXPECT_EQ(reg.exitCode, 3);
  EXPECT_TRUE(Contains(reg.err, "reg failed: error 6 (QUOREL_ERR_DEVICE: device access failed)")) << reg.err;

  // info still prints what it can, and says by its exit code that the
  // identity could not be read.
  ToolRun info = Cli({"info"}, camera);
  EXPECT_EQ(info.exitCode, 3);
  EXPECT_TRUE(Contains(info.out, "exposure lines    0 .. 16383")) << info.out;
  EXPECT_TRUE(Contains(info.out, "unreadable: error 1 (QUOREL_ERR_NOT_READY")) << info.out;
}

TEST_F(QuorelCli, CorruptSettingsFileIsSetAsideNotOverwritten) {
  {
    std::ofstream out(registry_, std::ios::binary);
    out << "this is not a settings file\n[[[\n";
  }
  ToolRun show = Cli({"settings", "show"});
  EXPECT_EQ(show.exitCode, 0) << show.err;
  EXPECT_TRUE(Contains(show.out, "no settings stored yet")) << show.out;

  ToolRun set = Cli({"settings", "set", "Gray.Mode", "2"});
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
  ToolRun after = Cli({"settings", "show", "-q"});
  EXPECT_TRUE(Contains(after.out, "Gray.Mode            2\n")) << after.out;
  EXPECT_TRUE(Contains(after.out, "Gray.GainR1          128\n")) << after.out;
  // The first-run entries were written as the camera would have written them.
  EXPECT_TRUE(Contains(after.out, "Camera.Color         2\n")) << after.out;
  EXPECT_TRUE(Contains(after.out, "Size_00  TH=3488 TV=2616 EH=3488 EV=2616 EHS=0 EVS=0 Buf=4")) << after.out;
}

TEST_F(QuorelCli, RegisterSerialRomAndNumberSpellings) {
  auto camera = OpenCamera();
  ToolRun reg =
      Cli({"reg", "write", "0x3100", "0x1234", "read", "0x3100", "write", "0x3100", "77", "read", "0x3100"}, camera);
  EXPECT_EQ(reg.exitCode, 0) << reg.err;
  const size_t first = reg.out.find("0x3100 = 0x1234 (4660)");
  const size_t second = reg.out.find("0x3100 = 0x004D (77)");
  EXPECT_NE(first, std::string::npos) << reg.out;
  EXPECT_NE(second, std::string::npos) << reg.out;
  EXPECT_LT(first, second);

  ToolRun srom = Cli({"srom", "write", "40", "0xA5", "read", "40"}, camera);
  EXPECT_EQ(srom.exitCode, 0) << srom.err;
  EXPECT_TRUE(Contains(srom.out, "srom[40] = 0xA5 (165)")) << srom.out;

  // Decimal and hexadecimal name the same register; options may follow the command.
  ToolRun spelled = Cli({"reg", "write", "12544", "0x00ff", "read", "0x3100", "--quiet"}, camera);
  EXPECT_EQ(spelled.exitCode, 0) << spelled.err;
  EXPECT_EQ(spelled.out, "0x3100 = 0x00FF (255)\n");

  // "--name=value" and "--name value" read alike; the identifier bytes that
  // info prints are the ones srom reads one by one.
  ToolRun info = Cli({"info", "--srom-bytes=3"}, camera);
  EXPECT_EQ(info.exitCode, 0) << info.err;
  std::string bytes;
  for (int i = 0; i < 3; ++i) {
    ToolRun byte = Cli({"srom", "read", std::to_string(i)}, camera);
    ASSERT_EQ(byte.exitCode, 0) << byte.err;
    const size_t at = byte.out.find("= 0x");
    ASSERT_NE(at, std::string::npos) << byte.out;
    bytes += " " + byte.out.substr(at + 4, 2);
  }
  EXPECT_TRUE(Contains(info.out, "serial-ROM id    " + bytes + "\n")) << info.out << "expected" << bytes;

  // Negative values are values, not options; --quiet leaves only results.
  ToolRun set = Cli({"--quiet", "settings", "set", "Filter.Brightness", "-20"});
  EXPECT_EQ(set.exitCode, 0) << set.err;
  EXPECT_EQ(set.out, "");
  ToolRun show = Cli({"settings", "show", "-q"});
  EXPECT_TRUE(Contains(show.out, "Filter.Brightness    -20\n")) << show.out;
  // The rest of the new group carries the camera's defaults.
  EXPECT_TRUE(Contains(show.out, "Filter.Gamma         100\n")) << show.out;
}

TEST_F(QuorelCli, PresetAddedIsWhereTheCaptureWindowLooksSizesUp) {
  auto camera = OpenCamera();
  const std::string file = ScratchPath("window.bmp");
  // Without a stored size the library refuses the window with code 4, which
  // here means "no such preset", and the message says what to do.
  ToolRun before = Cli({"snap", "--window", "640,480", file}, camera);
  EXPECT_EQ(before.exitCode, 3);
  EXPECT_TRUE(Contains(before.err, "error 4 (QUOREL_ERR_WINDOW")) << before.err;
  EXPECT_TRUE(Contains(before.err,
                       "no size preset of 640 x 480 is stored; add one with 'quorel settings preset add "
                       "640 480' or give the full window form --window W,H,X,Y"))
      << before.err;

  ToolRun add = Cli({"settings", "preset", "add", "640", "480", "16", "8"});
  EXPECT_EQ(add.exitCode, 0) << add.err;
  ToolRun show = Cli({"settings", "show"});
  EXPECT_EQ(show.exitCode, 0) << show.err;
  EXPECT_TRUE(Contains(show.out, "Size_00  640 x 480 at 16,8")) << show.out;

  ToolRun after = Cli({"snap", "--window", "640,480", file}, camera);
  EXPECT_FALSE(Contains(after.err, "Quorel_SetCaptureWindow")) << after.err;
}

TEST_F(QuorelCli, SettingsSetReachesTheCamera) {
  ToolRun set = Cli({"settings", "set", "gain.exposure", "1000"});
  EXPECT_EQ(set.exitCode, 0) << set.err;
  ToolRun gamma = Cli({"--device", "2", "settings", "set", "Filter.Gamma", "120"});
  EXPECT_EQ(gamma.exitCode, 0) << gamma.err;

  ToolRun show = Cli({"settings", "show", "--quiet"});
  EXPECT_TRUE(Contains(show.out, "Gain.Exposure        1000\n")) << show.out;
  // The rest of a new group holds the camera's defaults, not zeros.
  EXPECT_TRUE(Contains(show.out, "Gain.Global          32\n")) << show.out;
  // Device 2's filter value stays with device 2.
  EXPECT_TRUE(Contains(show.out, "Filter (not stored")) << show.out;
  ToolRun show2 = Cli({"settings", "show", "--device", "2", "-q"});
  EXPECT_TRUE(Contains(show2.out, "Filter.Gamma         120\n")) << show2.out;

  // A camera opened now loads what was stored: exposure 1000 lines, gains unchanged.
  ToolRun info = Cli({"info"}, OpenCamera());
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
  auto camera = OpenCamera();
  const std::string file = ScratchPath("filters.bmp");
  std::vector<std::string> allAccepted = {"snap", "--subsample", "18"};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ToolRun refused = Cli({"snap", "--filter", std::string(c.name) + "=" + std::to_string(c.refused), file}, camera);
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_TRUE(Contains(refused.err, "error 9 (QUOREL_ERR_ARGUMENT")) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "[Quorel_SetFilterValue")) << refused.err;
    allAccepted.push_back("--filter");
    allAccepted.push_back(std::string(c.name) + "=" + std::to_string(c.accepted));
  }
  allAccepted.push_back(file);
  ToolRun accepted = Cli(allAccepted, camera);
  EXPECT_EQ(accepted.exitCode, 0) << accepted.err;
}

TEST_F(QuorelCli, ConfigLoad) {
  auto camera = OpenCamera();
  const std::string file = ScratchPath("twenty.cfg");
  {
    std::ofstream out(file, std::ios::binary);
    out << std::string(20, '\x11');
  }
  ToolRun ok = Cli({"config", "load", file}, camera);
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_TRUE(Contains(ok.out, "result 1, 20 bytes, 2 records")) << ok.out;

  ToolRun missing = Cli({"config", "load", ScratchPath("absent.cfg")}, camera);
  EXPECT_EQ(missing.exitCode, 4);
  EXPECT_TRUE(Contains(missing.err, "cannot open")) << missing.err;
}

TEST_F(QuorelCli, SnapWritesTheFormatItsNameAsksFor) {
  auto camera = OpenCamera();
  // A quarter-size 24-bit BMP: header, 4-byte rows, the delivered size.
  const std::string file = ScratchPath("frame.bmp");
  ToolRun snap = Cli({"snap", "--subsample", "2", "--mode", "24", file}, camera);
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
    const std::string path = ScratchPath(c.name);
    std::vector<std::string> args = {"snap", "--subsample", "18"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.push_back(path);
    ToolRun r = Cli(args, camera);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(path).substr(0, c.magic.size()), c.magic);
  }
  // Raw is the pixel memory alone: rows of 872 x 3 bytes (already a multiple of 4).
  const std::string raw = ScratchPath("frame.raw");
  ASSERT_EQ(Cli({"snap", "--subsample", "18", "--mode", "24", raw}, camera).exitCode, 0);
  EXPECT_EQ(ReadFile(raw).size(), size_t{872} * 3 * 654);
}

TEST_F(QuorelCli, SnapSeriesFollowsTheNamePattern) {
  auto camera = OpenCamera();
  const std::string dir = ScratchPath("series");
  ASSERT_TRUE(std::filesystem::create_directory(dir));
  ToolRun snap =
      Cli({"snap", "--count", "3", "--interval", "30", "--subsample", "18", dir + "/img-%04d-100%%.png"}, camera);
  ASSERT_EQ(snap.exitCode, 0) << snap.err;
  for (const char *name : {"img-0001-100%.png", "img-0002-100%.png", "img-0003-100%.png"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ReadFile(dir + "/" + name).substr(0, 4), "\x89PNG");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 3);
  EXPECT_TRUE(Contains(snap.out, "saved " + dir + "/img-0003-100%.png")) << snap.out;
}

// A file that cannot be written is a file error (4) with the system's reason,
// found before the camera starts.
TEST_F(QuorelCli, UnwritableOutputExitsFourWithTheReason) {
  const std::string missing = ScratchPath("no-such-dir") + "/clip.avi";
  ToolRun record = Cli({"record", "--duration", "100", missing});
  EXPECT_EQ(record.exitCode, 4);
  EXPECT_TRUE(Contains(record.err, "cannot write '" + missing + "': No such file or directory")) << record.err;

  // A plain file where a directory should be stops even root.
  const std::string plain = ScratchPath("plain-file");
  std::ofstream(plain) << "x";
  ToolRun snap = Cli({"snap", "--count", "2", plain + "/frame-%d.png"});
  EXPECT_EQ(snap.exitCode, 4);
  EXPECT_TRUE(Contains(snap.err, "cannot write '" + plain + "/frame-1.png': Not a directory")) << snap.err;
}

// Small frames and a run of several seconds, so that a loaded machine still
// delivers frames inside it.
TEST_F(QuorelCli, StreamReportsEachSecondAndASummary) {
  ASSERT_EQ(Cli({"settings", "set", "Camera.SubSample", "18"}).exitCode, 0);
  ToolRun stream = RunTool({"--sim=units=0;fps=30", "stream", "--duration", "2500"});
  ASSERT_EQ(stream.exitCode, 0) << stream.err;
  EXPECT_TRUE(Contains(stream.out, " s: ")) << stream.out;
  EXPECT_TRUE(Contains(stream.out, " dropped, ")) << stream.out;
  const size_t at = stream.out.find("frames ");
  ASSERT_NE(at, std::string::npos) << stream.out;
  EXPECT_GT(std::stoul(stream.out.substr(at + 7)), 0u) << stream.out;
}

TEST_F(QuorelCli, RecordWritesAnAvi) {
  ASSERT_EQ(Cli({"settings", "set", "Camera.SubSample", "18"}).exitCode, 0);
  const std::string file = ScratchPath("clip.avi");
  ToolRun rec = RunTool({"--sim=units=0;fps=30", "record", "--duration", "300", file});
  ASSERT_EQ(rec.exitCode, 0) << rec.err;
  const std::string avi = ReadFile(file);
  ASSERT_GE(avi.size(), 232u);
  EXPECT_EQ(avi.substr(0, 4), "RIFF");
  EXPECT_EQ(avi.substr(8, 4), "AVI ");
  EXPECT_GT(LittleU32(avi, 48), 0u) << "no frames in the main header";
  EXPECT_TRUE(Contains(rec.out, "frames")) << rec.out;
}

// Ctrl-C during a recording: the library finishes the file, so that another
// program reads every frame of it, and the tool exits 130.
TEST_F(QuorelCli, InterruptedRecordingIsAFinishedFile) {
  if (std::system("command -v ffprobe >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffprobe is not on PATH";
  ASSERT_EQ(Cli({"settings", "set", "Camera.SubSample", "18"}).exitCode, 0);
  const std::string file = ScratchPath("interrupted.avi");
  Child rec = Spawn({"--sim=units=0;fps=20", "record", "--duration", "600000", file});
  ASSERT_GT(rec.pid, 0);
  // Some frames are in the file once it has grown past its headers.
  EXPECT_TRUE(WaitFor([&] {
    struct stat st {};
    return stat(file.c_str(), &st) == 0 && st.st_size > 2 * 1024 * 1024;
  }));
  kill(rec.pid, SIGINT);
  ToolRun ended = Wait(rec);
  EXPECT_EQ(ended.exitCode, 130) << ended.err;
  EXPECT_TRUE(Contains(ended.err, "record stopped by SIGINT")) << ended.err;

  const std::string avi = ReadFile(file);
  ASSERT_GE(avi.size(), 232u);
  EXPECT_EQ(LittleU32(avi, 4), avi.size() - 8) << "RIFF size";
  const uint32_t frames = LittleU32(avi, 48);
  EXPECT_GT(frames, 0u);
  const std::string probe = Shell(
      "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
      "stream=nb_read_frames -show_entries format=duration -of default=nw=1 '" +
      file + "'");
  EXPECT_TRUE(Contains(probe, "nb_read_frames=" + std::to_string(frames) + "\n")) << probe;
  const size_t at = probe.find("duration=");
  ASSERT_NE(at, std::string::npos) << probe;
  EXPECT_GT(std::stod(probe.substr(at + 9)), 0.0) << probe;
}

TEST_F(QuorelCli, BenchPrintsATableRowPerMode) {
  auto camera = OpenCamera("units=0;fps=max");
  ASSERT_EQ(Quorel_SetSubSample(camera->handle(), 18), 1);
  ToolRun bench = Cli({"bench", "--duration", "200", "--frames", "2", "--modes", "8,64"}, camera);
  ASSERT_EQ(bench.exitCode, 0) << bench.err;
  EXPECT_TRUE(Contains(bench.out, "mode ")) << bench.out;
  EXPECT_TRUE(Contains(bench.out, "\n8 ")) << bench.out;
  EXPECT_TRUE(Contains(bench.out, "\n64 ")) << bench.out;
  // The camera's colour mode is left as it was.
  EXPECT_EQ(Quorel_GetColorMode(camera->handle()), 24);
}

}  // namespace
