#!/usr/bin/env bash
# The build's layer check on small trees made here, one include per case: an arrow that
# points up in any folder, an engine folder outside the order, or a back-end header outside
# platform/ fails the check and is named; the arrows the layers allow pass.
#   checklayers.sh <repository root>
set -u
check=$(realpath "$1")/scripts/checklayers.sh
dir=$(mktemp -d /tmp/kr_layers_XXXXXX)
trap 'rm -rf "$dir"' EXIT

status=0
# case FILE INCLUDE-LINE pass|fail
case_() {
  local file=$1 include=$2 want=$3 tree
  tree=$(mktemp -d "$dir/tree_XXXXXX")
  mkdir -p "$tree/$(dirname "$file")"
  printf '%s\n' "$include" > "$tree/$file"
  local out got=pass
  out=$("$check" "$tree" 2>&1) || got=fail
  if [ "$got" != "$want" ]; then
    echo "$file with '$include': the check should $want, it did $got: $out"
    status=1
  elif [ "$want" = fail ] && [[ $out != *"$file"* ]]; then
    echo "$file with '$include': refused without naming the file: $out"
    status=1
  fi
}

case_ engine/base/rect.cpp         '#include "engine/system/system.h"'      fail
case_ engine/base/log.cpp          '#include "engine/graphics/services.h"'  fail
case_ engine/base/log.cpp          '#include "engine/file/file.h"'          fail
case_ engine/file/file.cpp         '#include "engine/pixel/screen.h"'       fail
case_ engine/pixel/convert.cpp     '#include "engine/softimage/blit.h"'     fail
case_ engine/softimage/blit.cpp    '#include "engine/graphics/services.h"'  fail
case_ engine/softimage/blit.cpp    '#include "engine/state/state.h"'       fail
case_ engine/state/state.cpp       '#include "engine/file/file.h"'          fail
case_ engine/state/fatal.cpp       '#include "engine/system/system.h"'      fail
case_ engine/sound/music.cpp       '#include "engine/graphics/services.h"'  fail
case_ engine/sound/music.cpp       '#include "engine/system/system.h"'      fail
case_ engine/graphics/screen.cpp   '#include "engine/system/system.h"'      fail
case_ engine/graphics/screen.cpp   '#include "engine/sound/services.h"'    fail
case_ engine/font/textdraw.cpp     '#include "engine/movie/services.h"'    fail
case_ engine/font/textdraw.cpp     '#include "engine/system/screenlog.h"'   fail
case_ engine/d3d/scene.cpp         '#include "engine/movie/movie.h"'        fail
case_ engine/d3d/scene.cpp         '#include "engine/system/system.h"'      fail
case_ engine/movie/stream.cpp      '#include "engine/d3d/services.h"'       fail
case_ engine/movie/stream.cpp      '#include "engine/system/placement.h"'   fail
case_ engine/newpart/part.cpp      '#include "engine/base/log.h"'           fail
case_ platform/net/net.cpp         '#include "engine/base/log.h"'           fail
case_ platform/text/text.cpp       '#include "platform/kernel/kernel.h"'    fail
case_ platform/kernel/kernel.cpp   '#include "platform/fs/fs.h"'            fail
case_ platform/fs/fs.cpp           '#include "platform/sdl/sdlstart.h"'     fail
case_ platform/sdl/sdlstart.cpp    '#include "platform/backend/chooser.h"'  fail
case_ platform/backend/chooser.cpp '#include "platform/keys/keytable.h"'    fail
case_ platform/com/com.cpp         '#include "platform/window/window.h"'    fail
case_ platform/keys/keytable.cpp   '#include "platform/window/window.h"'    fail
case_ platform/keys/keytable.cpp   '#include "platform/input/backend.h"'    fail
case_ platform/window/messages.cpp '#include "platform/display/display.h"'  fail
case_ platform/window/messages.cpp '#include "platform/gdi/gdi.h"'          fail
case_ platform/window/headless/headlesswindow.cpp '#include "platform/display/headless/headlessdisplay.h"' fail
case_ platform/net/net.cpp         '#include "platform/input/input.h"'      fail
case_ platform/ime/ime.cpp         '#include "platform/display/display.h"'  fail
case_ platform/input/input.cpp     '#include "platform/display/display.h"'  fail
case_ platform/display/display.cpp '#include "platform/ddraw/ddraw.h"'      fail
case_ platform/ddraw/ddraw.cpp     '#include "platform/d3d/d3d.h"'          fail
case_ platform/ddraw/ddraw.cpp     '#include "platform/gdi/gdi.h"'          fail
case_ platform/d3d/d3d.cpp         '#include "platform/gdi/gdi.h"'          fail
case_ platform/gdi/gdi.cpp         '#include "platform/audio/audio.h"'      fail
case_ platform/audio/audio.cpp     '#include "platform/display/display.h"'  fail
case_ platform/audio/audio.cpp     '#include "platform/media/media.h"'      fail
case_ platform/newfamily/part.cpp  '#include "platform/kernel/kernel.h"'    fail
case_ game/menus.cpp               '#include "engine/system/system.h"'      fail
case_ game/menus.cpp               '#include "platform/window/window.h"'    fail
case_ game/main.cpp                '#include <SDL.h>'                       fail
case_ engine/system/pump.cpp       '#include <SDL2/SDL_events.h>'           fail
case_ tools/krapack.cpp            '#include <ft2build.h>'                  fail

case_ engine/base/log.cpp          '#include "platform/kernel/kernel.h"'    pass
case_ engine/base/log.cpp          '#include "engine/engine.h"'             pass
case_ engine/softimage/blit.cpp    '#include "engine/pixel/drawstate.h"'    pass
case_ engine/state/state.cpp       '#include "engine/base/log.h"'           pass
case_ engine/sound/music.cpp       '#include "engine/state/hooks.h"'        pass
case_ engine/graphics/screen.cpp   '#include "engine/state/fatal.h"'        pass
case_ engine/graphics/screen.cpp   '#include "engine/softimage/blit.h"'     pass
case_ engine/font/textdraw.cpp     '#include "engine/graphics/services.h"'  pass
case_ engine/d3d/scene.cpp         '#include "engine/font/font.h"'          pass
case_ engine/movie/stream.cpp      '#include "engine/sound/services.h"'    pass
case_ engine/movie/stream.cpp      '#include "engine/graphics/graph.h"'     pass
case_ engine/system/pump.cpp       '#include "engine/graphics/services.h"'  pass
case_ engine/system/init.cpp       '#include "engine/movie/services.h"'    pass
case_ game/engineapi.cpp           '#include "platform/kernel/kernel.h"'    pass
case_ game/engineapi.cpp           '#include "platform/window/messagebox.h"' pass
case_ game/menus.cpp               '#include "game/gamestate.h"'            pass
case_ platform/window/sdl/sdlwindow.cpp '#include <SDL.h>'                  pass
case_ platform/kernel/kernel.cpp   '#include "platform/text/text.h"'        pass
case_ platform/keys/keytable.cpp   '#include "platform/backend/chooser.h"'  pass
case_ platform/window/window.cpp   '#include "platform/keys/keytable.h"'    pass
case_ platform/input/input.cpp     '#include "platform/keys/keytaps.h"'     pass
case_ platform/input/input.cpp     '#include "platform/window/backend.h"'   pass
case_ platform/display/display.cpp '#include "platform/window/hooks.h"'     pass
case_ platform/gdi/gdi.cpp         '#include "platform/ddraw/ddraw.h"'      pass
case_ platform/media/media.cpp     '#include "platform/audio/audio.h"'      pass
exit $status
