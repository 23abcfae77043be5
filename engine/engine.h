// The engine as a program sees it: the only header a program includes.
//
// Three locked entry functions start the engine, end it and pump its messages, under
// the engine lock. Thirty entry points reach the rest; they take no lock and check
// nothing themselves.
//
// Inside the engine every entry point has a core (EngineInitCore, IsKeyDownCore...).
// The locking rule: a core takes the engine lock only when it can be entered from more
// than one thread at once, and today that is the pump core alone (PumpMessagesCore:
// input waits pump on whatever thread asks, and the game's clock thread pumps beside the
// main one). EngineInit and EngineEnd take the lock around their cores; PumpMessages is
// the pump core itself. Cores call cores, never the functions of this header, so no
// path takes the lock twice. Text is Shift-JIS. Results follow the engine's rule: 0 for
// success, -1 for failure (with a line in Log.txt), unless said otherwise.
#pragma once

#include <cstdint>

struct ColorFormat;
struct GraphImage;
struct PixelFormatRecord;

// ---- locked entry functions -----------------------------------------------------------

// Starts the engine: log, window, input, sound, graphics. 0 (also when it is already
// up) or -1.
int EngineInit();
// Ends the engine and writes the leak report to the log; 0.
int EngineEnd();
// Delivers the window's messages; 0 to go on, -1 once the program must end.
int PumpMessages();

// Appends a Shift-JIS text to Log.txt (and the debugger output); -1, as the engine's
// failing calls return it.
int WriteLog(const char* text);

// ---- window, time, random numbers -----------------------------------------------------

// 1 window, 0 full screen; called before EngineInit. 0.
int ChangeWindowMode(int32_t windowed);
// Milliseconds since the system started (unsigned, wrapping).
uint32_t GetTickMs();
// A random whole number from 0 to max.
int32_t RandomInt(uint32_t max);

// ---- input ----------------------------------------------------------------------------

// Key codes are DirectInput key codes: 1 is Escape.
enum : int32_t { KEY_ESCAPE = 1 };
// Input type masks of GetFirstHeldInput.
enum : int32_t { INPUT_KEYS_AND_PADS = 1, INPUT_MOUSE = 4 };
// Added to a pad number, merges the keys mapped to that pad (player 1 reads 0x1001).
enum : int32_t { PAD_KEYBOARD_FLAG = 0x1000 };

// Waits until all input is released and then held again: the first held input (as
// GetFirstHeldInput with mask 7), or 0 when the program must end.
int WaitAnyInput();
// 1 while the key is held, else 0.
int IsKeyDown(int32_t key);
// The first held key code, -1 for a pad or mouse button, 0 when nothing is held.
int GetFirstHeldInput(int32_t typeMask);
// The pad's bits: 1 down, 2 left, 4 right, 8 up, 16 button 1, 32 button 2, and so on.
int ReadPadState(int32_t pad);

// ---- screen and graphs ----------------------------------------------------------------

// Draw targets; any other value is a graph handle.
enum : int32_t { DRAW_SCREEN_FRONT = -4, DRAW_SCREEN_BACK = -2 };

// The display's 32-byte pixel-format record.
const PixelFormatRecord* GetScreenPixelFormat();
// A colour (0-255 each) as a pixel value of the screen format.
uint32_t PackScreenColor(int32_t red, int32_t green, int32_t blue);
// Fills a colour format from a bit depth and four channel masks; 0.
int SetupFormatFromMasks(ColorFormat* format, int32_t bitDepth, uint32_t redMask,
                         uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);
// Fills a 32-byte pixel-format record with an RGB format; 0.
int MakeRgbPixelFormat(PixelFormatRecord* record, uint32_t bitCount, uint32_t redMask,
                       uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);
// Shows the back screen; 0 or -1.
int PresentScreen();
// Width, height, colour depth (8, 16 or 32), refresh rate; 0, -1, or -2 when it fell
// back to 640 x 480 x 16.
int SetScreenMode(int32_t width, int32_t height, int32_t depth, int32_t rate);
// Deletes every graph (logging each deletion for a non-zero flag); 0.
int FreeAllGraphs(int32_t logFlag);
// Loads an image file cut into total cells (across x down, each cellWidth x cellHeight)
// into graph handles; 0 or -1.
int LoadSplitGraph(const char* fileName, int32_t total, int32_t across, int32_t down,
                   int32_t cellWidth, int32_t cellHeight, int32_t* handles, int32_t flag);
// Clears the draw target; 0.
int ClearDrawTarget();
int DrawGraphAt(int32_t x, int32_t y, int32_t graph, int32_t transparent);
int DrawGraphStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph,
                       int32_t transparent);
// A box in a colour of PackScreenColor, filled (1) or outlined (0).
int DrawColorBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int32_t fill);
// A string in the default font.
int DrawTextDefaultFont(int32_t x, int32_t y, const char* text, uint32_t color, uint32_t edgeColor);
// A printf-style string in the default font, without edge; longer than 1023 bytes it is
// cut at the last whole character that fits.
int DrawTextFormatted(int32_t x, int32_t y, uint32_t color, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// DRAW_SCREEN_FRONT, DRAW_SCREEN_BACK or a graph; 0 or -1.
int SetDrawTarget(int32_t target);
// Deletes every soft image; 0.
int RemoveAllSoftImages();
// Frees a picture's pixels and zeroes the record; 0.
int FreeGraphImage(GraphImage* image);

// ---- sound and music ------------------------------------------------------------------

// Play types.
enum : int32_t { PLAY_WAIT = 0, PLAY_BACKGROUND = 1, PLAY_LOOP = 3 };

// A sound handle with copies (at most 10) played in turn, or -1. The stream argument is
// -1 for a sound read whole.
int LoadSoundFile(const char* fileName, int32_t copies, int32_t stream);
int PlaySoundHandle(int32_t sound, int32_t playType, int32_t fromTop);
int StopSoundHandle(int32_t sound);
// Plays a MIDI file, or else a sound file streamed.
int PlayMusicFile(const char* fileName, int32_t playType);
int StopMusicFile();
// 0 when no music plays, else its play state.
int IsMusicFilePlaying();
