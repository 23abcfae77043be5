// Least bodies until the HTTP layer lands: no request is ever made.
#include "engine/system/http.h"

int StepAllHttpSlots() { return 0; }
int ClearHttpTable() { return 0; }
int EndHttp() { return 0; }
