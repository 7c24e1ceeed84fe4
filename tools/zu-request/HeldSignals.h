// Holding back the signals that would end the process while a temporary file of redact or bundle exists, so that
// the file is renamed into place or removed first.
#pragma once

#include <signal.h>

namespace zutool {

// Signals whose default action ends the process.
inline constexpr int kHeldSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF};

// Blocks kHeldSignals for its lifetime; a signal that arrives meanwhile is delivered when it ends.
class HeldSignals {
 public:
  // Thrown by Poll.
  struct Interrupted {};

  HeldSignals() {
    sigset_t held;
    sigemptyset(&held);
    for (const int number : kHeldSignals) sigaddset(&held, number);
    ::sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~HeldSignals() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

  // Throws Interrupted when one of the held signals waits; one already blocked before is not ours to act on.
  void Poll() const {
    sigset_t pending;
    ::sigpending(&pending);
    for (const int number : kHeldSignals) {
      if (sigismember(&pending, number) == 1 && sigismember(&previous_, number) != 1) throw Interrupted{};
    }
  }
  // The mask before, for children that should be stopped by the signals as usual.
  const sigset_t& Previous() const { return previous_; }

 private:
  sigset_t previous_;
};

}  // namespace zutool
