// Polling aids for console main loops that must not block: the console
// reader's record and the TrySleep pacing counter.
#include <cstdint>
#include <cstring>

#include "quorvel/net.h"
#include "quorvel/runtime.h"

extern "C" QRVL_API void TryScanfInit2(TryScanfState *state, uint32_t parameter) {
  std::memset(state, 0, sizeof *state);
  state->flag = 1;
  state->parameter = parameter;
}

extern "C" QRVL_API void TryScanfInit(TryScanfState *state) { TryScanfInit2(state, 10); }

// Console input is not polled on this platform, so the reader takes
// nothing.  The socket layer's broken-pipe switch has nothing to do here
// either (callers pass MSG_NOSIGNAL to send()), and both names share this
// one function that ignores its argument.
extern "C" QRVL_API int32_t TryScanf(TryScanfState *) { return 0; }

#if defined(__clang__)
#pragma clang diagnostic push
#else
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattribute-alias"
#endif
extern "C" int32_t SetSocketNoSIGPIPE(int32_t s) QRVL_ALIAS(TryScanf);
#if defined(__clang__)
#pragma clang diagnostic pop
#else
#pragma GCC diagnostic pop
#endif

extern "C" QRVL_API void TrySleepInit(TrySleepState *state, uint32_t unit) {
  state->restart = 1;
  state->last = 0;
  state->elapsed = 0;
  state->unit = unit;
}

extern "C" QRVL_API uint32_t TrySleep(TrySleepState *state, uint32_t now, uint32_t wait) {
  if (wait == 0) {
    state->restart = 1;
    return 0;
  }
  if (wait <= state->unit) wait = state->unit;
  if (state->restart != 0) {
    state->last = now;
    state->restart = 0;
    state->elapsed = 0;
    return wait;
  }
  uint32_t d = now - state->last;
  if (now < state->last) d -= 1;  // the caller's counter wrapped
  state->elapsed += d;
  const uint32_t spent = state->elapsed * state->unit;
  if (spent >= wait) {
    state->restart = 1;
    return 0;
  }
  state->last = now;
  return wait - spent;
}
