// The virtual camera shared between threads: handles on different units
// work side by side, and plugging a unit in and out while another thread
// talks to it fails that thread's exchanges cleanly instead of corrupting
// state.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "QuorelSim.h"
#include "device/CQRLSdkLib.h"

namespace quorel {
namespace {

class Lib : public CQRLSdkLib {
 public:
  Lib() { SetModelTag("QrelKX470PLU"); }
};

TEST(SimConcurrency, UnitsTalkSideBySide) {
  ASSERT_EQ(QuorelSim_Enable("units=0,3,7"), 1);
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int unit : {0, 3, 7}) {
    threads.emplace_back([unit, &mismatches] {
      Lib lib;
      lib.SelectUnit(unit);
      for (int i = 0; i < 300; ++i) {
        const int value = (unit << 12) | i;
        int back = -1;
        if (lib.WriteRegister(0x3012, value) != 1 || lib.ReadRegister(0x3012, &back) != 1 || back != value)
          ++mismatches;
      }
    });
  }
  for (auto &t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

TEST(SimConcurrency, UnplugWhileTalking) {
  ASSERT_EQ(QuorelSim_Enable("units=0,3"), 1);
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::thread talker([&] {
    Lib lib;
    lib.SelectUnit(3);
    while (!stop) {
      int back = -1;
      // While present the value is right; while absent the read fails.
      if (lib.WriteRegister(0x305E, 0x10A5) == 1 && lib.ReadRegister(0x305E, &back) == 1 && back != 0x10A5 &&
          back != 0x10A0)
        ++wrong;
    }
  });
  for (int i = 0; i < 200; ++i) QuorelSim_SetPresent(3, i % 2);
  QuorelSim_SetPresent(3, 1);
  stop = true;
  talker.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace quorel
