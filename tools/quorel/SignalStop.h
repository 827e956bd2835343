// SIGINT and SIGTERM as a request to stop: while an instance lives, the two
// signals only set a flag that the command's loop polls, so that the command
// can stop the acquisition, let the library finish its file and exit with
// 128 + the signal. The previous handlers come back on destruction.
#pragma once

#include <signal.h>

namespace quorel::cli {

class SignalStop {
 public:
  SignalStop();
  ~SignalStop();
  SignalStop(const SignalStop &) = delete;
  SignalStop &operator=(const SignalStop &) = delete;

  // The first signal received since construction (SIGINT or SIGTERM), or 0.
  int Received() const;
  // "SIGINT" or "SIGTERM".
  static const char *Name(int signal);

 private:
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

}  // namespace quorel::cli
