// What the window procedure and the message pump ask of sound and music.
#pragma once

// Refills every playing stream sound from its source (every pump call).
int RefillAllStreamSounds();
// Updates the play state of every music handle (every pump call).
int UpdateMusicPlayStates();
// The MIDI sequencer's notification (window message 953): a looping play starts again,
// any other play is closed.
int OnMciNotify();
