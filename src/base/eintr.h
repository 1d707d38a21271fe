#pragma once

#include <cerrno>

namespace qs {

// Repeats a system call for as long as a signal interrupts it.
template <typename Call>
auto retry_on_eintr(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

}  // namespace qs
