// Between the input-method interface (ime.cpp) and its back ends. Not for the engine.
#pragma once

#include "platform/ime/ime.h"

struct PlatImeBackend {
  const char* name;
  PlatImc (*getContext)(PlatWnd window);
  int (*releaseContext)(PlatWnd window, PlatImc context);
  int32_t (*getCompositionString)(PlatImc context, uint32_t index, void* buffer, uint32_t size);
  int (*setCompositionString)(PlatImc context, uint32_t index, const void* comp,
                              uint32_t compLength, const void* read, uint32_t readLength);
  int (*notify)(PlatImc context, uint32_t action, uint32_t index, uint32_t value);
  uint32_t (*getCandidateList)(PlatImc context, uint32_t index, void* buffer, uint32_t size);
  int (*getOpenStatus)(PlatImc context);
  int (*setOpenStatus)(PlatImc context, int open);
};

const PlatImeBackend* PlatImeNoneBackend();
const PlatImeBackend* PlatImeFakeBackend();
