// Window handles and posted messages, through the public host functions.
#include <gtest/gtest.h>
#include <poll.h>

#include <set>

#include "QuorelHost.h"
#include "platform/HostWindows.h"

namespace quorel {
namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

// Destroys the window at the end of a test, whatever happened.
struct WindowGuard {
  HWND hwnd;
  ~WindowGuard() { QuorelHost_DestroyWindow(hwnd); }
};

TEST(HostMessages, MessagesArriveInOrderWithTheirFields) {
  WindowGuard w{QuorelHost_CreateMessageWindow()};
  ASSERT_NE(w.hwnd, nullptr);
  EXPECT_TRUE(HostIsWindow(w.hwnd));
  EXPECT_EQ(HostWindowXid(w.hwnd), 0u);

  ASSERT_TRUE(HostPostMessage(w.hwnd, QUOREL_WM_ERROR, 0, 9));
  ASSERT_TRUE(HostPostMessage(w.hwnd, QUOREL_WM_FRAME, 0x1000, -1));

  QuorelHostMsg msg{};
  ASSERT_EQ(QuorelHost_PeekMessage(w.hwnd, &msg), 1);
  EXPECT_EQ(msg.hwnd, w.hwnd);
  EXPECT_EQ(msg.message, QUOREL_WM_ERROR);
  EXPECT_EQ(msg.wParam, 0u);
  EXPECT_EQ(msg.lParam, 9);
  ASSERT_EQ(QuorelHost_PeekMessage(w.hwnd, &msg), 1);
  EXPECT_EQ(msg.message, QUOREL_WM_FRAME);
  EXPECT_EQ(msg.wParam, 0x1000u);
  EXPECT_EQ(msg.lParam, -1);
  EXPECT_EQ(QuorelHost_PeekMessage(w.hwnd, &msg), 0);
  EXPECT_EQ(QuorelHost_PeekMessage(w.hwnd, nullptr), 0);
  EXPECT_EQ(QuorelHost_WaitMessage(w.hwnd, &msg, 20), 0);

  // Another window's queue is its own.
  WindowGuard other{QuorelHost_CreateMessageWindow()};
  ASSERT_NE(other.hwnd, w.hwnd);
  ASSERT_TRUE(HostPostMessage(other.hwnd, 1, 0, 0));
  EXPECT_EQ(QuorelHost_PeekMessage(w.hwnd, &msg), 0);
}

TEST(HostMessages, DestroyedAndUnknownWindowsLoseMessages) {
  HWND hwnd = QuorelHost_CreateMessageWindow();
  ASSERT_NE(hwnd, nullptr);
  ASSERT_TRUE(HostPostMessage(hwnd, 1, 0, 0));
  EXPECT_EQ(QuorelHost_DestroyWindow(hwnd), 1);
  EXPECT_EQ(QuorelHost_DestroyWindow(hwnd), 0);
  EXPECT_EQ(QuorelHost_DestroyWindow(nullptr), 0);
  EXPECT_FALSE(HostIsWindow(hwnd));

  QuorelHostMsg msg{};
  EXPECT_FALSE(HostPostMessage(hwnd, 2, 0, 0));
  EXPECT_EQ(QuorelHost_PeekMessage(hwnd, &msg), 0);
  EXPECT_EQ(QuorelHost_WaitMessage(hwnd, &msg, 10), 0);
  EXPECT_EQ(QuorelHost_GetEventFd(hwnd), -1);

  HWND forged = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x12345678));
  EXPECT_FALSE(HostPostMessage(forged, 1, 0, 0));
  EXPECT_EQ(QuorelHost_PeekMessage(forged, &msg), 0);
  EXPECT_EQ(QuorelHost_GetEventFd(forged), -1);
}

TEST(HostMessages, DestroyedHandlesAreNotHandedOutAgain) {
  std::set<HWND> seen;
  for (int i = 0; i < 1000; ++i) {
    HWND hwnd = QuorelHost_CreateMessageWindow();
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(seen.insert(hwnd).second) << "handle reused after " << i << " windows";
    ASSERT_EQ(QuorelHost_DestroyWindow(hwnd), 1);
  }
}

TEST(HostMessages, FullQueueLosesFurtherPosts) {
  WindowGuard w{QuorelHost_CreateMessageWindow()};
  ASSERT_NE(w.hwnd, nullptr);
  for (size_t i = 0; i < kHostQueueLimit; ++i) ASSERT_TRUE(HostPostMessage(w.hwnd, 1, i, 0)) << i;
  EXPECT_FALSE(HostPostMessage(w.hwnd, 1, kHostQueueLimit, 0));

  QuorelHostMsg msg{};
  ASSERT_EQ(QuorelHost_PeekMessage(w.hwnd, &msg), 1);
  EXPECT_EQ(msg.wParam, 0u);
  EXPECT_TRUE(HostPostMessage(w.hwnd, 1, 12345, 0));
  size_t count = 0;
  WPARAM last = 0;
  while (QuorelHost_PeekMessage(w.hwnd, &msg) == 1) {
    ++count;
    last = msg.wParam;
  }
  EXPECT_EQ(count, kHostQueueLimit);
  EXPECT_EQ(last, 12345u);
}

TEST(HostMessages, EventFdIsReadableExactlyWhileMessagesWait) {
  WindowGuard w{QuorelHost_CreateMessageWindow()};
  const int fd = QuorelHost_GetEventFd(w.hwnd);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(Readable(fd));
  ASSERT_TRUE(HostPostMessage(w.hwnd, 1, 0, 0));
  ASSERT_TRUE(HostPostMessage(w.hwnd, 2, 0, 0));
  EXPECT_TRUE(Readable(fd));

  QuorelHostMsg msg{};
  ASSERT_EQ(QuorelHost_PeekMessage(w.hwnd, &msg), 1);
  EXPECT_TRUE(Readable(fd)) << "one message still waits";
  ASSERT_EQ(QuorelHost_PeekMessage(w.hwnd, &msg), 1);
  EXPECT_FALSE(Readable(fd));

  ASSERT_TRUE(HostPostMessage(w.hwnd, 3, 0, 0));
  EXPECT_TRUE(Readable(fd));
  ASSERT_EQ(QuorelHost_WaitMessage(w.hwnd, &msg, 0), 1);
  EXPECT_FALSE(Readable(fd));
}

TEST(HostMessages, NullWindowPostsGoToTheCallingThreadsQueue) {
  ASSERT_TRUE(HostPostMessage(nullptr, QUOREL_WM_ERROR, 0, 4));
  const int fd = QuorelHost_GetEventFd(nullptr);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(Readable(fd));

  QuorelHostMsg msg{};
  ASSERT_EQ(QuorelHost_PeekMessage(nullptr, &msg), 1);
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_EQ(msg.message, QUOREL_WM_ERROR);
  EXPECT_EQ(msg.lParam, 4);
  EXPECT_FALSE(Readable(fd));
  // Nothing can arrive while this thread waits on its own queue: no hang.
  EXPECT_EQ(QuorelHost_WaitMessage(nullptr, &msg, -1), 0);
}

TEST(HostMessages, X11WindowsAreRegisteredOncePerXid) {
  EXPECT_EQ(QuorelHost_WrapX11Window(0), nullptr);
  WindowGuard a{QuorelHost_WrapX11Window(0x3a00007)};
  ASSERT_NE(a.hwnd, nullptr);
  EXPECT_EQ(HostWindowXid(a.hwnd), 0x3a00007u);
  EXPECT_EQ(QuorelHost_WrapX11Window(0x3a00007), a.hwnd);
  WindowGuard b{QuorelHost_WrapX11Window(0x3a00008)};
  EXPECT_NE(b.hwnd, a.hwnd);

  ASSERT_TRUE(HostPostMessage(a.hwnd, 7, 0, 0));
  QuorelHostMsg msg{};
  EXPECT_EQ(QuorelHost_PeekMessage(a.hwnd, &msg), 1);
  EXPECT_EQ(msg.message, 7u);
  EXPECT_EQ(HostWindowXid(nullptr), 0u);
}

}  // namespace
}  // namespace quorel
