#pragma once

#include <signal.h>

namespace qs {

// Holds back the signals a user ends a command with (SIGINT, SIGTERM, SIGHUP, SIGQUIT) for its
// lifetime: one that arrives meanwhile takes effect when the hold ends. Between the start of
// the first child and the record naming it, ending the launcher would orphan both children.
class SignalHold {
 public:
  SignalHold();
  ~SignalHold();
  SignalHold(const SignalHold&) = delete;
  SignalHold& operator=(const SignalHold&) = delete;

  // The mask the launcher had before the hold, the one its children are given; empty where it
  // could not be read.
  const sigset_t& given_mask() const { return given_; }

 private:
  sigset_t given_;
  bool holding_;
};

}  // namespace qs
