# Libraries the platform layer and the engine call. Later subsystems add theirs here.
set(KR_PLATFORM_LIBS)
set(KR_ENGINE_LIBS)

# SDL2: windows, events, cursor, message box, pads, the sound output (platform/*/sdl).
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
list(APPEND KR_PLATFORM_LIBS PkgConfig::SDL2)
# Xlib on SDL's own X connection: full screen where no window manager makes it so.
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
list(APPEND KR_PLATFORM_LIBS PkgConfig::X11)

# The MIDI synthesizer rendered into the mixer (platform/audio), with the soundfont
# /usr/share/sounds/sf2/TimGM6mb.sf2 (timgm6mb-soundfont).
pkg_check_modules(FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
list(APPEND KR_PLATFORM_LIBS PkgConfig::FLUIDSYNTH)

# MPEG audio decoding behind the codec streams (platform/audio).
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
list(APPEND KR_PLATFORM_LIBS PkgConfig::MPG123)

# Ogg Vorbis: the engine's sound converters call vorbisfile directly.
pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile vorbis ogg)
list(APPEND KR_ENGINE_LIBS PkgConfig::VORBISFILE)

# Encoders that make sound fixtures for the tests, the benchmarks and the fuzz targets'
# seeds (the game's own build needs no MP3 encoder).
if(KR_TESTS OR KR_BENCH OR KR_FUZZ)
  pkg_check_modules(KR_SOUND_ENCODERS REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg lame)
endif()

# libpng, libjpeg (the 6b interface of libjpeg62-turbo) and zlib: the image loaders call
# them themselves (engine/graphics); the asset tool writes its PNG files with libpng.
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(ZLIB REQUIRED IMPORTED_TARGET zlib)
list(APPEND KR_ENGINE_LIBS PkgConfig::PNG PkgConfig::JPEG PkgConfig::ZLIB)
# The headless display dumps its store as PNG (platform/display).
list(APPEND KR_PLATFORM_LIBS PkgConfig::PNG)

# The sound writers (engine/sound/writer) encode Ogg Vorbis through vorbisenc.
pkg_check_modules(KR_VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg)

# Glyphs and text metrics of the GDI-like layer's fonts (platform/gdi/freetype), from the
# IPA Gothic faces (fonts-ipafont-gothic).
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
list(APPEND KR_PLATFORM_LIBS PkgConfig::FREETYPE)
# Theora movies: the Ogg and Theora reading of platform/media, over states the engine's
# own decoder keeps (engine/movie), through libtheora's old decoding interface and libogg;
# the movie streams of platform/media decode their Vorbis tracks with libvorbis.
pkg_check_modules(KR_THEORA REQUIRED IMPORTED_TARGET theora ogg vorbis)
list(APPEND KR_PLATFORM_LIBS PkgConfig::KR_THEORA)
list(APPEND KR_ENGINE_LIBS PkgConfig::KR_THEORA)
# The movie writer (tools/krmovie) encodes pictures and tones for the tests, the fuzz
# seeds and the bench.
pkg_check_modules(KR_MOVIE_ENCODERS REQUIRED IMPORTED_TARGET theoraenc vorbisenc vorbis ogg)
