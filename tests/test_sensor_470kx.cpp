// The 470KX sensor class against the virtual camera: the power-up sequence
// as the camera receives it, window programming per sub-sampling mode,
// gains, exposure limits, mirroring, clock, sample depth and trigger setup.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include "QuorelSim.h"
#include "device/CQuorel470KXPLUSdk.h"
#include "device/DeviceFactory.h"
#include "device/SimDriverBackend.h"

namespace quorel {
namespace {

using sim::RegisterWrite;

class Sensor470KX : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QuorelSim_Enable("units=0,3"), 1);
    device_ = CreateDeviceObject();
    ASSERT_NE(device_, nullptr);
    camera_ = SimDriverBackend::Instance()->Unit(0);
    camera_->ClearRegisterWriteLog();
  }

  // The last value written to each register since the log was cleared.
  std::map<int, int> Written() const {
    std::map<int, int> last;
    for (const auto &w : camera_->RegisterWriteLog()) last[w.address] = w.value;
    return last;
  }

  std::unique_ptr<CQuorel470KXPLUSdk> device_;
  std::shared_ptr<sim::SimCamera> camera_;
};

TEST_F(Sensor470KX, ConstructionFindsUnitsAndProgramsFullWindow) {
  EXPECT_TRUE(device_->IsUnitPresent(0));
  EXPECT_TRUE(device_->IsUnitPresent(3));
  EXPECT_FALSE(device_->IsUnitPresent(1));
  EXPECT_STREQ(device_->GetModelTag(), "QrelKX470PLU");
  EXPECT_EQ(device_->GetImageWidth(), 3488);
  EXPECT_EQ(device_->GetImageHeight(), 2616);
  EXPECT_EQ(camera_->Register(0x034C), 3488);
  EXPECT_EQ(camera_->Port(11), 0);
  EXPECT_EQ(device_->InitUnit(32), kSdkBadUnit);
}

TEST_F(Sensor470KX, InitSensorWritesTheSequenceInOrder) {
  ASSERT_EQ(device_->InitSensor(), 1);
  const std::vector<RegisterWrite> expected = {
      {0x301A, 0x0001}, {0x0300, 4},      {0x0304, 4},      {0x0306, 32},     {0x0308, 8},      {0x3016, 0x0101},
      {0x301A, 0x10D0}, {0x0008, 0x0150}, {0x301A, 0x10D8}, {0x316C, 0xB468}, {0x3044, 0x0594}, {0x3080, 0x0080},
      {0x308E, 0xD66A}, {0x3098, 0xECA4}, {0x309A, 0xA5A4}, {0x309C, 0x9900}, {0x30B2, 0xC000}, {0x30E2, 0x00FF},
      {0x30E6, 0x00FF}, {0x30EA, 0xA404}, {0x30EE, 0xA40C}, {0x30F2, 0xA404}, {0x30FE, 0x705A}, {0x3100, 0x6C5C},
      {0x3102, 0xA25A}, {0x3106, 0x581C}, {0x311A, 0x6E1C}, {0x3128, 0xA402}, {0x312A, 0xA602}, {0x3170, 0x0814},
      {0x317A, 0x8002}, {0x317C, 0x8002}, {0x31C0, 0x00FF}, {0x31C8, 0xA608}, {0x31CA, 0x00FF}, {0x31CC, 0x00FF},
      {0x31CE, 0xA502}, {0x31D0, 0x00FF}, {0x3088, 0x60F8}, {0x301A, 0x10DC}, {0x0202, 0x01B5}, {0x3028, 8},
      {0x302A, 8},      {0x302C, 12},     {0x302E, 8},      {0x3030, 8},      {0x3026, 0xFC7F}, {0x301A, 0x11DC},
      {0x3070, 4},
  };
  EXPECT_EQ(camera_->RegisterWriteLog(), expected);
  EXPECT_EQ(camera_->Port(15), 0);
}

TEST_F(Sensor470KX, ReadModifyWritesKeepExistingBits) {
  ASSERT_EQ(device_->WriteRegister(0x3016, 0x8000), 1);
  device_->InitSensor();
  EXPECT_EQ(camera_->Register(0x3016), 0x8101);
}

TEST_F(Sensor470KX, FullWindow) {
  ASSERT_EQ(device_->SetWindow(0, 0, 3488, 2616, 0), 0);
  auto w = Written();
  EXPECT_EQ(w[0x0344], 8);
  EXPECT_EQ(w[0x0348], 3504);
  EXPECT_EQ(w[0x0346], 8);
  EXPECT_EQ(w[0x034A], 2632);
  EXPECT_EQ(w[0x034C], 3488);
  EXPECT_EQ(w[0x034E], 2616);
  EXPECT_EQ(w[0x0342], 7296);
  EXPECT_EQ(w[0x0340], 2961);
  EXPECT_EQ(w[0x3010], 256);
  EXPECT_EQ(w[0x3014], 1386);
  EXPECT_EQ(w[0x0104], 0);  // released at the end
  EXPECT_EQ(device_->GetTransferSamples(), 9124864);
  EXPECT_EQ(device_->GetLargeTransfer(), 1);
  // Ports 0..3 carry the transfer size, lowest byte first.
  EXPECT_EQ(camera_->Port(0), 9124864 & 0xFF);
  EXPECT_EQ(camera_->Port(1), (9124864 >> 8) & 0xFF);
  EXPECT_EQ(camera_->Port(2), (9124864 >> 16) & 0xFF);
  EXPECT_EQ(camera_->Port(3), 0);
  EXPECT_EQ(camera_->Register(0x3044) & 4, 4);
  EXPECT_EQ(camera_->Register(0x301A) & 2, 2);
  // The register group is held from first to last window write.
  auto log = camera_->RegisterWriteLog();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.front(), (RegisterWrite{0x0104, 1}));
  EXPECT_EQ(log.back(), (RegisterWrite{0x0104, 0}));
}

TEST_F(Sensor470KX, HalfSubSamplingAndQuarterBinning) {
  ASSERT_EQ(device_->SetWindow(0, 0, 3488, 2616, 1), 0);
  EXPECT_EQ(device_->GetOutputWidth(), 1744);
  EXPECT_EQ(device_->GetOutputHeight(), 1308);
  EXPECT_EQ(device_->GetLineLength(), 1904);
  EXPECT_EQ(Written()[0x0340], 1653);
  EXPECT_EQ(device_->GetImageWidth(), 1744);
  EXPECT_EQ(device_->GetImageHeight(), 1308);
  EXPECT_EQ(camera_->Register(0x3040) & 0x0FFF, 0x00C3);

  ASSERT_EQ(device_->SetWindow(0, 0, 1000, 1000, 18), 0);
  EXPECT_EQ(device_->GetOutputWidth(), 252);
  EXPECT_EQ(device_->GetOutputHeight(), 252);
  EXPECT_EQ(device_->GetLineLength(), 2560);
  EXPECT_EQ(device_->GetImageWidth(), 250);
  EXPECT_EQ(device_->GetImageHeight(), 250);
  EXPECT_EQ(device_->GetLargeTransfer(), 0);
  EXPECT_EQ(Written()[0x3010], 568);
  EXPECT_EQ(Written()[0x3014], 2842);
  EXPECT_EQ(camera_->Register(0x3040) & 0x0FFF, 0x0DC7);
  EXPECT_EQ(device_->GetSubSampleMode(), 18);
}

TEST_F(Sensor470KX, ModeBitsKeepMirrorsAndOtherCodesKeepTheMode) {
  device_->SetMirrorH(1);
  ASSERT_EQ(device_->SetWindow(0, 0, 2000, 1000, 17), 0);
  const int mode17 = camera_->Register(0x3040);
  EXPECT_EQ(mode17 & 0x4000, 0x4000);
  EXPECT_EQ(mode17 & 0x0FFF, 0x04C3);
  ASSERT_EQ(device_->SetWindow(0, 0, 2000, 1000, 5), 0);
  EXPECT_EQ(camera_->Register(0x3040), mode17);
  EXPECT_EQ(device_->GetOutputWidth(), 2000);
  EXPECT_EQ(device_->GetLineLength(), 2160);
}

TEST_F(Sensor470KX, RejectedWindowsChangeNothing) {
  const int before = device_->GetImageWidth();
  EXPECT_EQ(device_->SetWindow(0, 0, 3, 100, 0), 1);
  EXPECT_EQ(device_->SetWindow(1, 0, 3488, 10, 0), 1);
  EXPECT_EQ(device_->SetWindow(0, 1, 100, 2616, 0), 1);
  EXPECT_EQ(device_->SetWindow(0, 0, 100, 2, 0), 1);
  EXPECT_EQ(device_->SetWindow(-2, 0, 100, 100, 0), 1);
  EXPECT_EQ(device_->SetWindow(0, 0, 100, 100, 21), 1);
  EXPECT_EQ(device_->SetWindow(0, 0, 100, 100, -1), 1);
  EXPECT_EQ(device_->SetWindow(2147483600, 0, 100, 100, 0), 1);  // no overflow past the check
  EXPECT_TRUE(camera_->RegisterWriteLog().empty());
  EXPECT_EQ(device_->GetImageWidth(), before);
}

TEST_F(Sensor470KX, GainEncoding) {
  ASSERT_EQ(device_->SetColorGain(0x3058, 200), 1);
  EXPECT_EQ(camera_->Register(0x3058), 0x10C8);
  int g = -1;
  ASSERT_EQ(device_->GetColorGain(0x3058, &g), 1);
  EXPECT_EQ(g, 72);
  ASSERT_EQ(device_->SetGlobalGain(5), 1);
  EXPECT_EQ(camera_->Register(0x305E), 0x1085);
  EXPECT_EQ(device_->GetGlobalGain(), 5);

  camera_->ClearRegisterWriteLog();
  EXPECT_EQ(device_->SetColorGain(0x305E, 10), 0);
  EXPECT_EQ(device_->GetColorGain(0x3000, &g), 0);
  EXPECT_EQ(device_->GetColorGain(0x3056, nullptr), 0);
  EXPECT_TRUE(camera_->RegisterWriteLog().empty());

  int mn = -1, mx = -1, def = -1;
  EXPECT_EQ(device_->GetColorGainRange(0x305C, &mn, &mx, &def), 1);
  EXPECT_EQ(mn, 0);
  EXPECT_EQ(mx, 127);
  EXPECT_EQ(def, 32);
  EXPECT_EQ(device_->GetColorGainRange(0x305E, &mn, &mx, &def), 0);
  EXPECT_EQ(device_->GetGlobalGainRange(nullptr, &mx, nullptr), 1);
}

TEST_F(Sensor470KX, ExposureLimits) {
  ASSERT_EQ(device_->SetExposure(0), 1);
  EXPECT_EQ(camera_->Register(0x3012), 1);
  ASSERT_EQ(device_->SetExposure(0x4000), 1);
  EXPECT_EQ(camera_->Register(0x3012), 0x3FFF);
  ASSERT_EQ(device_->SetExposure(0x10005), 1);  // low 16 bits
  EXPECT_EQ(device_->GetExposure(), 5);
  ASSERT_EQ(device_->SetExposure(-1), 1);  // 0xFFFF
  EXPECT_EQ(device_->GetExposure(), 0x3FFF);
  EXPECT_EQ(device_->GetExposureMax(), 16383);
  EXPECT_EQ(device_->GetExposureDefault(), 1970);
}

TEST_F(Sensor470KX, MirrorsThroughReadModeAndState) {
  const int base = camera_->Register(0x3040);
  EXPECT_EQ(device_->SetMirrorH(1), 0);
  EXPECT_EQ(camera_->Register(0x3040), base | 0x4000);
  EXPECT_EQ(device_->GetMirrorHState(), 1);
  EXPECT_EQ(device_->GetMirrorVState(), 0);
  device_->SetMirrorV(1);
  EXPECT_EQ(device_->GetMirrorVState(), 1);
  device_->SetMirrorH(0);
  EXPECT_EQ(camera_->Register(0x3040), (base & ~0x4000) | 0x8000);
  EXPECT_EQ(device_->GetMirrorHState(), 0);
  EXPECT_EQ(device_->GetMirrorH(), 0);
  EXPECT_EQ(device_->GetMirrorV(), 1);
}

TEST_F(Sensor470KX, FailedReadDoesNotClobberReadMode) {
  device_->SetMirrorV(1);
  const int before = camera_->Register(0x3040);
  ASSERT_EQ(QuorelSim_InjectFault(0, "fail-register"), 1);
  device_->SetMirrorH(1);
  EXPECT_EQ(camera_->Register(0x3040), before);
}

TEST_F(Sensor470KX, ClockModes) {
  int mode = -1;
  for (auto [set, reg, back] : {std::tuple{1, 16, 1}, {2, 64, 2}, {0, 32, 0}, {9, 32, 0}}) {
    ASSERT_EQ(device_->SetClock(set), 1);
    EXPECT_EQ(camera_->Register(0x0306), reg);
    ASSERT_EQ(device_->GetClock(&mode), 1);
    EXPECT_EQ(mode, back);
  }
  device_->WriteRegister(0x0306, 40);
  ASSERT_EQ(device_->GetClock(&mode), 1);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(device_->GetClock(nullptr), 0);
}

TEST_F(Sensor470KX, SampleDepthAndTrigger) {
  EXPECT_EQ(device_->SetSampleDepth(1), 1);
  EXPECT_EQ(camera_->Port(14), 0x85);
  EXPECT_EQ(device_->GetSampleDepth16(), 1);
  EXPECT_EQ(device_->SetSampleDepth(0), 1);
  EXPECT_EQ(camera_->Port(14), 0x84);

  ASSERT_EQ(device_->SetTriggerMode(1, 0), 1);
  EXPECT_EQ(camera_->Port(11), 0x25);
  EXPECT_EQ(camera_->Register(0x3048), 32);
  EXPECT_EQ(camera_->Register(0x3162), 0x9F);
  EXPECT_EQ(camera_->Register(0x3160), 0);
  EXPECT_EQ(device_->GetTriggerModeFlag(), 1);
  ASSERT_EQ(device_->SetTriggerMode(0, 1), 1);
  EXPECT_EQ(camera_->Port(11), 0);
  EXPECT_EQ(camera_->Register(0x3160), 4);
}

TEST_F(Sensor470KX, LargeTransferFollowsDepth) {
  // 1744 x 1308 = 2,281,152 samples: large only at 16 bits.
  device_->SetSampleDepth(0);
  device_->SetWindow(0, 0, 3488, 2616, 1);
  EXPECT_EQ(device_->GetLargeTransfer(), 0);
  device_->SetSampleDepth(1);
  device_->SetWindow(0, 0, 3488, 2616, 1);
  EXPECT_EQ(device_->GetLargeTransfer(), 1);
}

TEST_F(Sensor470KX, CaptureAndStreamThroughTheDeviceObject) {
  ASSERT_EQ(device_->SetWindow(0, 0, 1000, 1000, 18), 0);  // 250 x 250 raw frame
  std::vector<uint8_t> image(250 * 250, 0);
  ASSERT_EQ(device_->CaptureFrame(), 0);
  ASSERT_EQ(device_->ConvertCaptured(image.data()), 0);
  EXPECT_EQ(device_->ConvertCaptured(nullptr), kSdkNoDestination);
  device_->ReleaseCaptureHandle();

  ASSERT_EQ(device_->StartTransfer(), 0);
  EXPECT_TRUE(device_->IsStreaming());
  EXPECT_EQ(device_->StartTransfer(), kSdkTransferRunning);
  // The ring must not be reallocated under the transfer thread.
  EXPECT_EQ(device_->SetGeometry(100, 0, 100, 10, 0, 10, 4), kSdkTransferRunning);
  EXPECT_EQ(device_->GetImageWidth(), 250);
  int result = 0;
  for (int i = 0; i < 20 && result != 3; ++i) result = device_->WaitNewestFrame();
  ASSERT_EQ(result, 3);
  EXPECT_EQ(device_->ConvertNewest(image.data()), 0);
  EXPECT_EQ(device_->StopTransfer(), 0);
  EXPECT_FALSE(device_->IsStreaming());
  EXPECT_EQ(device_->SetGeometry(100, 0, 100, 10, 0, 10, 4), 0);
}

TEST_F(Sensor470KX, DestroyingWhileStreamingStopsTheThreadFirst) {
  ASSERT_EQ(device_->SetWindow(0, 0, 400, 400, 2), 0);
  ASSERT_EQ(device_->StartTransfer(), 0);
  device_.reset();  // must not leave the thread writing into a freed ring
  const uint32_t delivered = camera_->FramesDelivered();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(camera_->FramesDelivered(), delivered);
}

TEST_F(Sensor470KX, MissingCameraStillGivesAnObject) {
  ASSERT_EQ(QuorelSim_SetPresent(0, 0), 1);
  ASSERT_EQ(QuorelSim_SetPresent(3, 0), 1);
  auto device = CreateDeviceObject();
  ASSERT_NE(device, nullptr);
  EXPECT_FALSE(device->IsUnitPresent(0));
  EXPECT_EQ(device->SetGlobalGain(3), 0);
  EXPECT_EQ(device->GetGlobalGain(), 0);
  EXPECT_EQ(device->CaptureFrame(), kSdkNoDevice);
}

}  // namespace
}  // namespace quorel
