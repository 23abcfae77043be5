// Least body until the HTTP layer lands: no request is ever made.
#include "engine/system/http.h"

int StepAllHttpSlots() { return 0; }
