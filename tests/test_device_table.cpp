// The cross-process device table, with real second processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device/DeviceTable.h"

namespace quorel {
namespace {

HWND Window(uintptr_t value) {
  return reinterpret_cast<HWND>(value);
}

// Gives one test its own shared-memory name (passed on to child processes
// through the environment) and removes the object afterwards.
class ScopedShmName {
 public:
  explicit ScopedShmName(const std::string &suffix) {
    const char *base = std::getenv("QUOREL_SHM_NAME");
    saved_ = base != nullptr ? base : "";
    name_ = saved_ + "_" + suffix;
    shm_unlink(name_.c_str());
    setenv("QUOREL_SHM_NAME", name_.c_str(), 1);
  }
  ~ScopedShmName() {
    shm_unlink(name_.c_str());
    setenv("QUOREL_SHM_NAME", saved_.c_str(), 1);
  }
  const std::string &name() const { return name_; }

 private:
  std::string saved_;
  std::string name_;
};

// A second mapping of the object, to look at raw bytes as another program would.
class RawView {
 public:
  explicit RawView(const std::string &name) {
    const int fd = shm_open(name.c_str(), O_RDWR, 0);
    if (fd < 0) return;
    void *p = mmap(nullptr, DeviceTable::kObjectSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p != MAP_FAILED) bytes_ = static_cast<unsigned char *>(p);
  }
  ~RawView() {
    if (bytes_ != nullptr) munmap(bytes_, DeviceTable::kObjectSize);
  }
  bool ok() const { return bytes_ != nullptr; }
  unsigned char *entry(int unit) const { return bytes_ + DeviceTable::EntryOffset(unit); }
  uint64_t Word(int unit, size_t offset) const {
    uint64_t v;
    std::memcpy(&v, entry(unit) + offset, sizeof v);
    return v;
  }
  void SetWord(int unit, size_t offset, uint64_t v) { std::memcpy(entry(unit) + offset, &v, sizeof v); }
  unsigned char *bytes() const { return bytes_; }

 private:
  unsigned char *bytes_ = nullptr;
};

// The helper program under fork/exec, driven line by line through pipes.
class Child {
 public:
  static constexpr const char *kPath = QUOREL_BINARY_DIR "/tests/device_table_child";

  Child() {
    // The helper is a separate build target; without it every answer is empty.
    if (access(kPath, X_OK) != 0) return;
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) return;
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
      close(toChild[0]);
      close(toChild[1]);
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      dup2(toChild[0], STDIN_FILENO);
      dup2(fromChild[1], STDOUT_FILENO);
      char *const argv[] = {const_cast<char *>(kPath), nullptr};
      execv(kPath, argv);
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    in_ = toChild[1];
    out_ = fromChild[0];
  }
  ~Child() {
    if (in_ >= 0) close(in_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  // Sends a command and returns the reply line (without newline), or "" when
  // the child did not answer within five seconds.
  std::string Ask(const std::string &command) {
    const std::string line = command + "\n";
    if (write(in_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "";
    return ReadLine();
  }

  std::string ReadLine() {
    std::string line;
    for (;;) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) return "";
      char c;
      if (read(out_, &c, 1) != 1) return "";
      if (c == '\n') return line;
      line += c;
    }
  }

  // Kills the child and reaps it, so its pid no longer names a process.
  void KillAndReap() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
};

constexpr size_t kWindowField = 0;
constexpr size_t kModuleField = 8;
constexpr size_t kHoldField = 16;
constexpr size_t kLibraryField = 24;

TEST(DeviceTable, FirstUserCreatesLaterUserOpensWithoutClearing) {
  ScopedShmName shm("create");
  DeviceTable table;
  ASSERT_TRUE(table.Open());
  EXPECT_TRUE(table.WasCreated());

  RawView raw(shm.name());
  ASSERT_TRUE(raw.ok());
  // Bytes of the cleared region that another program may be using.
  raw.bytes()[0x10] = 0xA5;
  raw.bytes()[DeviceTable::kClearedPrefix - 1] = 0x5A;
  ASSERT_EQ(table.ClaimUnit(3, Window(0x1234)), 1);

  Child child;
  ASSERT_TRUE(child.started()) << "cannot start " << Child::kPath;
  EXPECT_EQ(child.ReadLine(), "open 1 0");
  EXPECT_EQ(child.Ask("inuse 3"), "inuse 1");
  EXPECT_EQ(raw.bytes()[0x10], 0xA5);
  EXPECT_EQ(raw.bytes()[DeviceTable::kClearedPrefix - 1], 0x5A);

  // A second object in this process opens the same table.
  DeviceTable second;
  ASSERT_TRUE(second.Open());
  EXPECT_FALSE(second.WasCreated());
  EXPECT_TRUE(second.IsUnitInUse(3));
}

TEST(DeviceTable, ClaimWritesTheEntryLayoutAndReleaseClearsIt) {
  ScopedShmName shm("layout");
  DeviceTable table;
  ASSERT_TRUE(table.Open());
  RawView raw(shm.name());
  ASSERT_TRUE(raw.ok());

  ASSERT_EQ(table.ClaimUnit(31, Window(0xABCDEF)), 1);
  EXPECT_EQ(DeviceTable::EntryOffset(31), 0x1DFC00u + 152u * 31u);
  EXPECT_EQ(raw.Word(31, kWindowField), 0xABCDEFu);
  EXPECT_EQ(static_cast<uint32_t>(raw.Word(31, kModuleField)), static_cast<uint32_t>(getpid()));
  EXPECT_EQ(raw.Word(31, kHoldField), 0u);
  EXPECT_STREQ(reinterpret_cast<const char *>(raw.entry(31) + kLibraryField), "QuorelSdk_470KX_PLU.dll");
  // Neighbouring entries stay untouched.
  EXPECT_EQ(raw.Word(30, kWindowField), 0u);
  EXPECT_EQ(raw.entry(31)[152], 0u);

  ASSERT_EQ(table.ReleaseUnit(31, Window(0xABCDEF)), 1);
  EXPECT_EQ(raw.Word(31, kWindowField), 0u);
  EXPECT_EQ(raw.Word(31, kModuleField), 0u);
  EXPECT_EQ(raw.entry(31)[kLibraryField], 0u);
  EXPECT_FALSE(table.IsUnitInUse(31));
}

TEST(DeviceTable, ClaimInOneProcessIsSeenInAnotherAndOnlyTheOwnerReleases) {
  ScopedShmName shm("cross");
  DeviceTable table;
  ASSERT_TRUE(table.Open());
  Child child;
  ASSERT_TRUE(child.started()) << "cannot start " << Child::kPath;
  ASSERT_EQ(child.ReadLine(), "open 1 0");

  EXPECT_EQ(child.Ask("claim 5 1234"), "claim 1");
  EXPECT_TRUE(table.IsUnitInUse(5));
  EXPECT_FALSE(table.IsUnitInUse(4));

  // The same window value from another process is not the owner.
  EXPECT_EQ(table.ReleaseUnit(5, Window(0x1234)), 1);
  EXPECT_TRUE(table.IsUnitInUse(5));
  // Nor is another window of the owning process.
  EXPECT_EQ(child.Ask("release 5 999"), "release 1");
  EXPECT_TRUE(table.IsUnitInUse(5));

  EXPECT_EQ(child.Ask("release 5 1234"), "release 1");
  EXPECT_FALSE(table.IsUnitInUse(5));

  // And the other way round.
  ASSERT_EQ(table.ClaimUnit(6, Window(0x77)), 1);
  EXPECT_EQ(child.Ask("inuse 6"), "inuse 1");
}

// The table made by the first user of the machine (root, say, with a strict
// umask) must serve the next user too, who sees the first user's claims:
// with a 0600 table the second user's camera was never ready.
TEST(DeviceTable, AnotherUserOpensTheTableAndSeesItsClaims) {
  ScopedShmName shm("users");
  const mode_t oldMask = umask(077);
  DeviceTable table;
  const bool opened = table.Open();
  umask(oldMask);
  ASSERT_TRUE(opened);
  struct stat st {};
  ASSERT_EQ(stat(("/dev/shm" + shm.name()).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u);
  if (geteuid() != 0) GTEST_SKIP() << "switching to another user needs root";

  ASSERT_EQ(table.ClaimUnit(3, Window(0x55)), 1);
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    DeviceTable other;
    if (!other.Open()) _exit(3);
    if (!other.IsUnitInUse(3) || other.IsUnitInUse(4)) _exit(4);
    _exit(other.ClaimUnit(4, Window(0x66)) == 1 ? 0 : 5);
  }
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(DeviceTable, ClaimOfAKilledProcessCountsAsFree) {
  ScopedShmName shm("killed");
  DeviceTable table;
  ASSERT_TRUE(table.Open());
  Child child;
  ASSERT_TRUE(child.started()) << "cannot start " << Child::kPath;
  ASSERT_EQ(child.ReadLine(), "open 1 0");
  ASSERT_EQ(child.Ask("claim 7 42"), "claim 1");
  ASSERT_TRUE(table.IsUnitInUse(7));

  child.KillAndReap();
  EXPECT_FALSE(table.IsUnitInUse(7));
  // The unit can be taken over.
  ASSERT_EQ(table.ClaimUnit(7, Window(0x43)), 1);
  EXPECT_TRUE(table.IsUnitInUse(7));
}

TEST(DeviceTable, ClaimWhoseProcessIdWasReusedCountsAsFree) {
  ScopedShmName shm("reuse");
  DeviceTable table;
  ASSERT_TRUE(table.Open());
  RawView raw(shm.name());
  ASSERT_TRUE(raw.ok());

  const uint64_t ours = DeviceTable::CurrentOwnerModule();
  ASSERT_NE(ours >> 32, 0u) << "start time of this process not found";
  raw.SetWord(8, kWindowField, 0x99);
  raw.SetWord(8, kModuleField, ours);
  EXPECT_TRUE(table.IsUnitInUse(8));
  // Same pid, other start time: an earlier process that had this pid.
  raw.SetWord(8, kModuleField, DeviceTable::PackOwnerModule(static_cast<uint32_t>(getpid()), (ours >> 32) + 1));
  EXPECT_FALSE(table.IsUnitInUse(8));
}

TEST(DeviceTable, NullWindowStillClaimsExclusively) {
  ScopedShmName shm("headless");
  DeviceTable table;
  ASSERT_TRUE(table.Open());
  RawView raw(shm.name());
  ASSERT_TRUE(raw.ok());
  Child child;
  ASSERT_TRUE(child.started()) << "cannot start " << Child::kPath;
  ASSERT_EQ(child.ReadLine(), "open 1 0");

  ASSERT_EQ(child.Ask("claim 9 0"), "claim 1");
  EXPECT_NE(raw.Word(9, kWindowField), 0u);
  EXPECT_TRUE(table.IsUnitInUse(9));
  EXPECT_EQ(table.ReleaseUnit(9, nullptr), 1);
  EXPECT_TRUE(table.IsUnitInUse(9));
  EXPECT_EQ(child.Ask("release 9 0"), "release 1");
  EXPECT_FALSE(table.IsUnitInUse(9));

  // Two headless camera objects in one process do not release each other's claims.
  DeviceTable other;
  ASSERT_TRUE(other.Open());
  ASSERT_EQ(table.ClaimUnit(10, nullptr), 1);
  EXPECT_EQ(other.ReleaseUnit(10, nullptr), 1);
  EXPECT_TRUE(other.IsUnitInUse(10));
  EXPECT_EQ(table.ReleaseUnit(10, nullptr), 1);
  EXPECT_FALSE(other.IsUnitInUse(10));
}

TEST(DeviceTable, HoldWordKeepsTheClaimOnRelease) {
  ScopedShmName shm("hold");
  DeviceTable table;
  ASSERT_TRUE(table.Open());
  RawView raw(shm.name());
  ASSERT_TRUE(raw.ok());
  ASSERT_EQ(table.ClaimUnit(0, Window(0x10)), 1);
  raw.SetWord(0, kHoldField, 1);
  EXPECT_EQ(table.ReleaseUnit(0, Window(0x10)), 1);
  EXPECT_TRUE(table.IsUnitInUse(0));
  // A new claim resets the hold word.
  ASSERT_EQ(table.ClaimUnit(0, Window(0x10)), 1);
  EXPECT_EQ(raw.Word(0, kHoldField), 0u);
}

TEST(DeviceTable, ForeignObjectTooSmallIsNotMapped) {
  ScopedShmName shm("small");
  const int fd = shm_open(shm.name().c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 4096), 0);
  close(fd);

  DeviceTable table;
  EXPECT_FALSE(table.Open());
  EXPECT_FALSE(table.HasView());
  EXPECT_FALSE(table.IsUnitInUse(0));
  EXPECT_EQ(table.ClaimUnit(0, Window(1)), 0);
  EXPECT_EQ(table.ReleaseUnit(0, Window(1)), 0);
}

TEST(DeviceTable, UnitsOutsideTheTableAreRefusedWithoutWriting) {
  ScopedShmName shm("range");
  DeviceTable table;
  EXPECT_EQ(table.ClaimUnit(0, Window(1)), 0);  // no view yet
  ASSERT_TRUE(table.Open());
  RawView raw(shm.name());
  ASSERT_TRUE(raw.ok());

  EXPECT_EQ(table.ClaimUnit(32, Window(1)), 0);
  EXPECT_EQ(table.ClaimUnit(-1, Window(1)), 0);
  EXPECT_EQ(table.ReleaseUnit(32, Window(1)), 0);
  EXPECT_FALSE(table.IsUnitInUse(32));
  EXPECT_FALSE(table.IsUnitInUse(-1));
  const unsigned char *after = raw.bytes() + DeviceTable::EntryOffset(31) + DeviceTable::kEntrySize;
  const unsigned char *before = raw.bytes() + DeviceTable::EntryOffset(0) - DeviceTable::kEntrySize;
  for (size_t i = 0; i < DeviceTable::kEntrySize; ++i) {
    ASSERT_EQ(after[i], 0u);
    ASSERT_EQ(before[i], 0u);
  }

  table.Close();
  EXPECT_FALSE(table.HasView());
  EXPECT_FALSE(table.IsUnitInUse(0));
}

}  // namespace
}  // namespace quorel
