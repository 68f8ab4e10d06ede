/* C part of the example library: data in .data, .bss and .rodata, a common
   symbol, a weak function, a static helper and a thread-local slot. */
int buffer_count = 4;                 /* .data */
char scratch_buffer[256];             /* .bss */
const char buffer_banner[] = "bufs"; /* .rodata */
int shared_total;                     /* common, built with -fcommon */
__thread int buffer_slot;             /* thread-local */

static int clamp(int value) { return value < 0 ? 0 : value; }

int buffer_capacity(int request) { return clamp(request) + buffer_count; }

__attribute__((weak)) int buffer_hook(int value) { return value; }
