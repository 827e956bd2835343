#include "SignalStop.h"

#include <atomic>

namespace quorel::cli {
namespace {

// Written by the handler, read by the command's loop; a lock-free atomic is
// safe to store from a signal handler.
std::atomic<int> g_received{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnSignal(int signal) {
  int none = 0;
  g_received.compare_exchange_strong(none, signal);
}

}  // namespace

SignalStop::SignalStop() {
  g_received.store(0);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking wait returns early and the loop looks at the flag.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, &previousInt_);
  sigaction(SIGTERM, &action, &previousTerm_);
}

SignalStop::~SignalStop() {
  sigaction(SIGINT, &previousInt_, nullptr);
  sigaction(SIGTERM, &previousTerm_, nullptr);
}

int SignalStop::Received() const {
  return g_received.load();
}

const char *SignalStop::Name(int signal) {
  return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "signal";
}

}  // namespace quorel::cli
