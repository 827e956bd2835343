// The device library: unit naming and selection, the packet bytes of each
// exchange, the two-reply rule, serial-ROM limits, geometry checks and the
// window copy. Packets are recorded through a scripted driver backend; the
// last group runs against the virtual camera.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "QuorelSim.h"
#include "device/CQRLSdkLib.h"
#include "device/DriverChannel.h"
#include "device/PacketLayer.h"

namespace quorel {
namespace {

struct Recorded {
  uint32_t code;
  uint32_t pipe;
  std::vector<uint8_t> data;  // what was sent (pipe 0) or the buffer size asked for
};

// A driver that records every open and request and answers from a script.
class ScriptedBackend : public DriverBackend {
 public:
  std::vector<std::string> opened;
  int closes = 0;
  std::set<std::string> present;
  std::vector<Recorded> requests;
  std::deque<std::vector<uint8_t>> replies;  // answers for pipe-1 receives, in order
  std::deque<bool> replyOk;                  // outcome per receive (default true)
  long shortBy = 0;                          // bytes to withhold from every transfer

  DeviceHandle Open(const std::string &path) override;
};

class ScriptedDevice : public DriverDevice {
 public:
  explicit ScriptedDevice(ScriptedBackend *b) : b_(b) {}
  ~ScriptedDevice() override { ++b_->closes; }
  bool Request(uint32_t code, const void *in, size_t inLength, void *data, size_t length, size_t *moved) override {
    uint32_t pipe = 0;
    if (in != nullptr && inLength >= 4 && code != IOCTL_SET_TIMEOUT) std::memcpy(&pipe, in, 4);
    Recorded r{code, pipe, {}};
    if (code == IOCTL_SET_TIMEOUT) {
      r.data.assign(static_cast<const uint8_t *>(in), static_cast<const uint8_t *>(in) + inLength);
    } else if (pipe == kPipeCommand) {
      r.data.assign(static_cast<uint8_t *>(data), static_cast<uint8_t *>(data) + length);
    } else if (pipe == kPipeReply) {
      r.data.resize(length);
      bool ok = true;
      if (!b_->replyOk.empty()) {
        ok = b_->replyOk.front();
        b_->replyOk.pop_front();
      }
      std::vector<uint8_t> reply = b_->replies.empty() ? std::vector<uint8_t>(64, 0) : b_->replies.front();
      if (!b_->replies.empty()) b_->replies.pop_front();
      b_->requests.push_back(r);
      if (!ok) return false;
      std::memcpy(data, reply.data(), std::min(length, reply.size()));
    }
    if (pipe != kPipeReply) b_->requests.push_back(r);
    if (moved != nullptr) *moved = length - static_cast<size_t>(b_->shortBy);
    return true;
  }

 private:
  ScriptedBackend *b_;
};

DeviceHandle ScriptedBackend::Open(const std::string &path) {
  opened.push_back(path);
  if (!present.count(path)) return nullptr;
  return std::make_unique<ScriptedDevice>(this);
}

// Exposes the model tag setter, as the camera-specific class does.
class TestLib : public CQRLSdkLib {
 public:
  TestLib() { SetModelTag("QrelKX470PLU"); }
  using CQRLSdkLib::sampleDepth16;
};

class DeviceLibrary : public testing::Test {
 protected:
  void SetUp() override {
    backend_ = std::make_shared<ScriptedBackend>();
    previous_ = SetDriverBackendOverride(backend_);
    backend_->present.insert("/dev/QrelKX470PLU-0");
    ASSERT_EQ(lib_.SelectUnit(0), 0);
    backend_->requests.clear();
    backend_->opened.clear();
    backend_->closes = 0;
  }
  void TearDown() override { SetDriverBackendOverride(previous_); }

  std::vector<uint8_t> Packet(std::initializer_list<uint8_t> head) {
    std::vector<uint8_t> p(64, 0);
    std::copy(head.begin(), head.end(), p.begin());
    return p;
  }

  std::shared_ptr<ScriptedBackend> backend_;
  std::shared_ptr<DriverBackend> previous_;
  TestLib lib_;
};

TEST_F(DeviceLibrary, ProbeOpensEveryUnitPathWithNBeforeM) {
  backend_->present = {"/dev/QrelKX470PLU-N", "/dev/QrelKX470PLU-V"};
  EXPECT_EQ(lib_.ProbeUnits(), 2);
  ASSERT_EQ(backend_->opened.size(), 32u);
  EXPECT_EQ(backend_->opened[0], "/dev/QrelKX470PLU-0");
  EXPECT_EQ(backend_->opened[21], "/dev/QrelKX470PLU-L");
  EXPECT_EQ(backend_->opened[22], "/dev/QrelKX470PLU-N");
  EXPECT_EQ(backend_->opened[23], "/dev/QrelKX470PLU-M");
  EXPECT_EQ(backend_->opened[31], "/dev/QrelKX470PLU-V");
  EXPECT_EQ(backend_->closes, 2);  // every successful open is closed again
  EXPECT_TRUE(lib_.IsUnitPresent(22));
  EXPECT_TRUE(lib_.IsUnitPresent(31));
  EXPECT_FALSE(lib_.IsUnitPresent(23));
  EXPECT_FALSE(lib_.IsUnitPresent(32));
  EXPECT_FALSE(lib_.IsUnitPresent(-1));
  EXPECT_EQ(lib_.GetMaxUnits(), 32);
  EXPECT_EQ(lib_.GetUnitIndex(), 0);
}

TEST_F(DeviceLibrary, SelectUnitRangeResetAndPath) {
  EXPECT_EQ(lib_.SelectUnit(32), kSdkBadUnit);
  EXPECT_EQ(lib_.SelectUnit(-1), kSdkBadUnit);
  EXPECT_EQ(lib_.GetUnitIndex(), 0);

  ASSERT_EQ(lib_.SetGeometry(100, 0, 100, 50, 0, 50, 2), 0);
  EXPECT_EQ(lib_.SelectUnit(23), 0);
  EXPECT_STREQ(lib_.GetDevicePath(), "/dev/QrelKX470PLU-M");
  EXPECT_EQ(lib_.GetUnitIndex(), 23);
  EXPECT_EQ(lib_.GetLineTotal(), 1339);
  EXPECT_EQ(lib_.GetLineStart(), 50);
  EXPECT_EQ(lib_.GetImageWidth(), 1280);
  EXPECT_EQ(lib_.GetFrameLines(), 1040);
  EXPECT_EQ(lib_.GetImageTop(), 10);
  EXPECT_EQ(lib_.GetImageHeight(), 1028);
  // Selecting tells the new unit 8-bit samples.
  EXPECT_EQ(backend_->opened.back(), "/dev/QrelKX470PLU-M");
}

// After a unit change the default geometry no longer matches the buffers of
// the old one: conversions must find no buffer rather than copy the default
// window out of a small frame (a heap over-read of 1280 bytes before).
TEST_F(DeviceLibrary, SelectUnitDropsBuffersSizedForTheOldGeometry) {
  for (int unit : {-1, 0, 127}) {
    SCOPED_TRACE(unit);
    ASSERT_EQ(lib_.SetGeometry(64, 0, 64, 48, 0, 48, 4), 0);
    ASSERT_EQ(lib_.CaptureFrame(), 0);
    lib_.SelectUnit(unit);
    EXPECT_EQ(lib_.GetRawBuffer(), nullptr);
    EXPECT_EQ(lib_.GetRingSlot(0), nullptr);
    EXPECT_EQ(lib_.GetTransferSamples(), 0);
    std::vector<uint8_t> dest(size_t{2} * CQRLSdkLib::kDefaultImageWidth * CQRLSdkLib::kDefaultImageHeight);
    EXPECT_EQ(lib_.ConvertCaptured(dest.data()), kSdkNoDestination);
    EXPECT_EQ(lib_.ConvertNewest(dest.data()), kSdkFrameFailed);
    EXPECT_EQ(lib_.CaptureFrame(), kSdkNoDestination);
  }
}

TEST_F(DeviceLibrary, RegisterReadSendsExactPacketAndUsesSecondReply) {
  backend_->replies = {Packet({0x12, 0x34}), Packet({0xAB, 0xCD})};
  int value = -1;
  ASSERT_EQ(lib_.ReadRegister(0x3040, &value), 1);
  EXPECT_EQ(value, 0xABCD);
  ASSERT_EQ(backend_->requests.size(), 3u);
  EXPECT_EQ(backend_->requests[0].code, IOCTL_PIPE_DIRECT_IN);
  EXPECT_EQ(backend_->requests[0].pipe, kPipeCommand);
  EXPECT_EQ(backend_->requests[0].data, Packet({0x0C, 0x30, 0x40, 0x88, 0x88}));
  for (int i = 1; i <= 2; ++i) {
    EXPECT_EQ(backend_->requests[i].code, IOCTL_PIPE_DIRECT_OUT);
    EXPECT_EQ(backend_->requests[i].pipe, kPipeReply);
    EXPECT_EQ(backend_->requests[i].data.size(), 64u);
  }
  EXPECT_EQ(backend_->closes, 1);  // opened for the exchange and closed again
}

TEST_F(DeviceLibrary, OutcomeOfAReadIsThatOfTheSecondReceive) {
  int value = 0;
  backend_->replies = {Packet({1}), Packet({0x00, 0x07})};
  backend_->replyOk = {false, true};
  EXPECT_EQ(lib_.ReadRegister(0x0100, &value), 1);
  EXPECT_EQ(value, 7);

  backend_->replyOk = {true, false};
  EXPECT_EQ(lib_.ReadRegister(0x0100, &value), 0);

  unsigned char byte = 0x55;
  backend_->replyOk = {true, false};
  EXPECT_EQ(lib_.ReadPort(7, &byte), 0);
  EXPECT_EQ(byte, 0);  // a failed port read reports 0
}

TEST_F(DeviceLibrary, WritePacketsCarryTheirBytes) {
  ASSERT_EQ(lib_.WriteRegister(0x305E, 0x10A0), 1);
  ASSERT_EQ(lib_.WritePort(11, 0x25), 1);
  ASSERT_EQ(lib_.WriteSromId(0x1A5, 0x1FF), 1);  // low 8 bits of index and value
  ASSERT_EQ(backend_->requests.size(), 3u);
  EXPECT_EQ(backend_->requests[0].data, Packet({0x04, 0x30, 0x5E, 0x10, 0xA0}));
  EXPECT_EQ(backend_->requests[1].data, Packet({0x25, 11, 0x25}));
  EXPECT_EQ(backend_->requests[2].data, Packet({0x40, 0x51, 0x03, 0x18, 0xA5, 0xFF}));
}

TEST_F(DeviceLibrary, SerialRomReadAddressesAndLimits) {
  unsigned char byte = 0;
  EXPECT_EQ(lib_.ReadSrom(0x17FF, &byte), 0);
  EXPECT_EQ(lib_.ReadSrom(-5, &byte), 0);
  EXPECT_TRUE(backend_->opened.empty());  // refused without device access

  backend_->replies = {Packet({0}), Packet({0x42})};
  ASSERT_EQ(lib_.ReadSromId(0x1FF, &byte), 1);
  EXPECT_EQ(byte, 0x42);
  EXPECT_EQ(backend_->requests[0].data, Packet({0x41, 0x51, 0x02, 0x01, 0x18, 0xFF}));

  backend_->requests.clear();
  ASSERT_EQ(lib_.ReadSrom(0x1EB0, &byte), 1);
  EXPECT_EQ(backend_->requests[0].data, Packet({0x41, 0x51, 0x02, 0x01, 0x1E, 0xB0}));
}

TEST_F(DeviceLibrary, TransfersMustMoveExactlyTheRequestedBytes) {
  backend_->shortBy = 1;
  EXPECT_EQ(lib_.WriteRegister(0x3012, 5), 0);
  EXPECT_EQ(lib_.SendInit(), 0);
  DeviceHandle handle = OpenDevice("/dev/QrelKX470PLU-0");
  uint8_t packet[64] = {};
  EXPECT_EQ(SendPacket(handle.get(), 0, 64, packet), kSdkPacketFailed);
  EXPECT_EQ(ReceivePacket(handle.get(), 1, 64, packet), kSdkPacketFailed);
  EXPECT_EQ(SendPacket(nullptr, 0, 64, packet), kSdkNoDevice);
  backend_->shortBy = 0;
  EXPECT_EQ(SendPacket(handle.get(), 0, 64, packet), kSdkOk);

  // A unit whose path does not open reports failure, not success.
  backend_->present.clear();
  EXPECT_EQ(lib_.WriteRegister(0x3012, 5), 0);
  int value = 0;
  EXPECT_EQ(lib_.ReadRegister(0x3012, &value), 0);
}

TEST_F(DeviceLibrary, SetGeometryChecksInOrder) {
  EXPECT_EQ(lib_.SetGeometry(0, 0, 1, 10, 0, 10, 4), kSdkBadHorizontal);
  EXPECT_EQ(lib_.SetGeometry(10, 0, 0, 10, 0, 10, 4), kSdkBadHorizontal);
  EXPECT_EQ(lib_.SetGeometry(10, 0, 11, 10, 0, 10, 4), kSdkBadHorizontal);
  EXPECT_EQ(lib_.SetGeometry(10, 0, 10, 0, 0, 1, 4), kSdkBadVertical);
  EXPECT_EQ(lib_.SetGeometry(10, 0, 10, 10, 0, 0, 4), kSdkBadVertical);
  EXPECT_EQ(lib_.SetGeometry(10, 0, 10, 10, 1, 10, 4), kSdkBadVertical);
  // Horizontal is checked before vertical, both before the ring count.
  EXPECT_EQ(lib_.SetGeometry(0, 0, 0, 0, 0, 0, 0), kSdkBadHorizontal);
  EXPECT_EQ(lib_.SetGeometry(10, 0, 10, 0, 0, 0, 0), kSdkBadVertical);
  EXPECT_EQ(lib_.SetGeometry(10, 0, 10, 10, 0, 10, 1), kSdkRingTooSmall);
  // A window that starts beyond its row or frame would be copied from
  // outside the raw frame.
  EXPECT_EQ(lib_.SetGeometry(10, 5, 8, 10, 0, 10, 2), kSdkBadHorizontal);
  EXPECT_EQ(lib_.SetGeometry(10, -1, 8, 10, 0, 10, 2), kSdkBadHorizontal);
  EXPECT_EQ(lib_.SetGeometry(10, 0, 10, 10, -1, 5, 2), kSdkBadVertical);
  EXPECT_TRUE(backend_->opened.empty());  // nothing sent for a refused geometry
  EXPECT_EQ(lib_.GetLineTotal(), 1339);   // and nothing stored
}

TEST_F(DeviceLibrary, SetGeometryRoundsTransferAndAllocatesRing) {
  ASSERT_EQ(lib_.SetGeometry(1000, 0, 1000, 3, 0, 3, 4), 0);
  EXPECT_EQ(lib_.GetTransferSamples(), 3072);
  ASSERT_EQ(lib_.SetGeometry(1024, 0, 1024, 3, 0, 3, 3), 0);
  EXPECT_EQ(lib_.GetTransferSamples(), 3072);
  EXPECT_EQ(lib_.GetSlotBytes(), 6144u);
  EXPECT_EQ(lib_.GetRingCount(), 3);
  for (int i = 0; i < 3; ++i) {
    const uint8_t *slot = lib_.GetRingSlot(i);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot[0], 0);
    EXPECT_EQ(slot[6143], 0);
  }
  EXPECT_EQ(lib_.GetRingSlot(3), nullptr);
  ASSERT_NE(lib_.GetRawBuffer(), nullptr);
  // The transfer size goes to the camera little-endian.
  ASSERT_FALSE(backend_->requests.empty());
  EXPECT_EQ(backend_->requests.back().data, Packet({0x09, 0x00, 0x0C, 0x00, 0x00}));
}

TEST_F(DeviceLibrary, CopyWindowTakesRowsFromTheirOffsets) {
  ASSERT_EQ(lib_.SetGeometry(8, 2, 4, 6, 1, 3, 2), 0);
  std::vector<uint8_t> raw(lib_.GetSlotBytes());
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> dest(4 * 3 * 2, 0xEE);

  ASSERT_EQ(lib_.CopyWindow(dest.data(), raw.data()), 0);
  // Row i comes from sample (1 + i) * 8 + 2.
  EXPECT_EQ(std::vector<uint8_t>(dest.begin(), dest.begin() + 12),
            (std::vector<uint8_t>{10, 11, 12, 13, 18, 19, 20, 21, 26, 27, 28, 29}));
  EXPECT_EQ(dest[12], 0xEE);  // nothing beyond the 8-bit window

  lib_.sampleDepth16 = 1;
  ASSERT_EQ(lib_.CopyWindow(dest.data(), raw.data()), 0);
  EXPECT_EQ(dest[0], 20);
  EXPECT_EQ(dest[7], 27);
  EXPECT_EQ(dest[8], 36);
  EXPECT_EQ(lib_.CopyWindow(nullptr, raw.data()), kSdkNoDestination);
}

TEST_F(DeviceLibrary, ClockSelectAndTimeout) {
  EXPECT_EQ(lib_.SetClockSelect(2), 1);
  EXPECT_EQ(lib_.GetClockSelectValue(), 2);
  EXPECT_EQ(lib_.SetClockSelect(9), 1);
  EXPECT_EQ(lib_.GetClockSelectValue(), 1);

  EXPECT_EQ(lib_.SetTimeout(3000), 1);
  ASSERT_EQ(backend_->requests.size(), 1u);
  EXPECT_EQ(backend_->requests[0].code, IOCTL_SET_TIMEOUT);
  std::vector<uint8_t> block(44, 0);
  block[0] = 1;
  block[4] = 0xB8;
  block[5] = 0x0B;
  EXPECT_EQ(backend_->requests[0].data, block);
}

// --- against the virtual camera ---

class DeviceLibrarySim : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QuorelSim_Enable("units=0,3"), 1);
    lib_.ProbeUnits();
  }
  TestLib lib_;
};

TEST_F(DeviceLibrarySim, ProbeFindsConfiguredUnits) {
  EXPECT_TRUE(lib_.IsUnitPresent(0));
  EXPECT_TRUE(lib_.IsUnitPresent(3));
  EXPECT_FALSE(lib_.IsUnitPresent(1));
  ASSERT_EQ(QuorelSim_SetPresent(3, 0), 1);
  lib_.ProbeUnits();
  EXPECT_FALSE(lib_.IsUnitPresent(3));
}

TEST_F(DeviceLibrarySim, RegistersPortsAndRomRoundTrip) {
  ASSERT_EQ(lib_.SelectUnit(3), 0);
  ASSERT_EQ(lib_.WriteRegister(0x3012, 0x1234), 1);
  int value = 0;
  ASSERT_EQ(lib_.ReadRegister(0x3012, &value), 1);
  EXPECT_EQ(value, 0x1234);
  ASSERT_EQ(lib_.WritePort(7, 0x5A), 1);
  unsigned char byte = 0;
  ASSERT_EQ(lib_.ReadPort(7, &byte), 1);
  EXPECT_EQ(byte, 0x5A);
  ASSERT_EQ(lib_.ReadSromId(0, &byte), 1);
  EXPECT_EQ(byte, 'Q');
  ASSERT_EQ(lib_.WriteSromId(0x40, 0x99), 1);
  ASSERT_EQ(lib_.ReadSrom(0x1840, &byte), 1);
  EXPECT_EQ(byte, 0x99);
  // Unit 0 has its own register file.
  ASSERT_EQ(lib_.SelectUnit(0), 0);
  ASSERT_EQ(lib_.ReadRegister(0x3012, &value), 1);
  EXPECT_NE(value, 0x1234);
}

TEST_F(DeviceLibrarySim, RegisterFaultFailsTheExchange) {
  ASSERT_EQ(lib_.SelectUnit(0), 0);
  ASSERT_EQ(QuorelSim_InjectFault(0, "fail-register"), 1);
  int value = 0;
  EXPECT_EQ(lib_.ReadRegister(0x3012, &value), 0);
  EXPECT_EQ(QuorelSim_InjectFault(0, "melt"), 0);
  EXPECT_EQ(QuorelSim_InjectFault(0, nullptr), 0);
  EXPECT_EQ(QuorelSim_InjectFault(40, "fail-frame"), 0);
}

TEST_F(DeviceLibrarySim, UnpluggedUnitFailsCleanly) {
  ASSERT_EQ(lib_.SelectUnit(3), 0);
  ASSERT_EQ(QuorelSim_SetPresent(3, 0), 1);
  int value = 0;
  EXPECT_EQ(lib_.ReadRegister(0x3012, &value), 0);
  EXPECT_EQ(lib_.WriteRegister(0x3012, 1), 0);
  EXPECT_EQ(QuorelSim_SetPresent(32, 1), 0);
}

}  // namespace
}  // namespace quorel
