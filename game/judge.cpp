// Stub until the round judgement lands: no round ends.
#include "game/judge.h"

void JudgeRound() {}
