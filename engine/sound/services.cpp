// Least bodies until sound and music land: nothing plays.
#include "engine/sound/services.h"

int RefillAllStreamSounds() { return 0; }
int UpdateMusicPlayStates() { return 0; }
int OnMciNotify() { return 0; }
