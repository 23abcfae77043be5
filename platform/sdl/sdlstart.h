// SDL as every SDL back end shares it (window, input and audio; display as it comes):
// one start-up, and one owner of SDL's event pump. Between the back ends only.
//
// The event pump. SDL learns of the display server's events (keys, the mouse, window
// changes) only when its queue is pumped, and only the thread that made the windows may
// pump it: that thread owns the pump, and the SDL window back end claims it with its
// first window and pumps at each of its drains. The other back ends never pump. They
// hear of events through SDL's event watches, which SDL runs as each event enters its
// queue: from the pump, or at once for an event pushed in (SDL_PushEvent, any thread).
// So the SDL input back end sees typed keys and the mouse only because the SDL window
// back end pumps; beside any other window back end it sees only pushed events. Pads do
// not depend on the pump: their state is read when they are updated.
#pragma once

union SDL_Event;

// The parts of SDL a back end brings up.
enum PlatSdlPart {
  PLAT_SDL_VIDEO,  // windows, the keyboard, the mouse
  PLAT_SDL_PADS,   // joysticks and game controllers
};

// Brings the part up on its first call, after the hints every part shares; 1 when it
// is up. A part that failed is not tried again. Any thread.
int PlatSdlStart(PlatSdlPart part);
// 1 when the part is up (started, and the start succeeded).
int PlatSdlIsUp(PlatSdlPart part);
// Why the part's start failed (SDL's words), or "" when it is up. Starts it if need be.
const char* PlatSdlStartError(PlatSdlPart part);

// Audio is brought up by each user and taken down by each user's end (SDL counts them),
// so that audio started again after its last user reads SDL_AUDIODRIVER again. 1 when
// it is up; every 1 is to be matched by one PlatSdlAudioEnd.
int PlatSdlAudioStart();
void PlatSdlAudioEnd();

// Makes the calling thread the pump's owner unless another thread is already.
void PlatSdlClaimPump();
// 1 on the owning thread while video is up: the thread where PlatSdlPump pumps.
int PlatSdlOwnsPump();
// On the owning thread, while video is up: pumps SDL's events into its queue (running
// the watches), then hands each waiting event to handle and takes it out; 1. Elsewhere
// nothing happens: 0.
int PlatSdlPump(void (*handle)(const SDL_Event& event));
