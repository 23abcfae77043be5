// DirectDraw-style surfaces in host memory over the display: creation and release, views,
// locks and device contexts, colour keys, flip chains and attachments, loss and restore.
#include "platform/ddraw/ddraw.h"

#include "platform/ddraw/ddrawstate.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace ddcore;

namespace {

void Poison(PlatPixelMemory& memory) {
  for (size_t i = 0; i < memory.bytes.size(); i++) memory.bytes[i] = uint8_t(PLAT_DD_POISON >> (8 * (i & 3)));
}

void FreeSurface(DD& g, PlatDDSurface handle) {
  auto it = g.surfaces.find(handle);
  if (it == g.surfaces.end()) return;
  std::vector<PlatDDSurface> attached = std::move(it->second.attached);
  g.used -= std::min(g.used, it->second.videoBytes);
  for (auto& [h, o] : g.objects)
    if (o.primary == handle) o.primary = 0;
  g.surfaces.erase(it);
  for (PlatDDSurface a : attached) ReleaseSurfaceLocked(g, a);
}

}  // namespace

void ddcore::ReleaseSurfaceLocked(DD& g, PlatDDSurface handle) {
  auto view = g.surfaceViews.find(handle);
  if (view != g.surfaceViews.end()) {
    handle = view->second.base;
    g.surfaceViews.erase(view);
  }
  Surface* s = FindSurface(g, handle);
  if (s && --s->refs <= 0) FreeSurface(g, handle);
}

namespace {

PlatDDSurfaceDesc DescOf(const Surface& s) {
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  d.flags = PLAT_DDSD_CAPS | PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT | PLAT_DDSD_PITCH | PLAT_DDSD_PIXELFORMAT;
  d.width = uint32_t(s.width);
  d.height = uint32_t(s.height);
  d.pitch = s.pitch;
  d.pixelFormat = s.format;
  d.caps = s.caps;
  d.caps2 = s.caps2;
  if (!s.attached.empty() && (s.caps & PLAT_DDSCAPS_FLIP)) {
    d.flags |= PLAT_DDSD_BACKBUFFERCOUNT;
    d.backBufferCount = 1;
  }
  return d;
}

// Places a new surface's memory: video memory when asked (or, unasked, while it fits),
// else system memory.
int32_t Place(DD& g, Surface& s, bool primaryChain) {
  const uint32_t size = uint32_t(std::min<size_t>(size_t(s.pitch) * size_t(s.height), 0xFFFFFFFFu));
  const bool managed = (s.caps2 & PLAT_DDSCAPS2_TEXTUREMANAGE) != 0;
  const bool askedVideo = (s.caps & PLAT_DDSCAPS_VIDEOMEMORY) != 0;
  const bool askedSystem = (s.caps & PLAT_DDSCAPS_SYSTEMMEMORY) != 0;
  s.caps &= ~(PLAT_DDSCAPS_VIDEOMEMORY | PLAT_DDSCAPS_SYSTEMMEMORY);
  bool video = !managed && !askedSystem && !g.forceSystem;
  if (video && (g.used > g.budget || size > g.budget - g.used)) {
    if (askedVideo || primaryChain) return PLAT_DDERR_OUTOFVIDEOMEMORY;
    video = false;
  }
  if (video) {
    s.caps |= PLAT_DDSCAPS_VIDEOMEMORY;
    s.videoBytes = size;
    g.used += size;
  } else if (!managed) {
    s.caps |= PLAT_DDSCAPS_SYSTEMMEMORY;
  }
  s.memory = std::make_shared<PlatPixelMemory>();
  s.memory->bytes.assign(size_t(s.pitch) * size_t(s.height), 0);
  return PLAT_DD_OK;
}

void Size(Surface& s, int32_t width, int32_t height, const PlatDDPixelFormat& format) {
  s.width = width;
  s.height = height;
  s.format = format;
  s.bytes = int32_t(format.bitCount / 8);
  s.pitch = (width * s.bytes + 3) & ~3;
}

bool UsableFormat(const PlatDDPixelFormat& f, uint32_t caps) {
  if (f.size != sizeof(PlatDDPixelFormat)) return false;
  if (f.flags & PLAT_DDPF_FOURCC) return f.bitCount == 16 || f.bitCount == 0;
  // 24-bit RGB only in system memory, where movie frames are written by the processor.
  if (f.bitCount == 24) return (f.flags & PLAT_DDPF_RGB) && (caps & PLAT_DDSCAPS_SYSTEMMEMORY);
  return f.bitCount == 8 || f.bitCount == 16 || f.bitCount == 32;
}

int32_t CreatePrimary(DD& g, PlatDDraw owner, Object& o, const PlatDDSurfaceDesc& d, PlatDDSurface* out) {
  if (o.primary && g.surfaces.count(o.primary)) return PLAT_DDERR_PRIMARYSURFACEALREADYEXISTS;
  const bool chain = (d.caps & PLAT_DDSCAPS_FLIP) != 0;
  if (chain) {
    if (!(d.caps & PLAT_DDSCAPS_COMPLEX) || !(d.flags & PLAT_DDSD_BACKBUFFERCOUNT) || d.backBufferCount != 1)
      return PLAT_DDERR_INVALIDPARAMS;
    if (!(o.level & PLAT_DDSCL_EXCLUSIVE)) return PLAT_DDERR_NOEXCLUSIVEMODE;
  }
  PlatDisplayStoreInfo info;
  PlatDisplayGetStoreInfo(&info);
  Surface front;
  front.owner = owner;
  front.caps = (d.caps & ~PLAT_DDSCAPS_SYSTEMMEMORY) | PLAT_DDSCAPS_VIDEOMEMORY |
               (chain ? uint32_t(PLAT_DDSCAPS_FRONTBUFFER) : 0u);
  Size(front, info.mode.width, info.mode.height, FormatOfMode(info.mode));
  front.pitch = info.pitch;
  front.mode = info.mode;
  front.memory = PlatDisplayStoreMemory();
  front.losses = PlatDisplayLossCount();
  PlatDDSurface backHandle = 0;
  if (chain) {
    Surface back;
    back.owner = owner;
    back.caps = (d.caps & (PLAT_DDSCAPS_3DDEVICE | PLAT_DDSCAPS_VIDEOMEMORY | PLAT_DDSCAPS_SYSTEMMEMORY)) |
                PLAT_DDSCAPS_BACKBUFFER | PLAT_DDSCAPS_FLIP | PLAT_DDSCAPS_COMPLEX;
    Size(back, front.width, front.height, front.format);
    back.pitch = front.pitch;
    if (int32_t e = Place(g, back, true)) return e;
    back.losses = front.losses;
    backHandle = NewHandle(g, KIND_SURFACE);
    front.attached.push_back(backHandle);
    g.surfaces[backHandle] = std::move(back);
  }
  const PlatDDSurface handle = NewHandle(g, KIND_SURFACE);
  if (backHandle) g.surfaces[backHandle].front = handle;
  g.surfaces[handle] = std::move(front);
  o.primary = handle;
  *out = handle;
  return PLAT_DD_OK;
}

}  // namespace

// ---- surfaces ----------------------------------------------------------------------------

int32_t PlatDDrawCreateSurface(PlatDDraw object, const PlatDDSurfaceDesc* desc, PlatDDSurface* surface) {
  ENTER("CreateSurface");
  Object* o = FindObject(g, object);
  if (!o) return PLAT_DDERR_INVALIDOBJECT;
  if (!desc || !surface || desc->size != sizeof *desc || !(desc->flags & PLAT_DDSD_CAPS))
    return PLAT_DDERR_INVALIDPARAMS;
  const PlatDDraw owner = ObjectHandle(g, object);
  const PlatDDSurfaceDesc& d = *desc;
  if (d.caps & PLAT_DDSCAPS_PRIMARYSURFACE) return CreatePrimary(g, owner, *o, d, surface);
  if (!(d.flags & PLAT_DDSD_WIDTH) || !(d.flags & PLAT_DDSD_HEIGHT) || d.width == 0 || d.height == 0 ||
      d.width > 16384 || d.height > 16384)
    return PLAT_DDERR_INVALIDPARAMS;
  if ((d.caps & PLAT_DDSCAPS_VIDEOMEMORY) && (d.caps & PLAT_DDSCAPS_SYSTEMMEMORY)) return PLAT_DDERR_INVALIDPARAMS;
  PlatDisplayMode mode;
  PlatDisplayGetMode(&mode);
  PlatDDPixelFormat format = FormatOfMode(mode);
  if (d.flags & PLAT_DDSD_PIXELFORMAT) format = d.pixelFormat;
  if (d.caps & PLAT_DDSCAPS_ZBUFFER) {
    if (!(d.flags & PLAT_DDSD_PIXELFORMAT)) format = DepthFormat16();
    if (!SameFormat(format, DepthFormat16())) return PLAT_DDERR_INVALIDPIXELFORMAT;
  }
  if (d.caps & PLAT_DDSCAPS_OVERLAY) {
    if (!g.overlay || !SameFormat(format, g.overlayFormat) || (d.caps & PLAT_DDSCAPS_SYSTEMMEMORY))
      return PLAT_DDERR_NOOVERLAYHW;
    if (format.bitCount == 0) format.bitCount = 16;
  }
  if (!UsableFormat(format, d.caps)) return PLAT_DDERR_INVALIDPIXELFORMAT;
  Surface s;
  s.owner = owner;
  s.caps = d.caps;
  s.caps2 = (d.caps & PLAT_DDSCAPS_TEXTURE) ? (d.caps2 & PLAT_DDSCAPS2_TEXTUREMANAGE) : 0;
  Size(s, int32_t(d.width), int32_t(d.height), format);
  if (int32_t e = Place(g, s, false)) return e;
  s.losses = PlatDisplayLossCount();
  const PlatDDSurface handle = NewHandle(g, KIND_SURFACE);
  g.surfaces[handle] = std::move(s);
  *surface = handle;
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceRelease(PlatDDSurface surface) {
  DD& g = G();
  Lock lock(g.mu);
  const auto view = g.surfaceViews.find(surface);
  const std::string name =
      "SurfaceRelease" + (view != g.surfaceViews.end() ? std::to_string(view->second.generation) : std::string());
  if (int32_t injected = Enter(g, name.c_str())) return injected;
  if (!FindSurface(g, surface)) return PLAT_DDERR_INVALIDOBJECT;
  ReleaseSurfaceLocked(g, surface);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceQueryGeneration(PlatDDSurface surface, int generation, PlatDDSurface* view) {
  DD& g = G();
  Lock lock(g.mu);
  const std::string name = "QuerySurface" + std::to_string(generation);
  if (int32_t injected = Enter(g, name.c_str())) return injected;
  if (generation != 4 && generation != 7) return PLAT_DDERR_INVALIDPARAMS;
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!view) return PLAT_DDERR_INVALIDPARAMS;
  s->refs++;
  *view = NewHandle(g, KIND_SURFACE_VIEW);
  g.surfaceViews[*view] = View{Resolve(g, surface), generation};
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceUpdateOverlay(PlatDDSurface surface, const PlatRect* source, PlatDDSurface dest,
                                   const PlatRect* destination, uint32_t flags) {
  ENTER("UpdateOverlay");
  Surface* s = nullptr;
  if (int32_t e = Usable(g, surface, &s)) return e;
  if (!(s->caps & PLAT_DDSCAPS_OVERLAY)) return PLAT_DDERR_NOTAOVERLAYSURFACE;
  Surface* d = nullptr;
  if (int32_t e = Usable(g, dest, &d)) return e;
  if (!(d->caps & PLAT_DDSCAPS_PRIMARYSURFACE)) return PLAT_DDERR_INVALIDPARAMS;
  const bool show = (flags & PLAT_DDOVER_SHOW) != 0, hide = (flags & PLAT_DDOVER_HIDE) != 0;
  if (show == hide) return PLAT_DDERR_INVALIDPARAMS;
  OverlayCall call{Resolve(g, surface), Resolve(g, dest), {}, {}, flags};
  if (show) {
    call.source = source ? *source : Whole(*s);
    call.destination = destination ? *destination : Whole(*d);
    if (!Inside(call.source, *s) || Empty(call.destination)) return PLAT_DDERR_INVALIDRECT;
  }
  g.overlayCalls.push_back(call);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceAddRef(PlatDDSurface surface) {
  ENTER("SurfaceAddRef");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  s->refs++;
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceGetDesc(PlatDDSurface surface, PlatDDSurfaceDesc* desc) {
  ENTER("GetSurfaceDesc");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!desc) return PLAT_DDERR_INVALIDPARAMS;
  *desc = DescOf(*s);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceGetCaps(PlatDDSurface surface, uint32_t* caps) {
  ENTER("GetSurfaceCaps");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!caps) return PLAT_DDERR_INVALIDPARAMS;
  *caps = s->caps;
  return PLAT_DD_OK;
}

namespace {

int32_t LockLike(DD& g, PlatDDSurface surface, const PlatRect* rect, PlatDDSurfaceDesc* desc, bool dc) {
  Surface* s = nullptr;
  if (int32_t e = Usable(g, surface, &s)) return e;
  if (!desc) return PLAT_DDERR_INVALIDPARAMS;
  if (s->locked || s->dc) return PLAT_DDERR_SURFACEBUSY;
  const PlatRect r = rect ? *rect : Whole(*s);
  if (!Inside(r, *s)) return PLAT_DDERR_INVALIDRECT;
  *desc = DescOf(*s);
  desc->flags |= PLAT_DDSD_SURFACE;
  desc->surface = At(*s, r.left, r.top);
  (dc ? s->dc : s->locked) = true;
  s->lockMemory = s->memory;
  return PLAT_DD_OK;
}

}  // namespace

int32_t PlatDDSurfaceLock(PlatDDSurface surface, const PlatRect* rect, PlatDDSurfaceDesc* desc, uint32_t) {
  ENTER("Lock");
  return LockLike(g, surface, rect, desc, false);
}

int32_t PlatDDSurfaceUnlock(PlatDDSurface surface, const PlatRect*) {
  ENTER("Unlock");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!s->locked) return PLAT_DDERR_NOTLOCKED;
  s->locked = false;
  s->lockMemory.reset();
  Changed(*s);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceGetDC(PlatDDSurface surface, PlatDDSurfaceDesc* desc) {
  ENTER("GetDC");
  return LockLike(g, surface, nullptr, desc, true);
}

int32_t PlatDDSurfaceReleaseDC(PlatDDSurface surface) {
  ENTER("ReleaseDC");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!s->dc) return PLAT_DDERR_NOTLOCKED;
  s->dc = false;
  s->lockMemory.reset();
  Changed(*s);
  return PLAT_DD_OK;
}
int32_t PlatDDSurfaceSetColorKey(PlatDDSurface surface, uint32_t flags, const PlatDDColorKey* key) {
  ENTER("SetColorKey");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (flags != PLAT_DDCKEY_SRCBLT) return PLAT_DDERR_INVALIDPARAMS;
  s->keyed = key != nullptr;
  if (key) s->key = *key;
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceGetColorKey(PlatDDSurface surface, uint32_t flags, PlatDDColorKey* key) {
  ENTER("GetColorKey");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (flags != PLAT_DDCKEY_SRCBLT || !key) return PLAT_DDERR_INVALIDPARAMS;
  if (!s->keyed) return PLAT_DDERR_NOCOLORKEY;
  *key = s->key;
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceFlip(PlatDDSurface frontHandle, PlatDDSurface target, uint32_t flags) {
  ENTER("Flip");
  Surface* front = nullptr;
  if (int32_t e = Usable(g, frontHandle, &front)) return e;
  if (!(front->caps & PLAT_DDSCAPS_FRONTBUFFER) || front->attached.empty()) return PLAT_DDERR_NOTFLIPPABLE;
  const PlatDDSurface backHandle = front->attached.front();
  if (target && target != backHandle) return PLAT_DDERR_INVALIDPARAMS;
  Surface* back = nullptr;
  if (int32_t e = Usable(g, backHandle, &back)) return e;
  if (front->locked || front->dc || back->locked || back->dc) return PLAT_DDERR_SURFACEBUSY;
  if ((flags & PLAT_DDFLIP_WAIT) && !(flags & PLAT_DDFLIP_NOVSYNC)) PlatDisplayWaitForBlank();
  PlatPixelRef shown = PlatDisplaySwapStoreMemory(back->memory);
  if (!shown) return PLAT_DDERR_SURFACELOST;
  back->memory = shown;
  front->memory = PlatDisplayStoreMemory();
  PlatDisplayChanged();
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceGetAttachedSurface(PlatDDSurface surface, uint32_t caps, PlatDDSurface* attached) {
  ENTER("GetAttachedSurface");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!attached || !caps) return PLAT_DDERR_INVALIDPARAMS;
  for (PlatDDSurface a : s->attached) {
    Surface* candidate = FindSurface(g, a);
    if (candidate && (candidate->caps & caps) == caps) {
      candidate->refs++;
      *attached = a;
      return PLAT_DD_OK;
    }
  }
  return PLAT_DDERR_NOTFOUND;
}

int32_t PlatDDSurfaceAddAttachedSurface(PlatDDSurface surface, PlatDDSurface attached) {
  ENTER("AddAttachedSurface");
  Surface *s = FindSurface(g, surface), *a = FindSurface(g, attached);
  if (!s || !a || surface == attached) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner) || !g.objects.count(a->owner)) return PLAT_DDERR_SURFACELOST;
  if (!(a->caps & PLAT_DDSCAPS_ZBUFFER) || a->width != s->width || a->height != s->height)
    return PLAT_DDERR_INVALIDPARAMS;
  if (std::find(s->attached.begin(), s->attached.end(), attached) != s->attached.end())
    return PLAT_DDERR_ALREADYATTACHED;
  s->attached.push_back(attached);
  a->refs++;
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceDeleteAttachedSurface(PlatDDSurface surface, PlatDDSurface attached) {
  ENTER("DeleteAttachedSurface");
  surface = Resolve(g, surface);
  attached = Resolve(g, attached);
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  auto it = std::find(s->attached.begin(), s->attached.end(), attached);
  if (it == s->attached.end()) return PLAT_DDERR_NOTATTACHED;
  Surface* a = FindSurface(g, attached);
  if (a && a->front == surface) return PLAT_DDERR_INVALIDPARAMS;  // a chain stays whole
  s->attached.erase(it);
  ReleaseSurfaceLocked(g, attached);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceEnumAttachedSurfaces(PlatDDSurface surface, void* context, PlatDDEnumSurfaces callback) {
  ENTER("EnumAttachedSurfaces");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!callback) return PLAT_DDERR_INVALIDPARAMS;
  const std::vector<PlatDDSurface> attached = s->attached;
  for (PlatDDSurface a : attached) {
    Surface* each = FindSurface(g, a);
    if (!each) continue;
    each->refs++;
    const PlatDDSurfaceDesc desc = DescOf(*each);
    if (!callback(a, &desc, context)) break;
  }
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceIsLost(PlatDDSurface surface) {
  ENTER("IsLost");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  return Lost(g, *s) ? PLAT_DDERR_SURFACELOST : PLAT_DD_OK;
}

int32_t PlatDDSurfaceRestore(PlatDDSurface surface) {
  ENTER("Restore");
  surface = Resolve(g, surface);
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!Lost(g, *s)) return PLAT_DD_OK;
  if (s->front) return PlatDDSurfaceRestore(s->front);  // a chain comes back whole
  const uint32_t losses = PlatDisplayLossCount();
  if (s->caps & PLAT_DDSCAPS_PRIMARYSURFACE) {
    PlatDisplayStoreInfo info;
    PlatDisplayGetStoreInfo(&info);
    if (!PlatDisplaySameFormat(info.mode, s->mode)) return PLAT_DDERR_WRONGMODE;
    // The store was made again with the mode; the primary shows the new one.
    s->memory = PlatDisplayStoreMemory();
  }
  std::vector<Surface*> chain{s};
  for (PlatDDSurface a : s->attached)
    if (Surface* each = FindSurface(g, a); each && each->front == surface) chain.push_back(each);
  for (Surface* each : chain) {
    each->losses = losses;
    each->lostByTest = false;
    Poison(*each->memory);
  }
  Changed(*s);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceSetClipper(PlatDDSurface surface, PlatDDClipper clipper) {
  ENTER("SetClipper");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (clipper && !g.clippers.count(clipper)) return PLAT_DDERR_INVALIDOBJECT;
  s->clipper = clipper;
  return PLAT_DD_OK;
}
