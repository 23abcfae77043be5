// Windows and their messages: window classes, windows with a procedure, message queues
// with thread affinity, posting, sending, dispatching, key translation, window timers,
// the cursor, the key-state array, rectangles, styles, the screen saver and the message
// box. The desktop's size and depth are the display's (platform/display/display.h), and a
// window's fill goes through its device context (PlatFillRect, platform/gdi/gdi.h).
//
// The engine sees one model whatever the back end: a window belongs to the thread that
// created it, and its messages reach only that thread's queue; a peek on any other thread
// sees none of them. The back end (KR_PLATFORM=headless|sdl, default sdl, or
// PlatWindowSelectBackend while no window exists) decides what stands behind a window:
// a real SDL window whose events become messages on the window's thread, or nothing at
// all for tests, which script the user through platform/window/headless/headlesswindow.h,
// the keyboard of platform/input/headless/headlesskeys.h and the desktop of
// platform/display/headless/headlessdisplay.h. Virtual-key codes and the
// key table are platform/keys/keytable.h; the message box is platform/window/messagebox.h.
//
// Text given to and returned by these functions is Shift-JIS, like the engine's.
#pragma once

#include "platform/keys/keytable.h"
#include "platform/window/messagebox.h"

#include <cstddef>
#include <cstdint>

// ---- handles and records ------------------------------------------------------------

// A window handle; 0 is no window. Handles are not reused at once after a destroy.
typedef uint32_t PlatWnd;
typedef uintptr_t PlatWParam;
typedef intptr_t PlatLParam;
typedef intptr_t PlatLResult;

// Filter of PlatPeekMessage for messages posted to the thread itself (no window).
constexpr PlatWnd PLAT_WND_THREAD = 0xFFFFFFFFu;
// insertAfter of PlatSetWindowPos.
constexpr PlatWnd PLAT_HWND_TOP = 0;
constexpr PlatWnd PLAT_HWND_TOPMOST = 0xFFFFFFFFu;
constexpr PlatWnd PLAT_HWND_NOTOPMOST = 0xFFFFFFFEu;
// What PlatFindWindow reports for a window of another process: it is known to exist,
// and no call accepts the value as a window.
constexpr PlatWnd PLAT_WND_OTHER_PROCESS = 0xFFFFFFFDu;
// The desktop, for an owner that is no window of ours (the sound device's cooperative
// level); no window call accepts it.
constexpr PlatWnd PLAT_WND_DESKTOP = 0xFFFFFFFCu;

typedef PlatLResult (*PlatWndProc)(PlatWnd window, uint32_t message, PlatWParam wParam,
                                   PlatLParam lParam);

struct PlatRect {
  int32_t left, top, right, bottom;  // right and bottom exclusive
};
struct PlatPoint {
  int32_t x, y;
};

struct PlatMsg {
  PlatWnd window;  // 0 for a message posted to the thread
  uint32_t message;
  PlatWParam wParam;
  PlatLParam lParam;
  uint32_t time;   // PlatTimeMs when it was queued
  PlatPoint pt;    // cursor position on screen when it was queued
  uint32_t serial; // identifies a queued message (PlatTranslateMessage uses it)
};

struct PlatWndClass {
  uint32_t style;        // PLAT_CS_*
  PlatWndProc proc;
  int32_t cursor;        // PLAT_CURSOR_*: shape set by the default procedure on WM_SETCURSOR
  const char* className; // compared without regard to case
};

struct PlatPaint {
  PlatRect paintRect;  // client coordinates of the part to paint
};

// ---- constants ----------------------------------------------------------------------

enum : uint32_t {
  PLAT_WM_NULL = 0x0000,
  PLAT_WM_CREATE = 0x0001,
  PLAT_WM_DESTROY = 0x0002,
  PLAT_WM_MOVE = 0x0003,
  PLAT_WM_SIZE = 0x0005,
  PLAT_WM_ACTIVATE = 0x0006,
  PLAT_WM_PAINT = 0x000F,
  PLAT_WM_CLOSE = 0x0010,
  PLAT_WM_QUIT = 0x0012,
  PLAT_WM_ACTIVATEAPP = 0x001C,
  PLAT_WM_SETCURSOR = 0x0020,
  PLAT_WM_NCDESTROY = 0x0082,
  PLAT_WM_DISPLAYCHANGE = 0x007E,
  PLAT_WM_KEYDOWN = 0x0100,
  PLAT_WM_KEYUP = 0x0101,
  PLAT_WM_CHAR = 0x0102,
  PLAT_WM_SYSKEYDOWN = 0x0104,
  PLAT_WM_SYSKEYUP = 0x0105,
  PLAT_WM_SYSCHAR = 0x0106,
  PLAT_WM_IME_STARTCOMPOSITION = 0x010D,
  PLAT_WM_IME_ENDCOMPOSITION = 0x010E,
  PLAT_WM_IME_COMPOSITION = 0x010F,
  PLAT_WM_TIMER = 0x0113,
  PLAT_WM_SYSCOMMAND = 0x0112,
  PLAT_WM_MOUSEMOVE = 0x0200,
  PLAT_WM_LBUTTONDOWN = 0x0201,
  PLAT_WM_LBUTTONUP = 0x0202,
  PLAT_WM_LBUTTONDBLCLK = 0x0203,
  PLAT_WM_RBUTTONDOWN = 0x0204,
  PLAT_WM_RBUTTONUP = 0x0205,
  PLAT_WM_RBUTTONDBLCLK = 0x0206,
  PLAT_WM_MBUTTONDOWN = 0x0207,
  PLAT_WM_MBUTTONUP = 0x0208,
  PLAT_WM_MOUSEWHEEL = 0x020A,
  PLAT_WM_IME_SETCONTEXT = 0x0281,
  PLAT_WM_IME_NOTIFY = 0x0282,
  PLAT_WM_USER = 0x0400,
  PLAT_MM_MCINOTIFY = 0x03B9,       // 953: the MIDI sequencer's notification
  PLAT_WM_HOOKED_F10 = 0x046F,      // 1135: F10 state from an outside hook
  PLAT_WM_SOCKET = 0x0505,          // 1285: socket events for the network window
};

// WM_SIZE wParam.
enum : uint32_t { PLAT_SIZE_RESTORED = 0, PLAT_SIZE_MINIMIZED = 1, PLAT_SIZE_MAXIMIZED = 2 };
// WM_ACTIVATE low word of wParam (the high word is 1 while the window is minimised).
enum : uint32_t { PLAT_WA_INACTIVE = 0, PLAT_WA_ACTIVE = 1, PLAT_WA_CLICKACTIVE = 2 };
// WM_SYSCOMMAND wParam.
enum : uint32_t {
  PLAT_SC_MINIMIZE = 0xF020,
  PLAT_SC_CLOSE = 0xF060,
  PLAT_SC_RESTORE = 0xF120,
  PLAT_SC_SCREENSAVE = 0xF140,
  PLAT_SC_MONITORPOWER = 0xF170,
};
// Hit-test code in the low word of WM_SETCURSOR's lParam.
enum : uint32_t { PLAT_HTCLIENT = 1 };
// Mouse-message wParam flags.
enum : uint32_t {
  PLAT_MK_LBUTTON = 0x1, PLAT_MK_RBUTTON = 0x2, PLAT_MK_SHIFT = 0x4,
  PLAT_MK_CONTROL = 0x8, PLAT_MK_MBUTTON = 0x10,
};

// PlatPeekMessage removal.
enum : uint32_t { PLAT_PM_NOREMOVE = 0, PLAT_PM_REMOVE = 1 };

// PlatShowWindow commands.
enum : int {
  PLAT_SW_HIDE = 0,
  PLAT_SW_SHOWNORMAL = 1,
  PLAT_SW_SHOWMINIMIZED = 2,
  PLAT_SW_MAXIMIZE = 3,
  PLAT_SW_SHOWNOACTIVATE = 4,
  PLAT_SW_SHOW = 5,
  PLAT_SW_MINIMIZE = 6,
  PLAT_SW_SHOWMINNOACTIVE = 7,
  PLAT_SW_SHOWNA = 8,
  PLAT_SW_RESTORE = 9,
};

// PlatSetWindowPos flags.
enum : uint32_t {
  PLAT_SWP_NOSIZE = 0x1,
  PLAT_SWP_NOMOVE = 0x2,
  PLAT_SWP_NOZORDER = 0x4,
  PLAT_SWP_NOREDRAW = 0x8,
  PLAT_SWP_NOACTIVATE = 0x10,
  PLAT_SWP_SHOWWINDOW = 0x40,
  PLAT_SWP_HIDEWINDOW = 0x80,
};

// Window styles and extended styles (the bits the engine uses; the frame of our own is
// derived from them, see PlatAdjustWindowRectEx).
enum : uint32_t {
  PLAT_WS_POPUP = 0x80000000u,
  PLAT_WS_MINIMIZE = 0x20000000u,
  PLAT_WS_VISIBLE = 0x10000000u,
  PLAT_WS_CAPTION = 0x00C00000u,  // border and dialog frame together
  PLAT_WS_BORDER = 0x00800000u,
  PLAT_WS_DLGFRAME = 0x00400000u,
  PLAT_WS_SYSMENU = 0x00080000u,
  PLAT_WS_THICKFRAME = 0x00040000u,
  PLAT_WS_MINIMIZEBOX = 0x00020000u,
  PLAT_WS_EX_TOPMOST = 0x00000008u,
  PLAT_WS_EX_WINDOWEDGE = 0x00000100u,
  PLAT_WS_EX_CLIENTEDGE = 0x00000200u,
};
// PlatGetWindowLong / PlatSetWindowLong index.
enum : int { PLAT_GWL_EXSTYLE = -20, PLAT_GWL_STYLE = -16 };
// Class styles: repaint the whole client area when its width / height changes.
enum : uint32_t { PLAT_CS_VREDRAW = 0x1, PLAT_CS_HREDRAW = 0x2 };

// Cursor shapes.
enum : int32_t { PLAT_CURSOR_NONE = 0, PLAT_CURSOR_ARROW = 1 };

// ---- back end -------------------------------------------------------------------------

// Chooses the back end ("headless" or "sdl"); 0, or -1 for an unknown name or while a
// window of another back end exists.
int PlatWindowSelectBackend(const char* name);
// The back end in use (choosing it from KR_PLATFORM when none was chosen yet).
const char* PlatWindowBackendName();
// Null while windows can be made; else a line for the user on why not (no display could
// be opened) and what to do.
const char* PlatWindowUnavailableReason();

// ---- classes --------------------------------------------------------------------------

// 1 on success; 0 when the name is taken, empty, or there is no procedure.
int PlatRegisterClass(const PlatWndClass* windowClass);
// 1 on success; 0 for an unknown class or one that still has windows.
int PlatUnregisterClass(const char* className);
// The first top-level window of the class (and of the title, unless it is null), or 0.
// Asked for a class alone, it also sees the windows of other processes on the machine:
// PLAT_WND_OTHER_PROCESS when only another process has windows of the class.
PlatWnd PlatFindWindow(const char* className, const char* title);
// Where processes leave the marks of the classes they have windows of (a directory all
// of them can write; null or "" keeps this process's classes to itself). By default the
// user's runtime directory (else the temporary directory) for the sdl back end, and
// nothing for headless. Set it before the first window is made.
void PlatSetClassLockDirectory(const char* directory);

// ---- windows --------------------------------------------------------------------------

// Creates a window of a registered class for the calling thread; x, y, width and height
// are the window rectangle on screen (frame included). Sends WM_CREATE; a window with
// PLAT_WS_VISIBLE is shown (not activated). 0 on failure (no such class, or the back end
// cannot open its display).
PlatWnd PlatCreateWindow(uint32_t exStyle, const char* className, const char* title,
                         uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height);
// Only the owning thread may destroy a window. Deactivates it when it is active, sends
// WM_DESTROY and WM_NCDESTROY synchronously, drops its queued messages and timers.
// 1 on success, 0 for a bad handle, another thread, or a destroy already under way.
int PlatDestroyWindow(PlatWnd window);
int PlatIsWindow(PlatWnd window);
// Id (PlatThreadId) of the thread that owns the window, or 0.
uint32_t PlatGetWindowThreadId(PlatWnd window);
// Returns 1 when the window was visible before. See PLAT_SW_*: showing activates (except
// the *NOACTIVATE/SHOWNA forms), minimising deactivates; WM_SIZE reports a change into
// and out of the minimised state.
int PlatShowWindow(PlatWnd window, int command);
int PlatIsWindowVisible(PlatWnd window);
int PlatIsIconic(PlatWnd window);
// Sends WM_PAINT at once when part of the window waits to be painted.
int PlatUpdateWindow(PlatWnd window);
// Moves and sizes the window rectangle (frame included). WM_MOVE is sent only when the
// client area's origin moved, WM_SIZE only when its size changed. 1 / 0.
int PlatSetWindowPos(PlatWnd window, PlatWnd insertAfter, int32_t x, int32_t y, int32_t cx,
                     int32_t cy, uint32_t flags);
int PlatMoveWindow(PlatWnd window, int32_t x, int32_t y, int32_t width, int32_t height,
                   int repaint);
// Styles (PLAT_GWL_STYLE / PLAT_GWL_EXSTYLE). Setting returns the previous value; the new
// frame takes effect at the next move or size. PLAT_WS_VISIBLE shows or hides.
uint32_t PlatGetWindowLong(PlatWnd window, int index);
uint32_t PlatSetWindowLong(PlatWnd window, int index, uint32_t value);
int PlatSetWindowText(PlatWnd window, const char* text);
// Full screen (1): the window is shown borderless over the whole desktop, its client
// area scaled up to fill it with the aspect kept; its rectangles (and so everything the
// caller sees of it) stay as they are. 0 shows it as its rectangles say again. 1 / 0.
int PlatSetWindowFullScreen(PlatWnd window, int on);
int PlatIsWindowFullScreen(PlatWnd window);
// Copies at most size - 1 bytes; returns the length copied.
int PlatGetWindowText(PlatWnd window, char* text, int size);

// ---- rectangles -----------------------------------------------------------------------

// The client area in client coordinates: (0, 0, width, height); empty while minimised.
int PlatGetClientRect(PlatWnd window, PlatRect* rect);
// The window rectangle on screen, frame included.
int PlatGetWindowRect(PlatWnd window, PlatRect* rect);
int PlatClientToScreen(PlatWnd window, PlatPoint* point);
int PlatScreenToClient(PlatWnd window, PlatPoint* point);
// Grows a client rectangle into the window rectangle of that style. The frame is our own:
// a caption adds 20 pixels on top, a border 1 and a dialog frame 3 on every side (a
// thick frame 4), a client edge 2 more on every side, a menu 20 more on top.
int PlatAdjustWindowRectEx(PlatRect* rect, uint32_t style, int hasMenu, uint32_t exStyle);

// ---- activation -----------------------------------------------------------------------

// Activating sends WM_ACTIVATEAPP (when the program was not active) and WM_ACTIVATE to
// the window, and WM_ACTIVATE (inactive) to the window that loses activation; each
// returns the window active before.
PlatWnd PlatSetActiveWindow(PlatWnd window);
PlatWnd PlatGetActiveWindow();
int PlatSetForegroundWindow(PlatWnd window);
PlatWnd PlatGetForegroundWindow();
int PlatBringWindowToTop(PlatWnd window);

// ---- messages -------------------------------------------------------------------------

// Posts to the queue of the window's thread (any thread may post). 1 / 0.
int PlatPostMessage(PlatWnd window, uint32_t message, PlatWParam wParam, PlatLParam lParam);
// Takes back what was posted to the window and is still queued: every message of that
// number and lParam. The number taken back.
int PlatWithdrawPostedMessages(PlatWnd window, uint32_t message, PlatLParam lParam);
// Posts a message with no window to a thread's queue. 1 / 0.
int PlatPostThreadMessage(uint32_t threadId, uint32_t message, PlatWParam wParam,
                          PlatLParam lParam);
// Marks the calling thread's queue: WM_QUIT comes once nothing else is posted.
void PlatPostQuitMessage(int exitCode);
// Calls the window's procedure now on the owning thread; from another thread it waits
// until the owner takes it in a peek. 0 for a bad handle.
PlatLResult PlatSendMessage(PlatWnd window, uint32_t message, PlatWParam wParam,
                            PlatLParam lParam);
// Takes the next message of the calling thread's queue: messages sent from other threads
// are delivered first, then posted messages, then input (keys, mouse, activation), then
// WM_QUIT, WM_PAINT and due WM_TIMERs. Filter: 0 any of this thread's messages,
// PLAT_WND_THREAD only those posted to the thread, else only that window's. A range of
// 0, 0 takes every message. WM_PAINT stays until painted. 1 when a message was found.
int PlatPeekMessage(PlatMsg* msg, PlatWnd filter, uint32_t minMessage, uint32_t maxMessage,
                    uint32_t remove);
// Posts the characters of a key press (WM_KEYDOWN / WM_SYSKEYDOWN) just taken: one
// WM_CHAR (WM_SYSCHAR) per Shift-JIS byte. 1 when characters were posted.
int PlatTranslateMessage(const PlatMsg* msg);
// Calls the procedure of the message's window; 0 for thread messages.
PlatLResult PlatDispatchMessage(const PlatMsg* msg);
// What a window does with a message it does not handle: WM_CLOSE destroys it, WM_PAINT
// validates it, WM_SETCURSOR sets the class cursor over the client area and the arrow
// elsewhere, WM_SYSCOMMAND closes, minimises,
// restores or starts the screen saver, Alt+F4 closes.
PlatLResult PlatDefWindowProc(PlatWnd window, uint32_t message, PlatWParam wParam,
                              PlatLParam lParam);

// ---- painting -------------------------------------------------------------------------

// Adds a client rectangle (null: all of it) to the part that waits to be painted.
int PlatInvalidateRect(PlatWnd window, const PlatRect* rect);
int PlatValidateRect(PlatWnd window, const PlatRect* rect);
// 1 and the part to paint (now validated), or 0 for a bad handle.
int PlatBeginPaint(PlatWnd window, PlatPaint* paint);
int PlatEndPaint(PlatWnd window, const PlatPaint* paint);

// ---- timers ---------------------------------------------------------------------------

// A timer's own procedure: PlatDispatchMessage calls it for the timer's WM_TIMER
// (message, id, and the time the message was queued) instead of the window procedure.
typedef void (*PlatTimerProc)(PlatWnd window, uint32_t message, uintptr_t id, uint32_t time);

// WM_TIMER (wParam = id, lParam = the timer's procedure or 0) comes when the queue is
// otherwise empty and at least ms have passed since the timer was set or its last
// WM_TIMER was taken. Setting an existing id restarts it (with the procedure given now).
// Returns the id, or 0.
uintptr_t PlatSetTimer(PlatWnd window, uintptr_t id, uint32_t ms, PlatTimerProc proc = nullptr);
int PlatKillTimer(PlatWnd window, uintptr_t id);

// ---- keyboard -------------------------------------------------------------------------

// The calling thread's key state as of the key and mouse-button input it has taken from
// its queue: bit 7 held, bit 0 toggled by each press. Left and right Shift, Control and
// Menu are kept apart (PLAT_VK_L* / PLAT_VK_R*); the plain codes are held while either is.
// A key pressed and let go again before a call showed it held shows held in the calls
// of the next millisecond that calls and in the first call of a later one
// (platform/keys/keytaps.h), so that a caller reading once per frame sees a short tap.
int PlatGetKeyboardState(uint8_t state[256]);
// 0x80 bit set while held, 0x01 toggled (as one byte of PlatGetKeyboardState).
uint8_t PlatGetKeyState(uint32_t vk);

// ---- cursor ---------------------------------------------------------------------------

// The display count: up by one (show) or down by one; the cursor shows while it is 0 or
// more and a shape is set. Returns the new count.
int PlatShowCursor(int show);
// Sets the shape (PLAT_CURSOR_NONE hides it); returns the previous shape.
int32_t PlatSetCursor(int32_t cursor);
// 1 while the cursor is on screen (count 0 or more and a shape).
int PlatIsCursorVisible();
int PlatGetCursorPos(PlatPoint* point);
int PlatSetCursorPos(int32_t x, int32_t y);

// ---- desktop and system ---------------------------------------------------------------

// The screen saver may start (1) or not (0); the previous setting is returned.
int PlatSetScreenSaverActive(int active);
int PlatGetScreenSaverActive();
// The time (ms) during which the system refuses to change the foreground window.
uint32_t PlatGetForegroundLockTimeout();
void PlatSetForegroundLockTimeout(uint32_t ms);
// Allows (1) or forbids (0) the input method for the window; returns the previous state.
int PlatEnableWindowIme(PlatWnd window, int enable);
// The message box: platform/window/messagebox.h.

// ---- observation --------------------------------------------------------------------

// Called with every message that reaches a window procedure (sent or dispatched), on the
// thread that calls the procedure, just before the call. Null removes it.
typedef void (*PlatMessageObserver)(PlatWnd window, uint32_t message, PlatWParam wParam,
                                    PlatLParam lParam, void* context);
void PlatSetMessageObserver(PlatMessageObserver observer, void* context);
