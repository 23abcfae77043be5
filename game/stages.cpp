// Stub until the stages land: the stage table stays empty.
#include "game/stages.h"

void FillStageTable() {}
