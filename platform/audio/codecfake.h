// What tests see of the codec layer and can make fail: each call is counted, and any
// call can be made to fail from its n-th use on.
#pragma once

#include <cstdint>

enum PlatCodecCall {
  PLAT_CODEC_CALL_SUGGEST,
  PLAT_CODEC_CALL_OPEN,
  PLAT_CODEC_CALL_SIZE,
  PLAT_CODEC_CALL_PREPARE,
  PLAT_CODEC_CALL_CONVERT,
  PLAT_CODEC_CALL_UNPREPARE,
  PLAT_CODEC_CALL_CLOSE,
  PLAT_CODEC_CALL_METRICS,
  PLAT_CODEC_CALL_COUNT
};

// Clears the counts and every planned failure.
void PlatCodecFakeReset();
// The call fails on its n-th use from now (1 = the next one) and every use after; 0
// cancels the plan.
void PlatCodecFakeFailFrom(PlatCodecCall call, int n);
// Uses of a call since the last reset.
int PlatCodecFakeCount(PlatCodecCall call);
// Streams open now.
int PlatCodecLiveStreams();
