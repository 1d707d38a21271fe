#include "launch/signal_hold.h"

#include <initializer_list>

namespace qs {

// sigprocmask fails only for an invalid `how`: there is nothing to check.
SignalHold::SignalHold() {
  sigset_t held;
  sigemptyset(&held);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
    sigaddset(&held, signal);
  (void)::sigprocmask(SIG_BLOCK, &held, &given_);
}

SignalHold::~SignalHold() {
  (void)::sigprocmask(SIG_SETMASK, &given_, nullptr);
}

}  // namespace qs
