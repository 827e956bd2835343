// Loading configuration files: record layout, replacement of the list, and
// files that must be refused without blocking or eating memory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "settings/ConfigurationList.h"
#include "support/TestEnvironment.h"

namespace quorel {
namespace {

std::string WriteFile(const std::string &name, const std::string &bytes) {
  std::string path = test::ScratchPath(name);
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return path;
}

TEST(ConfigurationListTest, RecordsAreLittleEndianPairsAndTrailingBytesIgnored) {
  // Two records, then four bytes that do not make a record.
  const std::string bytes(
      "\x01\x02\x03\x04\x05\x06\x07\x08"
      "\xF0\xE0\xD0\xC0\x00\x00\x00\x80"
      "\xAA\xBB\xCC\xDD",
      20);
  ConfigurationList list;
  EXPECT_EQ(list.LoadFile(WriteFile("twenty.cfg", bytes).c_str()), 1);
  const std::vector<uint64_t> want = {0x0807060504030201ull, 0x80000000C0D0E0F0ull};
  EXPECT_EQ(list.Entries(), want);
}

TEST(ConfigurationListTest, LaterLoadsReplaceAndFailedLoadsKeep) {
  ConfigurationList list;
  const std::string first = WriteFile("first.cfg", std::string(24, '\x11'));
  const std::string second = WriteFile("second.cfg", std::string(8, '\x22'));
  ASSERT_EQ(list.LoadFile(first.c_str()), 1);
  EXPECT_EQ(list.Size(), 3u);
  ASSERT_EQ(list.LoadFile(second.c_str()), 1);
  ASSERT_EQ(list.Size(), 1u);
  EXPECT_EQ(list.Entries()[0], 0x2222222222222222ull);

  EXPECT_EQ(list.LoadFile(test::ScratchPath("missing.cfg").c_str()), 0);
  EXPECT_EQ(list.LoadFile(nullptr), 0);
  EXPECT_EQ(list.LoadFile(test::ScratchDir().c_str()), 0);  // a folder
  ASSERT_EQ(list.Size(), 1u);
  EXPECT_EQ(list.Entries()[0], 0x2222222222222222ull);

  // Empty and short files load as an empty list.
  EXPECT_EQ(list.LoadFile(WriteFile("empty.cfg", "").c_str()), 1);
  EXPECT_EQ(list.Size(), 0u);
  ASSERT_EQ(list.LoadFile(second.c_str()), 1);
  EXPECT_EQ(list.LoadFile(WriteFile("seven.cfg", "1234567").c_str()), 1);
  EXPECT_EQ(list.Size(), 0u);
}

TEST(ConfigurationListTest, FifosAndOversizedFilesAreRefusedAtOnce) {
  ConfigurationList list;
  ASSERT_EQ(list.LoadFile(WriteFile("one.cfg", std::string(8, '\x01')).c_str()), 1);

  // Nobody writes into this FIFO: a load that waited for data would never return.
  const std::string fifo = test::ScratchPath("pipe.cfg");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(list.LoadFile(fifo.c_str()), 0);

  // A sparse file just over the limit: refused from its size, not read.
  const std::string huge = WriteFile("huge.cfg", "");
  ASSERT_EQ(truncate(huge.c_str(), static_cast<off_t>(ConfigurationList::kMaxFileBytes) + 8), 0);
  EXPECT_EQ(list.LoadFile(huge.c_str()), 0);
  EXPECT_EQ(list.Size(), 1u);
}

TEST(ConfigurationListTest, ReadersNeverSeeAHalfReplacedList) {
  ConfigurationList list;
  const std::string a = WriteFile("a.cfg", std::string(8 * 100, '\x0A'));
  const std::string b = WriteFile("b.cfg", std::string(8 * 300, '\x0B'));
  std::thread loader([&] {
    for (int i = 0; i < 200; ++i) list.LoadFile((i % 2 ? a : b).c_str());
  });
  for (int i = 0; i < 200; ++i) {
    const auto entries = list.Entries();
    if (entries.empty()) continue;
    const uint64_t first = entries[0];
    ASSERT_EQ(entries.size(), first == 0x0A0A0A0A0A0A0A0Aull ? 100u : 300u);
    for (uint64_t e : entries) ASSERT_EQ(e, first);
  }
  loader.join();
}

}  // namespace
}  // namespace quorel
