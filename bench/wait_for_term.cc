// The fake bridge of the benchmark: waits for the SIGTERM of the stop and does nothing else.
#include <unistd.h>

int main() {
  for (;;)
    pause();
}
