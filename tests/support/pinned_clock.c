/* A clock that stands still, for programs under Wine, whose loader libfaketime
   cannot be preloaded into: preloaded into the Wine loader, it answers
   CLOCK_REALTIME and CLOCK_REALTIME_COARSE with DARTCIRC_PINNED_CLOCK ("seconds
   nanoseconds" since 1970) and hands every other clock to the C library. It is
   built without the C library's headers against the C library itself
   (gcc [-m32] -nostdlib -shared pinned_clock.c libc.so.6), so that it needs no
   more than the C library that Wine brings. 32-bit builds of the C library take
   64-bit times through __clock_gettime64, and Debian's 32-bit Wine calls that. */
typedef long long Seconds;

struct NativeTime {
  long seconds;
  long nanoseconds;
};

struct Time64 { /* the C library's 64-bit time on 32-bit x86 */
  Seconds seconds;
  int nanoseconds;
  int padding;
};

extern char *getenv(const char *name);
extern void *dlsym(void *library, const char *name);
#define RTLD_NEXT ((void *)-1l)

enum { ClockRealtime = 0, ClockRealtimeCoarse = 5 };

static int Pinned(int clock, Seconds *seconds, long *nanoseconds) {
  const char *text = getenv("DARTCIRC_PINNED_CLOCK");
  if (text == 0 || (clock != ClockRealtime && clock != ClockRealtimeCoarse)) return 0;
  *seconds = 0;
  *nanoseconds = 0;
  for (; *text >= '0' && *text <= '9'; ++text) *seconds = *seconds * 10 + (*text - '0');
  for (text += *text == ' '; *text >= '0' && *text <= '9'; ++text) *nanoseconds = *nanoseconds * 10 + (*text - '0');
  return 1;
}

int clock_gettime(int clock, struct NativeTime *time) {
  Seconds seconds;
  long nanoseconds;
  if (!Pinned(clock, &seconds, &nanoseconds)) {
    int (*system)(int, struct NativeTime *) = (int (*)(int, struct NativeTime *))dlsym(RTLD_NEXT, "clock_gettime");
    return system(clock, time);
  }
  time->seconds = (long)seconds;
  time->nanoseconds = nanoseconds;
  return 0;
}

#if defined(__i386__)
int __clock_gettime64(int clock, struct Time64 *time) {
  Seconds seconds;
  long nanoseconds;
  if (!Pinned(clock, &seconds, &nanoseconds)) {
    int (*system)(int, struct Time64 *) = (int (*)(int, struct Time64 *))dlsym(RTLD_NEXT, "__clock_gettime64");
    return system(clock, time);
  }
  time->seconds = seconds;
  time->nanoseconds = (int)nanoseconds;
  time->padding = 0;
  return 0;
}
#endif
