// Least body: no round ends until the judgement lands.
#include "game/judge.h"

void JudgeRound() {}
