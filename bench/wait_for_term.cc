// The fake bridge of the benchmark: waits for the SIGTERM of the stop (whose default action
// ends it). No C library, for the same reason as exit_at_once.
extern "C" [[noreturn]] void _start() {
  for (;;)
    asm volatile("mov $34, %%eax\n\tsyscall" ::: "rax", "rcx", "r11", "memory");  // pause
}
