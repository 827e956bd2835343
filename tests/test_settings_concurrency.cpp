// Several processes and threads saving settings at once: every save is one
// locked read-modify-write, so saves of different groups never undo each other
// and readers never see a half-written file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/RegistryFile.h"
#include "settings/SettingsStore.h"
#include "support/TestEnvironment.h"

namespace quorel {
namespace {

constexpr int kRounds = 30;

AnalogBlock Gains(int round) {
  AnalogBlock a;
  a.globalGain = a.colorGainGreen1 = a.colorGainRed = a.colorGainBlue = a.colorGainGreen2 = round;
  a.exposure = a.mirrorV = a.mirrorH = a.autoIris = round;
  return a;
}

FilterBlock Filters(int round) {
  FilterBlock b{};
  b.fill(round);
  return b;
}

// Runs each body in its own child process, all released at the same moment;
// returns true when every child exited with status 0.
bool RunInChildren(const std::vector<std::function<bool()>> &bodies) {
  int gate[2];
  if (pipe(gate) != 0) return false;
  std::vector<pid_t> children;
  for (const auto &body : bodies) {
    pid_t pid = fork();
    if (pid == 0) {
      close(gate[1]);
      char c;
      while (read(gate[0], &c, 1) > 0) {
      }
      _exit(body() ? 0 : 1);
    }
    if (pid > 0) children.push_back(pid);
  }
  close(gate[0]);
  close(gate[1]);  // opens the gate
  bool ok = children.size() == bodies.size();
  for (pid_t pid : children) {
    int status = 0;
    ok = waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
  }
  return ok;
}

void ExpectNoLeftovers(const std::string &registry) {
  const std::filesystem::path p(registry);
  for (const auto &entry : std::filesystem::directory_iterator(p.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(p.filename().string(), 0) != 0) continue;
    EXPECT_EQ(name.find(".corrupt-"), std::string::npos) << name;
    EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
  }
}

TEST(SettingsConcurrencyTest, TwoProcessesSavingDifferentGroupsLoseNeither) {
  const std::string registry = test::UseFreshRegistry();
  // Both processes save to device 0 every round (the contended case) and to a
  // device number of their own round, so that any lost update stays visible.
  auto gainSaver = [] {
    for (int round = 1; round <= kRounds; ++round) {
      if (SaveGainGroup(0, Gains(round)) != 1 || SaveGainGroup(round, Gains(round)) != 1) return false;
    }
    return true;
  };
  auto filterSaver = [] {
    for (int round = 1; round <= kRounds; ++round) {
      if (SaveFilterGroup(0, Filters(round)) != 1 || SaveFilterGroup(round, Filters(round)) != 1) return false;
    }
    return true;
  };
  ASSERT_TRUE(RunInChildren({gainSaver, filterSaver}));

  for (int device = 0; device <= kRounds; ++device) {
    const int want = device == 0 ? kRounds : device;
    AnalogBlock a;
    bool defaults = false;
    ASSERT_EQ(LoadGainGroup(device, a,
                            [&] {
                              defaults = true;
                              return AnalogBlock{};
                            }),
              1);
    EXPECT_FALSE(defaults) << "gain group of device " << device << " lost";
    EXPECT_EQ(a.autoIris, want) << device;
    FilterBlock b{};
    EXPECT_EQ(LoadFilterGroup(device, b), 1) << "filter group of device " << device << " lost";
    EXPECT_EQ(b[kBayerMode], want) << device;
  }
  ExpectNoLeftovers(registry);
}

TEST(SettingsConcurrencyTest, ProcessesAppendingRootPresetsNeverShareANumber) {
  test::UseFreshRegistry();
  auto appender = [](int base) {
    return [base] {
      for (int i = 0; i < 20; ++i) {
        CaptureGeometry g;
        g.width = base + i;
        if (AddRootPreset(g) != 1) return false;
      }
      return true;
    };
  };
  ASSERT_TRUE(RunInChildren({appender(1000), appender(2000), appender(3000)}));

  std::vector<CaptureGeometry> presets;
  ASSERT_EQ(ReadRootPresets(presets), 1);
  ASSERT_EQ(presets.size(), 60u);
  std::set<int> widths;
  for (const auto &g : presets) widths.insert(g.width);
  EXPECT_EQ(widths.size(), 60u);
  // Each process's presets appear in the order it added them.
  for (int base : {1000, 2000, 3000}) {
    std::vector<int> own;
    for (const auto &g : presets)
      if (g.width / 1000 * 1000 == base) own.push_back(g.width);
    EXPECT_TRUE(std::is_sorted(own.begin(), own.end())) << base;
    EXPECT_EQ(own.size(), 20u) << base;
  }
}

TEST(SettingsConcurrencyTest, ThreadsSaveAndLoadWithoutTornOrLostGroups) {
  const std::string registry = test::UseFreshRegistry();
  ASSERT_EQ(SaveGainGroup(0, Gains(0)), 1);  // the gray save needs the camera key
  std::atomic<bool> failed{false};
  std::vector<std::thread> threads;
  // Writers: device 0's gain group with all nine values equal to the round,
  // and one group of their own per round.
  threads.emplace_back([&] {
    for (int round = 1; round <= kRounds; ++round)
      if (SaveGainGroup(0, Gains(round)) != 1) failed = true;
  });
  threads.emplace_back([&] {
    for (int round = 1; round <= kRounds; ++round)
      if (SaveGrayGroup(0, Filters(round)) != 1) failed = true;
  });
  threads.emplace_back([&] {
    for (int round = 1; round <= kRounds; ++round)
      if (SaveFilterGroup(100 + round, Filters(round)) != 1) failed = true;
  });
  // Reader: whatever it sees is one whole save, never a mix of two.
  std::atomic<int> torn{0};
  threads.emplace_back([&] {
    for (int i = 0; i < 3 * kRounds; ++i) {
      AnalogBlock a;
      LoadGainGroup(0, a, [] { return Gains(0); });
      const int32_t v[] = {a.globalGain, a.colorGainGreen1, a.colorGainRed, a.colorGainBlue, a.colorGainGreen2,
                           a.exposure,   a.mirrorV,         a.mirrorH,      a.autoIris};
      if (!std::all_of(std::begin(v), std::end(v), [&](int32_t x) { return x == v[0]; })) ++torn;
    }
  });
  for (auto &t : threads) t.join();
  EXPECT_FALSE(failed);
  EXPECT_EQ(torn.load(), 0);

  AnalogBlock a;
  ASSERT_EQ(LoadGainGroup(0, a, nullptr), 1);
  EXPECT_EQ(a.exposure, kRounds);
  for (int round = 1; round <= kRounds; ++round) {
    FilterBlock b{};
    EXPECT_EQ(LoadFilterGroup(100 + round, b), 1) << round;
    EXPECT_EQ(b[kGamma], round);
  }
  ExpectNoLeftovers(registry);
}

}  // namespace
}  // namespace quorel
