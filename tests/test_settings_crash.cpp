// The settings file survives a process killed while saving: a child saves
// a whole set of values over and over and is killed (SIGKILL) at a random
// moment; the file must then read as one complete save, never a mix or a
// torn file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "platform/RegistryDocument.h"
#include "platform/RegistryFile.h"
#include "support/TestEnvironment.h"

namespace quorel {
namespace {

constexpr int kValues = 64;
constexpr const char *kKey = "Software\\Crash";

// Writes every value as `round`, then commits.
bool SaveRound(int round) {
  RegistryTransaction tx;
  if (!tx.Ok() || !tx.CreateKey(kKey)) return false;
  for (int v = 0; v < kValues; ++v) {
    if (!tx.SetDword(kKey, "Value" + std::to_string(v), round)) return false;
  }
  return tx.Commit();
}

TEST(SettingsCrash, KilledSaverLeavesTheOldOrTheNewFile) {
  const std::string path = test::UseFreshRegistry();
  ASSERT_TRUE(SaveRound(0));
  std::mt19937 rng(20261208);
  std::uniform_int_distribution<int> delayUs(0, 3000);
  int lastSeen = 0;
  for (int iteration = 0; iteration < 200; ++iteration) {
    SCOPED_TRACE(iteration);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(ready[0]);
      // Rounds go on from the last one the file holds, so each save changes it.
      bool told = false;
      for (int round = lastSeen + 1;; ++round) {
        if (!SaveRound(round)) _exit(3);
        if (!told) {
          told = write(ready[1], "x", 1) == 1;
        }
      }
    }
    close(ready[1]);
    char byte = 0;
    // One save done, then the kill lands somewhere in a later one.
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(rng)));
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saver stopped by itself: " << status;

    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    RegistryDocument::ParseError error;
    auto doc = RegistryDocument::Parse(text.str(), &error);
    ASSERT_TRUE(doc.has_value()) << "line " << error.line << ": " << error.reason;
    const std::string full = std::string("HKEY_CURRENT_USER\\") + kKey;
    auto first = doc->QueryDword(full, "Value0");
    ASSERT_TRUE(first.has_value());
    for (int v = 1; v < kValues; ++v) {
      ASSERT_EQ(doc->QueryDword(full, "Value" + std::to_string(v)), first) << "value " << v;
    }
    ASSERT_GT(static_cast<int>(*first), lastSeen) << "a completed save was lost";
    lastSeen = static_cast<int>(*first);
  }
  // Temporary files of the killed saves never take the settings file's name.
  for (const auto &entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find(".corrupt-"), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace quorel
