// Clippers and palettes of the DirectDraw-style layer.
#include "platform/ddraw/ddraw.h"

#include "platform/ddraw/ddrawstate.h"

#include <cstring>

using namespace ddcore;

namespace {

void ShowPalette(const Palette& p) {
  uint32_t rgb[256];
  for (int i = 0; i < 256; i++)
    rgb[i] = uint32_t(p.entries[i].red) << 16 | uint32_t(p.entries[i].green) << 8 | p.entries[i].blue;
  PlatDisplaySetPalette(0, 256, rgb);
}

bool OnPrimary(DD& g, PlatDDPalette palette) {
  for (auto& [h, s] : g.surfaces)
    if (s.palette == palette && (s.caps & PLAT_DDSCAPS_PRIMARYSURFACE) && !Lost(g, s)) return true;
  return false;
}

}  // namespace

int32_t PlatDDSurfaceSetPalette(PlatDDSurface surface, PlatDDPalette palette) {
  ENTER("SetPalette");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (Lost(g, *s)) return PLAT_DDERR_SURFACELOST;
  auto p = g.palettes.find(palette);
  if (palette && p == g.palettes.end()) return PLAT_DDERR_INVALIDOBJECT;
  s->palette = palette;
  if (palette && (s->caps & PLAT_DDSCAPS_PRIMARYSURFACE)) ShowPalette(p->second);
  return PLAT_DD_OK;
}

// ---- clippers and palettes -----------------------------------------------------------------

int32_t PlatDDrawCreateClipper(PlatDDraw object, uint32_t flags, PlatDDClipper* clipper) {
  ENTER("CreateClipper");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  if (flags || !clipper) return PLAT_DDERR_INVALIDPARAMS;
  *clipper = NewHandle(g, KIND_CLIPPER);
  g.clippers[*clipper] = 0;
  return PLAT_DD_OK;
}

int32_t PlatDDClipperSetHWnd(PlatDDClipper clipper, uint32_t flags, PlatWnd window) {
  ENTER("SetHWnd");
  auto it = g.clippers.find(clipper);
  if (it == g.clippers.end()) return PLAT_DDERR_INVALIDOBJECT;
  if (flags || (window && !PlatIsWindow(window))) return PLAT_DDERR_INVALIDPARAMS;
  it->second = window;
  if (window) PlatDisplayShowWindow(window, 1);
  return PLAT_DD_OK;
}

int32_t PlatDDClipperGetHWnd(PlatDDClipper clipper, PlatWnd* window) {
  ENTER("GetHWnd");
  auto it = g.clippers.find(clipper);
  if (it == g.clippers.end()) return PLAT_DDERR_INVALIDOBJECT;
  if (!window) return PLAT_DDERR_INVALIDPARAMS;
  *window = it->second;
  return PLAT_DD_OK;
}

int32_t PlatDDClipperRelease(PlatDDClipper clipper) {
  ENTER("ClipperRelease");
  if (!g.clippers.erase(clipper)) return PLAT_DDERR_INVALIDOBJECT;
  for (auto& [h, s] : g.surfaces)
    if (s.clipper == clipper) s.clipper = 0;
  return PLAT_DD_OK;
}

int32_t PlatDDrawCreatePalette(PlatDDraw object, uint32_t flags, const PlatDDPaletteEntry* entries,
                               PlatDDPalette* palette) {
  ENTER("CreatePalette");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  if (!(flags & PLAT_DDPCAPS_8BIT) || !entries || !palette) return PLAT_DDERR_INVALIDPARAMS;
  *palette = NewHandle(g, KIND_PALETTE);
  std::memcpy(g.palettes[*palette].entries, entries, sizeof(Palette::entries));
  return PLAT_DD_OK;
}

int32_t PlatDDPaletteSetEntries(PlatDDPalette palette, uint32_t, uint32_t first, uint32_t count,
                                const PlatDDPaletteEntry* entries) {
  ENTER("SetEntries");
  auto it = g.palettes.find(palette);
  if (it == g.palettes.end()) return PLAT_DDERR_INVALIDOBJECT;
  if (!entries || first > 256 || count > 256 - first) return PLAT_DDERR_INVALIDPARAMS;
  std::memcpy(it->second.entries + first, entries, count * sizeof *entries);
  if (OnPrimary(g, palette)) ShowPalette(it->second);
  return PLAT_DD_OK;
}

int32_t PlatDDPaletteGetEntries(PlatDDPalette palette, uint32_t, uint32_t first, uint32_t count,
                                PlatDDPaletteEntry* entries) {
  ENTER("GetEntries");
  auto it = g.palettes.find(palette);
  if (it == g.palettes.end()) return PLAT_DDERR_INVALIDOBJECT;
  if (!entries || first > 256 || count > 256 - first) return PLAT_DDERR_INVALIDPARAMS;
  std::memcpy(entries, it->second.entries + first, count * sizeof *entries);
  return PLAT_DD_OK;
}

int32_t PlatDDPaletteRelease(PlatDDPalette palette) {
  ENTER("PaletteRelease");
  if (!g.palettes.erase(palette)) return PLAT_DDERR_INVALIDOBJECT;
  for (auto& [h, s] : g.surfaces)
    if (s.palette == palette) s.palette = 0;
  return PLAT_DD_OK;
}

