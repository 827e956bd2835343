// The settings file: its text format, key semantics, and how it survives
// hand-edited, damaged and hostile files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/RegistryDocument.h"
#include "platform/RegistryFile.h"
#include "support/TestEnvironment.h"

namespace quorel {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteText(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::vector<std::string> CorruptCopies(const std::string &path) {
  std::vector<std::string> found;
  const fs::path p(path);
  for (const auto &entry : fs::directory_iterator(p.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(p.filename().string() + ".corrupt-", 0) == 0) found.push_back(entry.path().string());
  }
  return found;
}

size_t Count(const std::string &text, const std::string &needle) {
  size_t n = 0;
  for (size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) ++n;
  return n;
}

const char kHandEdited[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; kept by hand\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
    "@=\"default text\"\r\n"
    "\"Path\"=\"C:\\\\Program Files\\\\x \\\"quoted\\\"\"\r\n"
    "\"Blob\"=hex:01,02,03,\\\r\n"
    "  04,05\r\n"
    "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
    "\"Multi\"=hex(7):41,00,00,00,00,00\r\n"
    "\"Gone\"=-\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\r\n"
    "\"X\"=dword:00000001\r\n"
    "\r\n"
    "[-HKEY_CURRENT_USER\\Software\\Removed]\r\n";

TEST(RegistryDocumentTest, HandEditedFileKeepsEveryLineThroughARewrite) {
  const std::string path = test::UseFreshRegistry();
  WriteText(path, kHandEdited);
  {
    RegistryTransaction tx;
    ASSERT_TRUE(tx.Ok());
    ASSERT_TRUE(tx.CreateKey("Software\\Other"));
    EXPECT_TRUE(tx.SetDword("Software\\Other", "Added", -2));
    ASSERT_TRUE(tx.Commit());
  }
  const std::string text = ReadText(path);
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n\n", 0), 0u);
  for (const char *line : {"; kept by hand", "@=\"default text\"",
                           "\"Path\"=\"C:\\\\Program Files\\\\x \\\"quoted\\\"\"", "\"Blob\"=hex:01,02,03,\\\n  04,05",
                           "\"Big\"=hex(b):01,00,00,00,00,00,00,00", "\"Multi\"=hex(7):41,00,00,00,00,00", "\"Gone\"=-",
                           "\"Count\"=dword:0000002a", "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]",
                           "[-HKEY_CURRENT_USER\\Software\\Removed]", "\"Added\"=dword:fffffffe"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  RegistrySnapshot snap;
  EXPECT_EQ(snap.QueryDword("Software\\Other", "Count"), 42);
  EXPECT_EQ(snap.QueryDword("Software\\Other", "Added"), -2);
  // Values of other types count as missing for a DWORD reader.
  EXPECT_FALSE(snap.QueryDword("Software\\Other", "Path").has_value());
  EXPECT_FALSE(snap.QueryDword("Software\\Other", "Gone").has_value());
  // Other hives and deletion sections are not keys of the current user.
  EXPECT_FALSE(snap.KeyExists("Software\\Elsewhere"));
  EXPECT_FALSE(snap.KeyExists("Software\\Removed"));
}

TEST(RegistryDocumentTest, SerializeThenParseGivesTheSameText) {
  auto doc = RegistryDocument::Parse(kHandEdited);
  ASSERT_TRUE(doc.has_value());
  const std::string once = doc->Serialize();
  auto again = RegistryDocument::Parse(once);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->Serialize(), once);
}

TEST(RegistryDocumentTest, WindowsExportInUtf16IsRead) {
  const std::string ascii =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\A]\r\n\"V\"=dword:00000010\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : ascii) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  auto doc = RegistryDocument::Parse(utf16);
  ASSERT_TRUE(doc.has_value());
  EXPECT_EQ(doc->QueryDword("HKEY_CURRENT_USER\\Software\\A", "V"), 16u);
}

TEST(RegistryFileTest, KeyAndValueNamesIgnoreCase) {
  const std::string path = test::UseFreshRegistry();
  WriteText(path,
            "Windows Registry Editor Version 5.00\n\n"
            "[hkey_current_user\\SOFTWARE\\velmor\\Camera_00]\n\"size\"=dword:00000003\n");
  {
    RegistrySnapshot snap;
    EXPECT_TRUE(snap.KeyExists("Software\\Velmor\\CAMERA_00"));
    EXPECT_EQ(snap.QueryDword("Software\\Velmor\\Camera_00", "SIZE"), 3);
  }
  {
    RegistryTransaction tx;
    ASSERT_TRUE(tx.CreateKey("SOFTWARE\\VELMOR\\camera_00"));
    ASSERT_TRUE(tx.SetDword("Software\\Velmor\\Camera_00", "Size", 7));
    ASSERT_TRUE(tx.Commit());
  }
  const std::string text = ReadText(path);
  // Same key and value: replaced in place, spelled as the file had it.
  EXPECT_EQ(Count(text, "[hkey_current_user\\SOFTWARE\\velmor\\Camera_00]"), 1u);
  EXPECT_EQ(Count(text, "=dword:"), 1u);
  EXPECT_NE(text.find("\"size\"=dword:00000007"), std::string::npos);
}

TEST(RegistryFileTest, KeysFollowRegistryOpenAndCreateRules) {
  const std::string path = test::UseFreshRegistry();
  RegistryTransaction tx;
  ASSERT_TRUE(tx.Ok());
  EXPECT_FALSE(tx.KeyExists("Software\\A"));
  EXPECT_FALSE(tx.SetDword("Software\\A", "V", 1));  // an open needs an existing key
  ASSERT_TRUE(tx.CreateKey("Software\\A\\B\\C"));
  // Creating a path brings its parents into being.
  EXPECT_TRUE(tx.KeyExists("Software\\A"));
  EXPECT_TRUE(tx.KeyExists("Software\\A\\B"));
  EXPECT_FALSE(tx.KeyExists("Software\\A\\B\\C\\D"));
  EXPECT_TRUE(tx.SetDword("Software\\A", "V", 1));
  EXPECT_FALSE(tx.CreateKey("Software\\\\Bad"));
  EXPECT_FALSE(tx.CreateKey(""));
  EXPECT_FALSE(tx.SetDword("Software\\A", "new\nline", 1));
  ASSERT_TRUE(tx.Commit());
  const std::string text = ReadText(path);
  // Parents are listed before children, as in an export.
  EXPECT_LT(text.find("[HKEY_CURRENT_USER\\Software\\A]"), text.find("[HKEY_CURRENT_USER\\Software\\A\\B\\C]"));
}

TEST(RegistryFileTest, MissingFolderIsCreatedAndUncommittedChangesVanish) {
  const std::string dir = test::ScratchPath("nested") + "/deeper";
  const std::string path = dir + "/registry.reg";
  setenv("QUOREL_REGISTRY", path.c_str(), 1);
  {
    RegistryTransaction tx;
    ASSERT_TRUE(tx.Ok());
    ASSERT_TRUE(tx.CreateKey("Software\\A"));
    ASSERT_TRUE(tx.SetDword("Software\\A", "V", 5));
    // No commit.
  }
  EXPECT_TRUE(fs::is_directory(dir));
  EXPECT_FALSE(fs::exists(path));
  {
    RegistryTransaction tx;
    ASSERT_TRUE(tx.CreateKey("Software\\A"));
    ASSERT_TRUE(tx.SetDword("Software\\A", "V", 5));
    ASSERT_TRUE(tx.Commit());
  }
  EXPECT_EQ(RegistrySnapshot().QueryDword("Software\\A", "V"), 5);
  // No temporary files are left next to it.
  for (const auto &entry : fs::directory_iterator(dir))
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST(RegistryFileTest, DefaultLocationFollowsXdgConfigHome) {
  const char *registry = std::getenv("QUOREL_REGISTRY");
  ASSERT_NE(registry, nullptr) << "the test environment names a settings file of its own";
  const std::string saved = registry;
  const char *home = std::getenv("HOME");
  const std::string savedHome = home != nullptr ? home : "";
  unsetenv("QUOREL_REGISTRY");
  const std::string xdg = test::ScratchPath("xdg");
  setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  EXPECT_EQ(RegistryFilePath(), xdg + "/quorel/registry.reg");
  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(RegistryFilePath(), "/home/someone/.config/quorel/registry.reg");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", savedHome.c_str(), 1);
  setenv("QUOREL_REGISTRY", saved.c_str(), 1);
  EXPECT_EQ(RegistryFilePath(), saved);
}

TEST(RegistryFileTest, SymlinkedFileStaysALink) {
  const std::string target = test::ScratchPath("real.reg");
  const std::string link = test::ScratchPath("link.reg");
  WriteText(target, "Windows Registry Editor Version 5.00\n\n");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  setenv("QUOREL_REGISTRY", link.c_str(), 1);
  RegistryTransaction tx;
  ASSERT_TRUE(tx.CreateKey("Software\\A"));
  ASSERT_TRUE(tx.SetDword("Software\\A", "V", 9));
  ASSERT_TRUE(tx.Commit());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_NE(ReadText(target).find("\"V\"=dword:00000009"), std::string::npos);
}

TEST(RegistryFileTest, UnparsableFileIsKeptAsideNeverOverwritten) {
  const std::string path = test::UseFreshRegistry();
  const std::string junk = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\A]\n\"V\"=dword:zz\n";
  WriteText(path, junk);
  testing::internal::CaptureStderr();
  {
    RegistrySnapshot snap;
    EXPECT_FALSE(snap.KeyExists("Software\\A"));
  }
  const std::string warning = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Count(warning, "\n"), 1u) << warning;
  EXPECT_NE(warning.find(path), std::string::npos);

  auto copies = CorruptCopies(path);
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(ReadText(copies[0]), junk);
  EXPECT_FALSE(fs::exists(path));

  // The store starts empty and writes work again; a second bad file within the
  // same second gets a name of its own instead of replacing the first copy.
  {
    RegistryTransaction tx;
    ASSERT_TRUE(tx.CreateKey("Software\\B"));
    ASSERT_TRUE(tx.Commit());
  }
  WriteText(path, "garbage\n");
  testing::internal::CaptureStderr();
  {
    RegistryTransaction tx;
    EXPECT_TRUE(tx.Ok());
    EXPECT_FALSE(tx.KeyExists("Software\\B"));
  }
  testing::internal::GetCapturedStderr();
  copies = CorruptCopies(path);
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(ReadText(copies[0]) + ReadText(copies[1]) == junk + "garbage\n" ||
                ReadText(copies[1]) + ReadText(copies[0]) == junk + "garbage\n",
            true);
}

TEST(RegistryFileTest, HostileFilesNeverCrashAndAreSetAside) {
  std::string hugeName(3u << 20, 'N');
  std::string binary = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\A]\n";
  std::mt19937 rng(7);
  for (int i = 0; i < 100000; ++i) binary.push_back(static_cast<char>(rng()));
  const std::vector<std::string> hostile = {
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\A]\n\"" + hugeName + "\"=dword:1\n\"Open",
      binary,
      std::string("Windows Registry Editor Version 5.00\n\0\n", 39),
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\A]\n\"V\"=\"unterminated\n",
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\A\n",
      "Windows Registry Editor Version 5.00\n\n\"V\"=dword:00000001\n",
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\A]\n\"V\"=hex:01,\\\n",
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\A]\n\"V\"=dword:123456789\n",
      std::string(1u << 20, '['),
      std::string("\xFF\xFE\x00", 3),
  };
  for (size_t i = 0; i < hostile.size(); ++i) {
    RegistryDocument::ParseError error;
    EXPECT_FALSE(RegistryDocument::Parse(hostile[i], &error).has_value()) << i;
    EXPECT_FALSE(error.reason.empty()) << i;
  }
  // Through the file: each one is moved aside and the store reads as empty.
  const std::string path = test::UseFreshRegistry();
  testing::internal::CaptureStderr();
  for (const std::string &text : hostile) {
    WriteText(path, text);
    RegistrySnapshot snap;
    EXPECT_FALSE(snap.KeyExists("Software\\A"));
  }
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(CorruptCopies(path).size(), hostile.size());
}

TEST(RegistryFileTest, LargeValidFileLoadsAndOversizedOneIsRefused) {
  const std::string path = test::UseFreshRegistry();
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  for (int i = 0; text.size() < (10u << 20); ++i) {
    text += "[HKEY_CURRENT_USER\\Software\\Bulk\\Key" + std::to_string(i) + "]\n";
    for (int v = 0; v < 20; ++v) text += "\"Value" + std::to_string(v) + "\"=dword:0000002a\n";
  }
  WriteText(path, text);
  {
    RegistrySnapshot snap;
    EXPECT_EQ(snap.QueryDword("Software\\Bulk\\Key1000", "Value19"), 42);
  }
  EXPECT_TRUE(CorruptCopies(path).empty());

  // Beyond the size limit: refused without being read, and kept.
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(kRegistryFileMaxBytes) + 1), 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(RegistrySnapshot().KeyExists("Software\\Bulk"));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(CorruptCopies(path).size(), 1u);
}

// A directory, FIFO or device at the settings path is the user's, not a
// damaged settings file: refused with one line, never moved or replaced (a
// directory of the user's was renamed away before, and a FIFO hung reads).
TEST(RegistryFileTest, PathThatIsNoRegularFileIsRefusedAndLeftAlone) {
  const std::string dir = test::ScratchPath("settings-dir");
  ASSERT_TRUE(fs::create_directory(dir));
  WriteText(dir + "/inside", "mine");
  const std::string fifo = test::ScratchPath("settings-fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string &path : {dir, fifo}) {
    SCOPED_TRACE(path);
    setenv("QUOREL_REGISTRY", path.c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(RegistrySnapshot().KeyExists("Software"));
    {
      RegistryTransaction tx;  // would block for ever on the FIFO without O_NONBLOCK
      EXPECT_FALSE(tx.Ok());
      EXPECT_FALSE(tx.CreateKey("Software\\A"));
      EXPECT_FALSE(tx.Commit());
    }
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_NE(warning.find("not a regular file"), std::string::npos) << warning;
    EXPECT_TRUE(CorruptCopies(path).empty());
    EXPECT_FALSE(fs::exists(path + ".lock"));
  }
  EXPECT_TRUE(fs::is_directory(dir));
  EXPECT_EQ(ReadText(dir + "/inside"), "mine");
  EXPECT_TRUE(fs::is_fifo(fifo));
}

// A file the user made read-only is not replaced behind their back (the
// rename into its folder would have succeeded), even when running as root.
TEST(RegistryFileTest, ReadOnlyFileIsReadButNotReplaced) {
  const std::string path = test::UseFreshRegistry();
  const std::string text =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\A]\n\"V\"=dword:00000001\n";
  WriteText(path, text);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  testing::internal::CaptureStderr();
  bool committed = true;
  {
    RegistryTransaction tx;
    ASSERT_TRUE(tx.Ok());
    EXPECT_EQ(tx.QueryDword("Software\\A", "V"), 1);
    ASSERT_TRUE(tx.SetDword("Software\\A", "V", 2));
    committed = tx.Commit();
  }
  const std::string warning = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(committed);
  EXPECT_NE(warning.find("Permission denied"), std::string::npos) << warning;
  EXPECT_EQ(ReadText(path), text);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
}

// A dangling link (a dotfile link whose target was not made yet) is written
// through: the target appears and the link stays a link.
TEST(RegistryFileTest, DanglingSymlinkIsWrittenThrough) {
  const std::string dir = test::ScratchPath("linked");
  ASSERT_TRUE(fs::create_directory(dir));
  const std::string link = dir + "/registry.reg";
  ASSERT_EQ(symlink("store/real.reg", link.c_str()), 0);
  ASSERT_TRUE(fs::create_directory(dir + "/store"));
  setenv("QUOREL_REGISTRY", link.c_str(), 1);
  {
    RegistryTransaction tx;
    ASSERT_TRUE(tx.CreateKey("Software\\A"));
    ASSERT_TRUE(tx.SetDword("Software\\A", "V", 5));
    ASSERT_TRUE(tx.Commit());
  }
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_NE(ReadText(dir + "/store/real.reg").find("\"V\"=dword:00000005"), std::string::npos);
  EXPECT_EQ(RegistrySnapshot().QueryDword("Software\\A", "V"), 5);
}

// A folder the user may not write: the failure names the real reason
// (it said "No such file or directory"). Root writes anywhere, so the
// transaction then runs in a child that has dropped to another user.
TEST(RegistryFileTest, ReadOnlyFolderReportsPermissionDenied) {
  const std::string dir = test::ScratchPath("readonly");
  ASSERT_TRUE(fs::create_directory(dir));
  const std::string path = dir + "/registry.reg";
  const std::string log = test::ScratchPath("readonly.log");
  ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
  const bool root = geteuid() == 0;
  if (root) {
    // The other user must be able to reach the folder.
    for (fs::path p = dir; p != p.root_path(); p = p.parent_path()) {
      struct stat st {};
      if (stat(p.c_str(), &st) == 0 && (st.st_mode & 0001) == 0) GTEST_SKIP() << p << " is closed to other users";
    }
  }
  const pid_t pid = fork();
  if (pid == 0) {
    if (root && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) _exit(3);
    setenv("QUOREL_REGISTRY", path.c_str(), 1);
    RegistryTransaction tx;
    const bool ok = tx.Ok() && tx.CreateKey("Software\\A") && tx.Commit();
    _exit(ok ? 1 : 0);
  }
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  chmod(dir.c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string warning = ReadText(log);
  EXPECT_NE(warning.find("Permission denied"), std::string::npos) << warning;
  EXPECT_EQ(warning.find("No such file"), std::string::npos) << warning;
}

// One key holding values up to the size limit: every lookup by name used to
// lower-case every earlier name (40,000 values took 38 s), now linear.
TEST(RegistryFileTest, KeyWithManyValuesAtTheSizeLimitLoads) {
  const std::string path = test::UseFreshRegistry();
  const std::string pad(760, 'p');
  std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Many]\n";
  int count = 0;
  for (;;) {
    std::string line = "\"Value" + pad + std::to_string(count) + "\"=dword:" + "0000002a\n";
    if (text.size() + line.size() > kRegistryFileMaxBytes) break;
    text += line;
    ++count;
  }
  ASSERT_GT(count, 40000);
  WriteText(path, text);
  RegistrySnapshot snap;
  EXPECT_EQ(snap.QueryDword("Software\\Many", "VALUE" + std::string(760, 'P') + std::to_string(count - 1)), 42);
  EXPECT_EQ(snap.QueryDword("Software\\Many", "value" + pad + "0"), 42);
  EXPECT_TRUE(CorruptCopies(path).empty());
}

// Random damage to a valid file: parsing never crashes, and whatever parses
// writes out to text that parses to the same text again.
TEST(RegistryDocumentTest, RandomMutationsNeverCrashAndRoundTripWhenAccepted) {
  const std::string base = std::string(kHandEdited) +
                           "\n[HKEY_CURRENT_USER\\Software\\Velmor\\Quorel470KXPLUSdk\\Camera_00]\n"
                           "\"Size\"=dword:00000000\n\"Color\"=dword:00000002\n";
  // Sized from the array, so that the NUL byte at its end is one of the letters.
  static constexpr char kAlphabet[] = "[]\"\\=@;:,-\r\n\t x0fAhexdwordHKEY_\xFF\x00";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  std::mt19937 rng(20261208);
  int accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = base;
    const int mutations = 1 + static_cast<int>(rng() % 6);
    for (int m = 0; m < mutations; ++m) {
      if (text.empty()) break;
      const size_t pos = rng() % text.size();
      switch (rng() % 5) {
        case 0:
          text[pos] = alphabet[rng() % alphabet.size()];
          break;
        case 1:
          text.insert(pos, 1, alphabet[rng() % alphabet.size()]);
          break;
        case 2:
          text.erase(pos, 1 + rng() % 8);
          break;
        case 3:
          text.resize(pos);
          break;
        default:
          text.insert(pos, text.substr(rng() % text.size(), rng() % 40));
          break;
      }
    }
    auto doc = RegistryDocument::Parse(text);
    if (!doc) continue;
    ++accepted;
    const std::string once = doc->Serialize();
    auto again = RegistryDocument::Parse(once);
    ASSERT_TRUE(again.has_value()) << "round " << round;
    ASSERT_EQ(again->Serialize(), once) << "round " << round;
    ASSERT_EQ(again->Keys().size(), doc->Keys().size());
    for (const auto &key : doc->Keys()) {
      for (const auto &entry : key.entries) {
        if (entry.kind != RegistryDocument::Entry::Kind::kDword) continue;
        ASSERT_EQ(again->QueryDword(key.path, entry.name), entry.dword) << key.path << " " << entry.name;
      }
    }
  }
  // The mutations must leave a fair share valid, or the round trip is untested.
  EXPECT_GT(accepted, 300);
}

}  // namespace
}  // namespace quorel
