#include "launch/signal_hold.h"

#include <initializer_list>

namespace qs {

// sigprocmask fails only for an invalid `how`, but should it fail, the mask it leaves is not
// defined: the children then get the empty one, and nothing is restored.
SignalHold::SignalHold() {
  sigset_t held;
  sigemptyset(&held);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
    sigaddset(&held, signal);
  holding_ = ::sigprocmask(SIG_BLOCK, &held, &given_) == 0;
  if (!holding_) sigemptyset(&given_);
}

SignalHold::~SignalHold() {
  if (holding_) (void)::sigprocmask(SIG_SETMASK, &given_, nullptr);
}

}  // namespace qs
