#include "VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

extern char **environ;

namespace quorel::viewer::test {
namespace {

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1'000'000;
}

// Reads from fd until `stop` says the text is complete, EOF, or the deadline.
bool ReadUntil(int fd, std::string &text, int64_t deadlineMs, bool (*stop)(const std::string &)) {
  char buf[4096];
  while (!stop(text)) {
    const int64_t left = deadlineMs - NowMs();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return stop(text);
    text.append(buf, static_cast<size_t>(n));
  }
  return true;
}

bool HasNewline(const std::string &s) {
  return s.find('\n') != std::string::npos;
}

bool Never(const std::string &) {
  return false;
}

}  // namespace

VirtualDisplay::VirtualDisplay(int width, int height) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const std::string fd = std::to_string(pipeFds[1]);
  pid_ = ::fork();
  if (pid_ == 0) {
    // The write end stays open across exec for -displayfd.
    ::fcntl(pipeFds[1], F_SETFD, 0);
    const int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, 1);
    ::dup2(devnull, 2);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
             static_cast<char *>(nullptr));
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  if (pid_ < 0) {
    ::close(pipeFds[0]);
    error_ = "fork failed";
    return;
  }
  std::string text;
  const bool named = ReadUntil(pipeFds[0], text, NowMs() + 20000, HasNewline);
  ::close(pipeFds[0]);
  if (!named || text.empty() || text[0] < '0' || text[0] > '9') {
    error_ = "Xvfb did not start (is it installed?)";
    return;
  }
  name_ = ":" + text.substr(0, text.find('\n'));
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

ProgramRun RunProgram(const std::vector<std::string> &argv, const std::vector<std::string> &environment,
                      int deadlineMs) {
  ProgramRun run;
  std::vector<std::string> env;
  for (char **e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string &mine : environment) {
      if (mine.substr(0, mine.find('=')) == name) replaced = true;
    }
    if (!replaced) env.push_back(entry);
  }
  env.insert(env.end(), environment.begin(), environment.end());
  std::vector<char *> args;
  args.reserve(argv.size() + 1);
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char *> envp;
  envp.reserve(env.size() + 1);
  for (const std::string &e : env) envp.push_back(const_cast<char *>(e.c_str()));
  envp.push_back(nullptr);

  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return run;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(out[1], 2);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  if (pid < 0) {
    ::close(out[0]);
    return run;
  }
  // Output until the program closes it (it ends) or the deadline passes;
  // then its exit, within what is left of the deadline.
  const int64_t deadline = NowMs() + deadlineMs;
  ReadUntil(out[0], run.output, deadline, Never);
  ::close(out[0]);
  int status = 0;
  for (;;) {
    const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
    if (reaped == pid) {
      run.finished = true;
      break;
    }
    if (reaped < 0 && errno != EINTR) break;
    if (NowMs() > deadline) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    const timespec nap{0, 10'000'000};
    ::nanosleep(&nap, nullptr);
  }
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace quorel::viewer::test
