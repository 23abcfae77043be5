// The 2D surface core: a piece drawn at (x, y) of the draw target, by the software
// renderer into the target image on a software-rendered screen, and on DirectDraw through
// the work-draw bracket (one BltFast when it offers one).
#include "engine/d3d/services.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawtarget.h"
#include "engine/graphics/surface2d.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"
#include "engine/softimage/blit.h"

int DrawSurface2DCore(int32_t x, int32_t y, int32_t surface2D, int32_t trans) {
  const ScreenState& s = g_ScreenState;
  if (!s.ddraw && !s.noDirectDraw) return -1;
  const Surface2DRecord* piece = GetSurface2D(surface2D);
  SurfaceData* data = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
  if (!data) return -1;
  if (s.softwareRender && s.depth != 8) {
    if (!s.targetImage || !IsMemImgValid(s.targetImage) || !IsMemImgValid(&data->image)) return -1;
    const bool whole =
        piece->sourceX == 0 && piece->sourceY == 0 && piece->width == data->width && piece->height == data->height;
    MEMIMG view{};
    if (!whole) DeriveMemImg(&view, &data->image, piece->sourceX, piece->sourceY, piece->width, piece->height);
    const MEMIMG* source = whole ? &data->image : &view;
    if (IsMemImgValid(source)) {
      BlitMemImg(s.targetImage, source, x, y, trans, GetBlendMemImg());
      s.targetImage->data->runMapValid = 0;
      s.targetImage->data->premultipliedValid = 0;
    }
    ReleaseMemImg(&view);
    return 0;
  }
  EndSceneCurrent();
  FlushCurrentVertexBatch();
  Rect box{x, y, x + piece->width, y + piece->height};
  ClipRect(&box, &g_DrawState.drawArea);
  if (box.left >= box.right || box.top >= box.bottom) return 0;
  const Rect source{box.left - x, box.top - y, box.right - x, box.bottom - y};
  if (BeginWorkDraw(piece, 1, &source, &box, 0, nullptr, nullptr) != 0) return -1;
  const WorkDrawState& w = g_WorkDraw;
  if (w.directBlit) {
    PlatDDSurfaceBltFast(w.blitDestination, w.blitDestinationRect.left, w.blitDestinationRect.top, w.blitSource,
                         &w.blitSourceRect, trans ? PLAT_DDBLTFAST_SRCCOLORKEY : PLAT_DDBLTFAST_NOCOLORKEY);
    return 0;
  }
  if (w.destination && w.source) BlitMemImg(w.destination, w.source, x, y, trans, GetBlendMemImg());
  EndWorkDraw();
  return 0;
}
