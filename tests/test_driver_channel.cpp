// The driver channel: path formatting, backend choice, the kernel backend's
// failure paths, and the virtual camera's exact byte counts on every pipe.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "QuorelDriver.h"
#include "QuorelSim.h"
#include "device/DriverChannel.h"
#include "device/KernelDriverBackend.h"
#include "device/PacketLayer.h"
#include "device/SimDriverBackend.h"
#include "device/UnitSuffix.h"

namespace quorel {
namespace {

TEST(DriverChannel, DevicePathsAndSuffixes) {
  EXPECT_EQ(FormatDevicePath("QrelKX470PLU", UnitSuffix(0)), "/dev/QrelKX470PLU-0");
  EXPECT_EQ(FormatDevicePath("QrelKX470PLU", UnitSuffix(10)), "/dev/QrelKX470PLU-A");
  EXPECT_EQ(FormatDevicePath("QrelKX470PLU", UnitSuffix(22)), "/dev/QrelKX470PLU-N");
  EXPECT_EQ(FormatDevicePath("QrelKX470PLU", UnitSuffix(23)), "/dev/QrelKX470PLU-M");
  EXPECT_EQ(FormatDevicePath("QrelKX470PLU", UnitSuffix(35)), "/dev/QrelKX470PLU-Z");
  EXPECT_EQ(UnitSuffix(36), nullptr);
  EXPECT_EQ(UnitSuffix(-1), nullptr);
  for (int i = 0; i < kUnitSuffixCount; ++i) EXPECT_EQ(UnitFromSuffix(UnitSuffix(i)), i);
  EXPECT_EQ(UnitFromSuffix("MN"), -1);
  EXPECT_EQ(UnitFromSuffix(nullptr), -1);
}

TEST(DriverChannel, RequestCodesAndArgumentLayout) {
  EXPECT_EQ(IOCTL_PIPE_DIRECT_IN, 0x222051u);
  EXPECT_EQ(IOCTL_PIPE_DIRECT_OUT, 0x22204Eu);
  EXPECT_EQ(IOCTL_PIPE_DIRECT_IN_LARGE, 0x2220A9u);
  EXPECT_EQ(IOCTL_SET_TIMEOUT, 0x2220A0u);
  EXPECT_EQ(offsetof(QuorelDriverRequest, buffer), 8u);
  EXPECT_EQ(offsetof(QuorelDriverRequest, transferred), 24u);
}

TEST(DriverChannel, SimSelectedByEnvironment) {
  // Every test process runs with QUOREL_DRIVER=sim.
  EXPECT_TRUE(SimDriverSelected());
  EXPECT_NE(dynamic_cast<SimDriverBackend *>(CurrentDriverBackend().get()), nullptr);
}

TEST(DriverChannel, KernelBackendFailsCleanly) {
  KernelDriverBackend kernel;
  EXPECT_EQ(kernel.Open("/dev/QrelKX470PLU-does-not-exist"), nullptr);
  // A node that is not the camera: the request fails rather than succeeding
  // with an unknown count.
  DeviceHandle handle = kernel.Open("/dev/null");
  ASSERT_NE(handle, nullptr);
  uint8_t packet[64] = {};
  EXPECT_FALSE(handle->PipeTransfer(IOCTL_PIPE_DIRECT_IN, 0, packet, sizeof(packet)));
  size_t moved = 99;
  EXPECT_FALSE(handle->Request(IOCTL_PIPE_DIRECT_IN, nullptr, 0, packet, sizeof(packet), &moved));
  EXPECT_EQ(moved, 0u);
}

TEST(DriverChannel, OverrideIsUsedAndRemoved) {
  struct Refusing : DriverBackend {
    int opens = 0;
    DeviceHandle Open(const std::string &) override {
      ++opens;
      return nullptr;
    }
  };
  auto refusing = std::make_shared<Refusing>();
  auto previous = SetDriverBackendOverride(refusing);
  EXPECT_EQ(OpenDevice("/dev/QrelKX470PLU-0"), nullptr);
  EXPECT_EQ(refusing->opens, 1);
  SetDriverBackendOverride(previous);
  EXPECT_EQ(OpenDevice(nullptr), nullptr);
  EXPECT_EQ(OpenDevice(""), nullptr);
}

class SimChannel : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QuorelSim_Enable("units=0,3"), 1);
    handle_ = OpenDevice("/dev/QrelKX470PLU-3");
    ASSERT_NE(handle_, nullptr);
  }
  // Programs a transfer size as the host does: the command and ports 0..3.
  bool TransferSize(uint32_t samples) {
    bool ok = Command({CMD_TRANSFER_SIZE, static_cast<uint8_t>(samples), static_cast<uint8_t>(samples >> 8),
                       static_cast<uint8_t>(samples >> 16), static_cast<uint8_t>(samples >> 24)});
    for (uint8_t port = 0; port < 4; ++port) {
      ok = Command({CMD_WRITE_PORT, port, static_cast<uint8_t>(samples >> (8 * port))}) && ok;
    }
    return ok;
  }
  bool Command(std::initializer_list<uint8_t> head, uint32_t code = IOCTL_PIPE_DIRECT_IN) {
    uint8_t packet[64] = {};
    std::copy(head.begin(), head.end(), packet);
    return handle_->PipeTransfer(code, kPipeCommand, packet, sizeof(packet));
  }
  DeviceHandle handle_;
};

TEST_F(SimChannel, OnlyConfiguredUnitsOpen) {
  EXPECT_NE(OpenDevice("/dev/QrelKX470PLU-0"), nullptr);
  EXPECT_EQ(OpenDevice("/dev/QrelKX470PLU-1"), nullptr);
  EXPECT_EQ(OpenDevice("/dev/QrelKX470PLU-W"), nullptr);  // unit 32 does not exist
  EXPECT_EQ(OpenDevice("/dev/OtherModel-0"), nullptr);
  EXPECT_EQ(OpenDevice("/dev/QrelKX470PLU-"), nullptr);
}

TEST_F(SimChannel, PacketsMoveExactlySixtyFourBytes) {
  uint8_t big[128] = {CMD_READ_REGISTER, 0x30, 0x12, 0x88, 0x88};
  EXPECT_FALSE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeCommand, big, 63));
  EXPECT_FALSE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeCommand, big, 65));
  ASSERT_TRUE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeCommand, big, 64));
  uint8_t reply[128];
  // A smaller buffer overflows; a larger one gets only 64 bytes, which does
  // not count as success.
  EXPECT_FALSE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_OUT, kPipeReply, reply, 32));
  EXPECT_FALSE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_OUT, kPipeReply, reply, 128));
  // Replies come only on the "out" request.
  ASSERT_TRUE(Command({CMD_READ_REGISTER, 0x30, 0x12, 0x88, 0x88}));
  EXPECT_FALSE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeReply, reply, 64));
}

TEST_F(SimChannel, AnswerComesInTheSecondReply) {
  ASSERT_TRUE(Command({CMD_WRITE_REGISTER, 0x30, 0x12, 0x07, 0xB2}));
  ASSERT_TRUE(Command({CMD_READ_REGISTER, 0x30, 0x12, 0x88, 0x88}));
  uint8_t first[64], second[64];
  ASSERT_TRUE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_OUT, kPipeReply, first, 64));
  ASSERT_TRUE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_OUT, kPipeReply, second, 64));
  EXPECT_EQ(second[0], 0x07);
  EXPECT_EQ(second[1], 0xB2);
  EXPECT_NE(first[0] << 8 | first[1], 0x07B2);
  // Nothing more to receive: the request runs into the time-out.
  EXPECT_FALSE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_OUT, kPipeReply, first, 64));
  EXPECT_FALSE(Command({0x7F}));  // unknown command
}

TEST_F(SimChannel, FrameIsExactlyTheProgrammedTransfer) {
  // 3072 samples of 8 bits.
  ASSERT_TRUE(TransferSize(3072));
  ASSERT_TRUE(Command({CMD_WRITE_PORT, 14, 0x84}));
  std::vector<uint8_t> frame(8192, 0);
  ASSERT_TRUE(Command({CMD_PREPARE}));
  ASSERT_TRUE(Command({CMD_CAPTURE}));
  ASSERT_TRUE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeData, frame.data(), 3072));
  ASSERT_TRUE(Command({CMD_CAPTURE}));
  EXPECT_FALSE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeData, frame.data(), 4096));
  // 16-bit samples double the frame.
  ASSERT_TRUE(Command({CMD_WRITE_PORT, 14, 0x85}));
  ASSERT_TRUE(Command({CMD_CAPTURE}, IOCTL_PIPE_DIRECT_OUT));
  ASSERT_TRUE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeData, frame.data(), 6144));
  // A big frame needs the large request.
  ASSERT_TRUE(TransferSize(2u << 20));  // 2 MSamples, 4 MB
  std::vector<uint8_t> large(4u << 20);
  ASSERT_TRUE(Command({CMD_CAPTURE}));
  EXPECT_FALSE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeData, large.data(), large.size()));
  ASSERT_TRUE(Command({CMD_CAPTURE}));
  EXPECT_TRUE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN_LARGE, kPipeData, large.data(), large.size()));
}

TEST_F(SimChannel, FrameFaults) {
  ASSERT_TRUE(TransferSize(1024));
  ASSERT_TRUE(Command({CMD_WRITE_PORT, 14, 0x84}));
  std::vector<uint8_t> frame(1024);
  ASSERT_EQ(QuorelSim_InjectFault(3, "short-frame"), 1);
  ASSERT_TRUE(Command({CMD_CAPTURE}));
  EXPECT_FALSE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeData, frame.data(), frame.size()));
  ASSERT_EQ(QuorelSim_InjectFault(3, "fail-frame"), 1);
  ASSERT_TRUE(Command({CMD_CAPTURE}));
  EXPECT_FALSE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeData, frame.data(), frame.size()));
  ASSERT_TRUE(Command({CMD_CAPTURE}));
  EXPECT_TRUE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeData, frame.data(), frame.size()));
  // No frame without a capture command.
  EXPECT_FALSE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeData, frame.data(), frame.size()));
  EXPECT_EQ(QuorelSim_InjectFault(3, "stall=abc"), 0);
}

TEST_F(SimChannel, TriggerModeWaitsForAPulse) {
  ASSERT_TRUE(TransferSize(1024));
  ASSERT_TRUE(Command({CMD_WRITE_PORT, 14, 0x84}));
  ASSERT_TRUE(Command({CMD_WRITE_PORT, 11, 0x25}));
  uint8_t block[QUOREL_TIMEOUT_BLOCK_SIZE] = {1, 0, 0, 0, 50};  // 50 ms
  ASSERT_TRUE(handle_->Request(IOCTL_SET_TIMEOUT, block, sizeof(block), nullptr, 0, nullptr));
  std::vector<uint8_t> frame(1024);
  ASSERT_TRUE(Command({CMD_CAPTURE}));
  EXPECT_FALSE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeData, frame.data(), frame.size()));
  ASSERT_EQ(QuorelSim_Trigger(3), 1);
  ASSERT_TRUE(Command({CMD_CAPTURE}));
  EXPECT_TRUE(handle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeData, frame.data(), frame.size()));
  EXPECT_EQ(QuorelSim_Trigger(1), 0);  // not present
}

TEST_F(SimChannel, TimeoutBlockIsTaken) {
  uint8_t block[QUOREL_TIMEOUT_BLOCK_SIZE] = {1, 0, 0, 0, 0x10, 0x27};
  EXPECT_TRUE(handle_->Request(IOCTL_SET_TIMEOUT, block, sizeof(block), nullptr, 0, nullptr));
  EXPECT_EQ(SimDriverBackend::Instance()->Unit(3)->TimeoutMs(), 10000);
  EXPECT_FALSE(handle_->Request(IOCTL_SET_TIMEOUT, block, 40, nullptr, 0, nullptr));
}

TEST_F(SimChannel, UnplugFailsOpenHandles) {
  ASSERT_EQ(QuorelSim_SetPresent(3, 0), 1);
  EXPECT_FALSE(Command({CMD_INIT}));
  EXPECT_EQ(OpenDevice("/dev/QrelKX470PLU-3"), nullptr);
  ASSERT_EQ(QuorelSim_SetPresent(3, 1), 1);
  EXPECT_TRUE(Command({CMD_INIT}));
}

}  // namespace
}  // namespace quorel
