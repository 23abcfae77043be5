// The graphics rebuild after a display change or the return of a full-screen program: the
// display objects and the screen surfaces made again under the graphs, the fonts and the
// draw target, which all keep their handles.
#include "engine/base/log.h"
#include "engine/graphics/clients.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawtarget.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/pixel/drawstate.h"
#include "engine/state/hooks.h"
#include "engine/state/sysdata.h"

int RebuildGraphicsSystem() {
  ScreenState& s = g_ScreenState;
  // Nothing was built that could be built again (a start that made no display objects).
  if (!s.directDrawStarted) return 0;
  // The window code logs no step of its own around the rebuild: its lines are indented here.
  LogIndentIn();
  const bool graphicsOff = g_System.settings.noGraphics != 0;
  if (!graphicsOff) {
    g_Renderer3D.releaseDirect3DObject();
    ReleaseMaskScreen();
    ReleaseScreenSurfaces();
  }
  g_SystemHooks.shutdownInput();
  if (graphicsOff) {
    LogIndentOut();
    return 0;
  }
  ReleaseAllSurface2DObjects();
  ReleaseClipper();
  // A DirectDraw object that lived through the change is kept: the display is set up
  // again, the surface objects and colour keys of every 2D surface and the clipper are
  // made again. One released when the program was left is made anew first.
  ReacquireDirectDraw();
  CreateScreenSurfaces();
  if (s.depth == 8) RebuildScreenPalette();
  const int32_t target = g_DrawState.drawTarget;
  if (SelectDrawTargetSurface(target, target) != 0) SetDrawTargetCore(DRAW_SCREEN_BACK);
  g_Renderer3D.acquireDirect3DObject();
  ClearDrawTargetCore();
  PresentScreenCore();
  FlagAllGraphsLost();
  g_GraphicsClients.reopenAllMovies();
  RecreateMaskScreen();
  if (g_Renderer3D.is3DAvailable()) {
    const DrawState& d = g_DrawState;
    g_Renderer3D.setWorldTransform3D(&d.world, 0);
    g_Renderer3D.setViewTransform3D(&d.view);
    g_Renderer3D.setProjectionTransform3D(&d.projection);
  }
  LogIndentOut();
  return 0;
}
