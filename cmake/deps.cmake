# Libraries the platform layer and the engine call. Later subsystems add theirs here.
set(KR_PLATFORM_LIBS)
set(KR_ENGINE_LIBS)

# SDL2: windows, events, cursor, message box (platform/window/sdl).
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
list(APPEND KR_PLATFORM_LIBS PkgConfig::SDL2)
