// DirectDraw-style surfaces on the headless display: fills and blits in every format,
// rectangles, locks, flips on the raster, loss and restore, video memory, the failure
// hook and the call log.
#include "ddraw_fixture.h"

#include "platform/backend/fakejournal.h"
#include "platform/display/display.h"
#include "platform/display/headless/headlessdisplay.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

namespace {

struct FormatCase {
  const char* name;
  PlatDDPixelFormat format;
  uint32_t a, b, key;  // two colours and a key colour of the format
};

const FormatCase kFormats[] = {
    {"5:6:5", RgbFormat(16, 0xF800, 0x07E0, 0x001F), 0xF800, 0x07E0, 0x001F},
    {"5:5:5", RgbFormat(16, 0x7C00, 0x03E0, 0x001F), 0x7C00, 0x03E0, 0x001F},
    {"32-bit", RgbFormat(32, 0xFF0000, 0xFF00, 0xFF), 0x00FF0000, 0x0000FF00, 0x000000FF},
    {"24-bit", RgbFormat(24, 0xFF0000, 0xFF00, 0xFF), 0x123456, 0xABCDEF, 0x00FF00},
    {"8-bit", RgbFormat(8, 0, 0, 0), 0x10, 0x20, 0x30},
    {"Z16", ZFormat16(), 0x1234, 0xABCD, 0},
};

bool IsDepth(const FormatCase& c) { return c.format.flags & PLAT_DDPF_ZBUFFER; }

}  // namespace

TEST_F(DDrawTest, FillsAndBlitsAreBitExactInEveryFormat) {
  for (const FormatCase& c : kFormats) {
    SCOPED_TRACE(c.name);
    const bool z = IsDepth(c);
    const uint32_t caps = (z ? PLAT_DDSCAPS_ZBUFFER : PLAT_DDSCAPS_OFFSCREENPLAIN) | PLAT_DDSCAPS_SYSTEMMEMORY;
    const uint32_t A = c.a, B = c.b, K = c.key;
    PlatDDSurface dst = Make(caps, 6, 4, &c.format);
    PlatDDSurface src = Make(caps, 2, 2, &c.format);
    ASSERT_NE(dst, 0u);
    ASSERT_NE(src, 0u);

    // Fills: the whole surface, then a rectangle.
    PlatDDBltFx fx{sizeof fx, A, A};
    const uint32_t fill = z ? PLAT_DDBLT_DEPTHFILL : PLAT_DDBLT_COLORFILL;
    ASSERT_EQ(PlatDDSurfaceBlt(dst, nullptr, 0, nullptr, fill | PLAT_DDBLT_WAIT, &fx), PLAT_DD_OK);
    fx.fillColor = fx.fillDepth = B;
    const PlatRect box{1, 1, 3, 3};
    ASSERT_EQ(PlatDDSurfaceBlt(dst, &box, 0, nullptr, fill, &fx), PLAT_DD_OK);
    EXPECT_EQ(Pixels(dst), (std::vector<uint32_t>{A, A, A, A, A, A,  //
                                                  A, B, B, A, A, A,  //
                                                  A, B, B, A, A, A,  //
                                                  A, A, A, A, A, A}));
    // The other kind of fill is refused.
    EXPECT_EQ(PlatDDSurfaceBlt(dst, nullptr, 0, nullptr, z ? PLAT_DDBLT_COLORFILL : PLAT_DDBLT_DEPTHFILL, &fx),
              PLAT_DDERR_INVALIDPARAMS);

    // BltFast without and with the source key.
    SetPixels(src, {B, K, K, B});
    ASSERT_EQ(PlatDDSurfaceBltFast(dst, 0, 0, src, nullptr, PLAT_DDBLTFAST_NOCOLORKEY), PLAT_DD_OK);
    if (!z) {
      const PlatDDColorKey key{K, K};
      ASSERT_EQ(PlatDDSurfaceSetColorKey(src, PLAT_DDCKEY_SRCBLT, &key), PLAT_DD_OK);
      ASSERT_EQ(PlatDDSurfaceBltFast(dst, 4, 2, src, nullptr, PLAT_DDBLTFAST_SRCCOLORKEY), PLAT_DD_OK);
      EXPECT_EQ(Pixels(dst), (std::vector<uint32_t>{B, K, A, A, A, A,  //
                                                    K, B, B, A, A, A,  //
                                                    A, B, B, A, B, A,  //
                                                    A, A, A, A, A, B}));
      // Keyed Blt leaves the keyed pixels of the destination.
      ASSERT_EQ(PlatDDSurfaceBlt(dst, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DD_OK);
      ASSERT_EQ(PlatDDSurfaceBlt(dst, nullptr, src, nullptr, PLAT_DDBLT_KEYSRC, nullptr), PLAT_DD_OK);
      EXPECT_EQ(Pixels(dst)[1], B);
    }

    // Stretch by nearest: 2 x 2 onto 4 x 2 and onto 3 x 4.
    fx.fillColor = fx.fillDepth = A;
    ASSERT_EQ(PlatDDSurfaceBlt(dst, nullptr, 0, nullptr, fill, &fx), PLAT_DD_OK);
    const PlatRect wide{0, 0, 4, 2}, tall{3, 0, 6, 4};
    ASSERT_EQ(PlatDDSurfaceBlt(dst, &wide, src, nullptr, PLAT_DDBLT_WAIT, nullptr), PLAT_DD_OK);
    ASSERT_EQ(PlatDDSurfaceBlt(dst, &tall, src, nullptr, PLAT_DDBLT_WAIT, nullptr), PLAT_DD_OK);
    EXPECT_EQ(Pixels(dst), (std::vector<uint32_t>{B, B, K, B, B, K,  //
                                                  K, K, B, B, B, K,  //
                                                  A, A, A, K, K, B,  //
                                                  A, A, A, K, K, B}));
    PlatDDSurfaceRelease(dst);
    PlatDDSurfaceRelease(src);
  }
}

TEST_F(DDrawTest, BlitsBetweenFormatsAreRefused) {
  const PlatDDPixelFormat f565 = kFormats[0].format, f555 = kFormats[1].format;
  PlatDDSurface a = Make(PLAT_DDSCAPS_OFFSCREENPLAIN, 4, 4, &f565);
  PlatDDSurface b = Make(PLAT_DDSCAPS_OFFSCREENPLAIN, 4, 4, &f555);
  EXPECT_EQ(PlatDDSurfaceBltFast(a, 0, 0, b, nullptr, 0), PLAT_DDERR_INVALIDPIXELFORMAT);
  EXPECT_EQ(PlatDDSurfaceBlt(a, nullptr, b, nullptr, 0, nullptr), PLAT_DDERR_INVALIDPIXELFORMAT);
}

// The primary is the store in desktop coordinates; the clipper keeps a blit to the window's
// client rectangle, which here lies partly off the desktop.
TEST_F(DDrawTest, BlitToAWindowPartlyOffTheDesktopIsClippedToIt) {
  PlatMoveWindow(window, -50, 700, 200, 150, 0);
  PlatShowWindow(window, PLAT_SW_SHOWNA);
  ASSERT_EQ(PlatDDrawSetCooperativeLevel(dd, window, PLAT_DDSCL_NORMAL), PLAT_DD_OK);
  PlatDDSurface primary = MakePrimary();
  const PlatDDPixelFormat f32 = kFormats[2].format;
  PlatDDSurface back = Make(PLAT_DDSCAPS_OFFSCREENPLAIN, 200, 150, &f32);
  std::vector<uint32_t> pattern(200 * 150);
  for (uint32_t i = 0; i < pattern.size(); i++) pattern[i] = (i % 200) << 8 | (i / 200);  // x in green, y in blue
  SetPixels(back, pattern);
  const PlatRect onScreen{-50, 700, 150, 850};

  EXPECT_EQ(PlatDDSurfaceBlt(primary, &onScreen, back, nullptr, PLAT_DDBLT_WAIT, nullptr), PLAT_DDERR_INVALIDRECT);
  EXPECT_EQ(PlatDisplayReadRgb(0, 700), 0xFFFFFFFFu);  // nothing was written

  PlatDDClipper clipper = 0;
  ASSERT_EQ(PlatDDrawCreateClipper(dd, 0, &clipper), PLAT_DD_OK);
  ASSERT_EQ(PlatDDClipperSetHWnd(clipper, 0, window), PLAT_DD_OK);
  ASSERT_EQ(PlatDDSurfaceSetClipper(primary, clipper), PLAT_DD_OK);
  const uint32_t uploads = PlatDisplayUploadCount();
  ASSERT_EQ(PlatDDSurfaceBlt(primary, &onScreen, back, nullptr, PLAT_DDBLT_WAIT, nullptr), PLAT_DD_OK);
  EXPECT_GT(PlatDisplayUploadCount(), uploads);
  EXPECT_EQ(PlatDisplayReadRgb(0, 700), 50u << 8 | 0);
  EXPECT_EQ(PlatDisplayReadRgb(149, 767), 199u << 8 | 67);
  EXPECT_EQ(PlatDisplayReadRgb(150, 700), 0xFFFFFFFFu);  // right of the client area
  EXPECT_EQ(PlatDisplayReadRgb(0, 699), 0xFFFFFFFFu);    // above it
  EXPECT_EQ(PlatHeadlessClientPixel(window, 60, 10), 60u << 8 | 10);

  // A clipper clips, but a rectangle wider or taller than any surface can be is refused.
  PlatDDBltFx fx{sizeof fx, 0x123456, 0};
  const PlatRect huge[] = {{INT32_MIN, 700, INT32_MAX, 850}, {-50, -(1 << 30), 150, 1 << 30}};
  for (const PlatRect& r : huge) {
    EXPECT_EQ(PlatDDSurfaceBlt(primary, &r, back, nullptr, PLAT_DDBLT_WAIT, nullptr), PLAT_DDERR_INVALIDRECT);
    EXPECT_EQ(PlatDDSurfaceBlt(primary, &r, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DDERR_INVALIDRECT);
  }
  EXPECT_EQ(PlatDisplayReadRgb(0, 700), 50u << 8 | 0);
}

// The same clipped blit on a desktop of each format: the pixels land exactly, and only
// within the window's client rectangle.
TEST_F(DDrawTest, ClippedBlitsAreBitExactOnEveryDesktopFormat) {
  PlatDisplayMode d555 = PlatDisplayModeOf(1024, 768, 16, 60);
  d555.redMask = 0x7C00;
  d555.greenMask = 0x03E0;
  const struct {
    const char* name;
    PlatDisplayMode desktop;
    uint32_t mask;  // of the pixel values the pattern takes
  } cases[] = {
      {"32-bit", PlatDisplayModeOf(1024, 768, 32, 60), 0xFFFFFF},
      {"5:6:5", PlatDisplayModeOf(1024, 768, 16, 60), 0xFFFF},
      {"5:5:5", d555, 0x7FFF},
      {"8-bit", PlatDisplayModeOf(1024, 768, 8, 60), 0xFF},
  };
  PlatMoveWindow(window, -50, 700, 200, 150, 0);
  PlatShowWindow(window, PLAT_SW_SHOWNA);
  ASSERT_EQ(PlatDDrawSetCooperativeLevel(dd, window, PLAT_DDSCL_NORMAL), PLAT_DD_OK);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PlatDisplayHeadlessSetDesktop(c.desktop, 0);
    PlatDDSurface primary = MakePrimary();
    PlatDDSurface back = Make(PLAT_DDSCAPS_OFFSCREENPLAIN, 200, 150);  // the desktop's format
    auto pattern = [&](uint32_t x, uint32_t y) { return (x * 0x10101u + y * 0x3F) & c.mask; };
    std::vector<uint32_t> values(200 * 150);
    for (uint32_t i = 0; i < values.size(); i++) values[i] = pattern(i % 200, i / 200);
    SetPixels(back, values);
    PlatDDBltFx fx{sizeof fx, 0x5A & c.mask, 0};
    ASSERT_EQ(PlatDDSurfaceBlt(primary, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DD_OK);
    PlatDDClipper clipper = 0;
    ASSERT_EQ(PlatDDrawCreateClipper(dd, 0, &clipper), PLAT_DD_OK);
    ASSERT_EQ(PlatDDClipperSetHWnd(clipper, 0, window), PLAT_DD_OK);
    ASSERT_EQ(PlatDDSurfaceSetClipper(primary, clipper), PLAT_DD_OK);
    const PlatRect onScreen{-50, 700, 150, 850};
    ASSERT_EQ(PlatDDSurfaceBlt(primary, &onScreen, back, nullptr, PLAT_DDBLT_WAIT, nullptr), PLAT_DD_OK);
    // The store's pixels around the client area's corners on the desktop.
    auto at = [&](int32_t x, int32_t y) {
      PlatDDSurfaceDesc d{};
      const PlatRect one{x, y, x + 1, y + 1};
      uint32_t v = 0;
      if (PlatDDSurfaceLock(primary, &one, &d, PLAT_DDLOCK_WAIT) != PLAT_DD_OK) return 0xFFFFFFFFu;
      std::memcpy(&v, d.surface, d.pixelFormat.bitCount / 8);
      PlatDDSurfaceUnlock(primary, nullptr);
      return v;
    };
    EXPECT_EQ(at(0, 700), pattern(50, 0));
    EXPECT_EQ(at(149, 700), pattern(199, 0));
    EXPECT_EQ(at(0, 767), pattern(50, 67));
    EXPECT_EQ(at(149, 767), pattern(199, 67));
    EXPECT_EQ(at(150, 700), fx.fillColor);
    EXPECT_EQ(at(0, 699), fx.fillColor);
    PlatDDSurfaceRelease(primary);
    PlatDDSurfaceRelease(back);
    PlatDDClipperRelease(clipper);
  }
}

TEST_F(DDrawTest, BadRectanglesAreRefusedWholeAndLocksAreSingle) {
  const PlatDDPixelFormat f16 = kFormats[0].format;
  PlatDDSurface dst = Make(PLAT_DDSCAPS_OFFSCREENPLAIN, 8, 6, &f16);
  PlatDDSurface src = Make(PLAT_DDSCAPS_OFFSCREENPLAIN, 4, 4, &f16);
  PlatDDBltFx fx{sizeof fx, 0x1234, 0};
  ASSERT_EQ(PlatDDSurfaceBlt(src, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DD_OK);
  const std::vector<uint32_t> before = Pixels(dst);
  const PlatRect bad[] = {{-1, 0, 4, 4}, {0, 0, 9, 6}, {0, 0, 8, 7}, {3, 3, 3, 4}, {5, 0, 2, 4}};
  for (const PlatRect& r : bad) {
    SCOPED_TRACE(testing::Message() << r.left << "," << r.top << "," << r.right << "," << r.bottom);
    PlatDDSurfaceDesc d{};
    EXPECT_EQ(PlatDDSurfaceLock(dst, &r, &d, 0), PLAT_DDERR_INVALIDRECT);
    EXPECT_EQ(PlatDDSurfaceBlt(dst, &r, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DDERR_INVALIDRECT);
    EXPECT_EQ(PlatDDSurfaceBlt(dst, &r, src, nullptr, 0, nullptr), PLAT_DDERR_INVALIDRECT);
    EXPECT_EQ(PlatDDSurfaceBlt(dst, nullptr, src, &r, 0, nullptr), PLAT_DDERR_INVALIDRECT);  // off the source
    EXPECT_EQ(PlatDDSurfaceBltFast(dst, 0, 0, dst, &r, 0), PLAT_DDERR_INVALIDRECT);
  }
  const int32_t at[][2] = {{-1, 0}, {0, -1}, {5, 0}, {0, 3}, {0x7FFFFFFF, 0}};
  for (const auto& p : at) EXPECT_EQ(PlatDDSurfaceBltFast(dst, p[0], p[1], src, nullptr, 0), PLAT_DDERR_INVALIDRECT);
  EXPECT_EQ(Pixels(dst), before);

  PlatDDSurfaceDesc d{};
  const PlatRect part{2, 1, 4, 3};
  ASSERT_EQ(PlatDDSurfaceLock(dst, &part, &d, PLAT_DDLOCK_WAIT), PLAT_DD_OK);
  PlatDDSurfaceDesc again{};
  EXPECT_EQ(PlatDDSurfaceLock(dst, nullptr, &again, PLAT_DDLOCK_WAIT), PLAT_DDERR_SURFACEBUSY);
  EXPECT_EQ(PlatDDSurfaceBltFast(dst, 0, 0, src, nullptr, 0), PLAT_DDERR_SURFACEBUSY);
  static_cast<uint16_t*>(d.surface)[0] = 0xBEEF;  // the rectangle's top-left
  EXPECT_EQ(PlatDDSurfaceUnlock(dst, nullptr), PLAT_DD_OK);
  EXPECT_EQ(PlatDDSurfaceUnlock(dst, nullptr), PLAT_DDERR_NOTLOCKED);
  EXPECT_EQ(Pixels(dst)[1 * 8 + 2], 0xBEEFu);
  // Handles are checked.
  EXPECT_EQ(PlatDDSurfaceLock(dst ^ 0x00800000u, nullptr, &d, 0), PLAT_DDERR_INVALIDOBJECT);
  EXPECT_EQ(PlatDDSurfaceLock(dd, nullptr, &d, 0), PLAT_DDERR_INVALIDOBJECT);
  EXPECT_EQ(PlatDDSurfaceBltFast(dst, 0, 0, 0x03FFFFFF, nullptr, 0), PLAT_DDERR_INVALIDOBJECT);
}

// Full screen at 640 x 480 x 16: a flipping chain whose front is the store.
class DDrawFullScreen : public DDrawTest {
 protected:
  PlatDDSurface front = 0, back = 0;
  void SetUp() override {
    DDrawTest::SetUp();
    PlatShowWindow(window, PLAT_SW_SHOW);
    ASSERT_EQ(PlatDDrawSetCooperativeLevel(dd, window, PLAT_DDSCL_FULLSCREEN | PLAT_DDSCL_EXCLUSIVE), PLAT_DD_OK);
    ASSERT_EQ(PlatDDrawSetDisplayMode(dd, 640, 480, 16, 60), PLAT_DD_OK);
    front = MakePrimary(PLAT_DDSCAPS_FLIP | PLAT_DDSCAPS_COMPLEX | PLAT_DDSCAPS_3DDEVICE);
    ASSERT_EQ(PlatDDSurfaceGetAttachedSurface(front, PLAT_DDSCAPS_BACKBUFFER, &back), PLAT_DD_OK);
    PumpAll();
  }
  void FillBack(uint32_t value) {
    PlatDDBltFx fx{sizeof fx, value, 0};
    ASSERT_EQ(PlatDDSurfaceBlt(back, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DD_OK);
  }
};

TEST_F(DDrawFullScreen, FlipShowsTheBackBufferAtTheNextBlankUnlessNoVSync) {
  PlatDisplayMode mode;
  PlatDisplayGetMode(&mode);
  EXPECT_EQ(mode.width, 640);
  EXPECT_EQ(mode.depth, 16);
  EXPECT_EQ(PlatDisplayIsOwnerModeSet(), 1);

  PlatClockSetManual(1, 0);
  PlatClockAdvanceNs(3000000);  // line 94 of 525
  FillBack(0xF800);
  const int64_t before = PlatPerfCounter();
  ASSERT_EQ(PlatDDSurfaceFlip(front, 0, PLAT_DDFLIP_WAIT), PLAT_DD_OK);
  const int64_t frame = 1000000000 / 60, blank = (480 * frame + 524) / 525;
  EXPECT_EQ(PlatPerfCounter(), blank);
  EXPECT_GT(PlatPerfCounter(), before);
  EXPECT_EQ(PlatDisplayReadRgb(320, 240), 0xFF0000u);

  FillBack(0x001F);
  const int64_t at = PlatPerfCounter();
  ASSERT_EQ(PlatDDSurfaceFlip(front, 0, PLAT_DDFLIP_WAIT | PLAT_DDFLIP_NOVSYNC), PLAT_DD_OK);
  EXPECT_EQ(PlatPerfCounter(), at);
  EXPECT_EQ(PlatDisplayReadRgb(0, 0), 0x0000FFu);
  // The red frame went to the back buffer.
  EXPECT_EQ(Pixels(back)[0], 0xF800u);

  PlatDDSurfaceDesc d{};
  ASSERT_EQ(PlatDDSurfaceLock(back, nullptr, &d, 0), PLAT_DD_OK);
  EXPECT_EQ(PlatDDSurfaceFlip(front, 0, PLAT_DDFLIP_WAIT), PLAT_DDERR_SURFACEBUSY);
  PlatDDSurfaceUnlock(back, nullptr);
  EXPECT_EQ(PlatDDSurfaceFlip(back, 0, 0), PLAT_DDERR_NOTFLIPPABLE);
  PlatDDSurfaceRelease(back);
}

TEST_F(DDrawTest, ScanLineAndBlankAcrossOneFrame) {
  const PlatDisplayMode modes[] = {PlatDisplayModeOf(640, 480, 16, 60), PlatDisplayModeOf(640, 480, 16, 59)};
  PlatDisplayHeadlessSetModes(modes, 2);
  for (int32_t rate : {60, 59}) {
    SCOPED_TRACE(rate);
    ASSERT_EQ(PlatDDrawSetDisplayMode(dd, 640, 480, 16, uint32_t(rate)), PLAT_DD_OK);
    const int64_t frame = 1000000000LL / rate;
    const int64_t blank = (480 * frame + 524) / 525;
    struct Sample {
      int64_t at;
      uint32_t line;
      int inBlank;
    };
    const Sample samples[] = {{0, 0, 0},          {frame / 2, 262, 0}, {blank - 1, 479, 0},
                              {blank, 480, 1},    {frame - 1, 524, 1}, {frame, 0, 0},
                              {frame + blank, 480, 1}};
    for (const Sample& s : samples) {
      SCOPED_TRACE(s.at);
      PlatClockSetManual(1, 0);
      PlatClockAdvanceNs(uint64_t(s.at));
      uint32_t line = 0;
      EXPECT_EQ(PlatDDrawGetScanLine(dd, &line), s.inBlank ? PLAT_DDERR_VERTICALBLANKINPROGRESS : PLAT_DD_OK);
      EXPECT_EQ(line, s.line);
      EXPECT_EQ(PlatPerfCounter(), s.at + 50000);  // each query costs 50 us
    }
    // A poll for the blank ends, on the manual clock, within one query of it.
    PlatClockSetManual(1, 0);
    int inBlank = 0, polls = 0;
    while (!inBlank && polls < 1000) {
      ASSERT_EQ(PlatDDrawGetVerticalBlankStatus(dd, &inBlank), PLAT_DD_OK);
      polls++;
    }
    EXPECT_EQ(polls, int(blank / 50000) + 1 + (blank % 50000 ? 1 : 0));
    ASSERT_EQ(PlatDDrawWaitForVerticalBlank(dd, PLAT_DDWAITVB_BLOCKBEGIN), PLAT_DD_OK);
    EXPECT_EQ(PlatPerfCounter(), frame + blank);
  }
}

TEST_F(DDrawFullScreen, AModeChangeLosesVideoSurfacesAndPrimariesAndPostsDisplayChange) {
  const PlatDDPixelFormat f16 = kFormats[0].format;
  PlatDDSurface video = Make(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_VIDEOMEMORY, 16, 16, &f16);
  PlatDDSurface system = Make(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY, 16, 16, &f16);
  PlatDDSurfaceDesc managedDesc = Desc(PLAT_DDSCAPS_TEXTURE, 16, 16, &f16);
  managedDesc.caps2 = PLAT_DDSCAPS2_TEXTUREMANAGE;
  PlatDDSurface managed = 0;
  ASSERT_EQ(PlatDDrawCreateSurface(dd, &managedDesc, &managed), PLAT_DD_OK);

  ASSERT_EQ(PlatDDrawSetDisplayMode(dd, 800, 600, 16, 0), PLAT_DD_OK);
  std::vector<uint32_t> seen;
  for (const PlatMsg& m : PumpAll()) seen.push_back(m.message);
  EXPECT_NE(std::find(seen.begin(), seen.end(), PLAT_WM_DISPLAYCHANGE), seen.end());
  for (PlatDDSurface s : {front, back, video}) EXPECT_EQ(PlatDDSurfaceIsLost(s), PLAT_DDERR_SURFACELOST);
  for (PlatDDSurface s : {system, managed}) EXPECT_EQ(PlatDDSurfaceIsLost(s), PLAT_DD_OK);
  PlatDDSurfaceDesc d{};
  EXPECT_EQ(PlatDDSurfaceLock(video, nullptr, &d, 0), PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(PlatDDSurfaceBltFast(system, 0, 0, video, nullptr, 0), PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(PlatDDSurfaceFlip(front, 0, 0), PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(PlatDDSurfaceGetDC(video, &d), PLAT_DDERR_SURFACELOST);

  // The primary's mode has gone; the video surface comes back with its memory poisoned.
  EXPECT_EQ(PlatDDSurfaceRestore(front), PLAT_DDERR_WRONGMODE);
  EXPECT_EQ(PlatDDSurfaceRestore(video), PLAT_DD_OK);
  EXPECT_EQ(Pixels(video)[0], PLAT_DD_POISON & 0xFFFF);
  PlatDDSurfaceRelease(back);
}

TEST_F(DDrawFullScreen, LeavingTheExclusiveWindowReturnsToTheDesktopSilently) {
  PlatHeadlessActivate(window, 1);
  PumpAll();
  Clear();
  PlatHeadlessActivate(window, 0);
  PlatDisplayMode mode;
  PlatDisplayGetMode(&mode);
  EXPECT_EQ(mode.width, 1024);
  EXPECT_EQ(mode.depth, 32);
  EXPECT_EQ(PlatDDSurfaceIsLost(front), PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(PlatDDSurfaceRestore(front), PLAT_DDERR_WRONGMODE);
  PumpAll();
  EXPECT_EQ(Messages({PLAT_WM_DISPLAYCHANGE}), std::vector<uint32_t>{});
  int32_t w = 0;
  PlatGetDesktopSize(&w, nullptr);
  EXPECT_EQ(w, 1024);

  // Back in the window, the program's mode returns and its surfaces can be restored.
  PlatHeadlessActivate(window, 1);
  PlatDisplayGetMode(&mode);
  EXPECT_EQ(mode.width, 640);
  EXPECT_EQ(PlatDDSurfaceRestore(front), PLAT_DD_OK);
  EXPECT_EQ(PlatDDSurfaceIsLost(back), PLAT_DD_OK);
  EXPECT_EQ(Pixels(back)[0], PLAT_DD_POISON & 0xFFFF);
  PumpAll();
  EXPECT_EQ(Messages({PLAT_WM_DISPLAYCHANGE}), std::vector<uint32_t>{});
  PlatDDSurfaceRelease(back);
}

TEST_F(DDrawTest, RestoreKeepsTheMemoryAndPoisonsIt) {
  const PlatDDPixelFormat f32 = kFormats[2].format;
  PlatDDSurface s = Make(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_VIDEOMEMORY, 4, 2, &f32);
  PlatDDSurface other = Make(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_VIDEOMEMORY, 4, 2, &f32);
  PlatDDSurfaceDesc d{};
  ASSERT_EQ(PlatDDSurfaceLock(s, nullptr, &d, 0), PLAT_DD_OK);
  void* address = d.surface;
  PlatDDSurfaceUnlock(s, nullptr);
  PlatDDrawFakeLoseSurface(s);
  EXPECT_EQ(PlatDDSurfaceIsLost(s), PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(PlatDDSurfaceIsLost(other), PLAT_DD_OK);
  EXPECT_EQ(PlatDDSurfaceRestore(s), PLAT_DD_OK);
  ASSERT_EQ(PlatDDSurfaceLock(s, nullptr, &d, 0), PLAT_DD_OK);
  EXPECT_EQ(d.surface, address);
  PlatDDSurfaceUnlock(s, nullptr);
  EXPECT_EQ(Pixels(s), std::vector<uint32_t>(8, PLAT_DD_POISON));
  PlatDDrawFakeLoseAll();
  EXPECT_EQ(PlatDDSurfaceIsLost(other), PLAT_DDERR_SURFACELOST);
}

// A lock's pointer outlives a mode change and the object's release; the surface of a
// released object answers surface-lost to all but its release.
TEST_F(DDrawTest, LockedMemoryOutlivesModeChangesAndTheObject) {
  PlatShowWindow(window, PLAT_SW_SHOW);
  ASSERT_EQ(PlatDDrawSetCooperativeLevel(dd, window, PLAT_DDSCL_FULLSCREEN | PLAT_DDSCL_EXCLUSIVE), PLAT_DD_OK);
  PlatDDSurface primary = MakePrimary();
  PlatDDSurface back = Make(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY, 64, 64);
  PlatDDSurfaceDesc p{}, b{};
  ASSERT_EQ(PlatDDSurfaceLock(primary, nullptr, &p, 0), PLAT_DD_OK);
  ASSERT_EQ(PlatDDSurfaceLock(back, nullptr, &b, 0), PLAT_DD_OK);
  PlatDDClipper clipper = 0;
  ASSERT_EQ(PlatDDrawCreateClipper(dd, 0, &clipper), PLAT_DD_OK);
  ASSERT_EQ(PlatDDClipperSetHWnd(clipper, 0, window), PLAT_DD_OK);
  const PlatDDPixelFormat zf = ZFormat16();
  PlatDDSurface depth = Make(PLAT_DDSCAPS_ZBUFFER | PLAT_DDSCAPS_SYSTEMMEMORY, 64, 64, &zf);
  ASSERT_EQ(PlatDDSurfaceAddAttachedSurface(back, depth), PLAT_DD_OK);
  ASSERT_EQ(PlatDDrawSetDisplayMode(dd, 320, 240, 8, 0), PLAT_DD_OK);
  ASSERT_EQ(PlatDDrawRelease(dd), PLAT_DD_OK);
  PlatWnd bound = 0;  // a clipper is not tied to the object that made it
  EXPECT_EQ(PlatDDClipperGetHWnd(clipper, &bound), PLAT_DD_OK);
  EXPECT_EQ(bound, window);
  std::memset(p.surface, 0x5A, size_t(p.pitch) * p.height);  // still ours (ASan watches)
  std::memset(b.surface, 0x5A, size_t(b.pitch) * b.height);
  PlatDisplayMode mode;
  PlatDisplayGetMode(&mode);
  EXPECT_EQ(mode.width, 1024);  // the exclusive object gave the display back
  EXPECT_EQ(PlatDDSurfaceUnlock(back, nullptr), PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(PlatDDSurfaceRestore(back), PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(PlatDDSurfaceIsLost(back), PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(PlatDDSurfaceDeleteAttachedSurface(back, depth), PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(PlatDDSurfaceRelease(back), PLAT_DD_OK);
  EXPECT_EQ(PlatDDSurfaceRelease(depth), PLAT_DD_OK);
  EXPECT_EQ(PlatDDSurfaceRelease(primary), PLAT_DD_OK);
  EXPECT_EQ(PlatDDSurfaceRelease(primary), PLAT_DDERR_INVALIDOBJECT);
}

TEST_F(DDrawTest, VideoMemoryRunsOutWhereSystemMemoryDoesNot) {
  const PlatDDPixelFormat f16 = kFormats[0].format;
  PlatDDrawFakeSetVideoMemory(64 * 64 * 2 + 100);
  uint32_t total = 0, free = 0;
  ASSERT_EQ(PlatDDrawGetAvailableVidMem(dd, nullptr, &total, &free), PLAT_DD_OK);
  EXPECT_EQ(free, 64u * 64 * 2 + 100);
  PlatDDSurface first = Make(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_VIDEOMEMORY, 64, 64, &f16);
  uint32_t caps = 0;
  PlatDDSurfaceGetCaps(first, &caps);
  EXPECT_NE(caps & PLAT_DDSCAPS_VIDEOMEMORY, 0u);
  PlatDDSurfaceDesc d = Desc(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_VIDEOMEMORY, 64, 64, &f16);
  PlatDDSurface second = 0;
  EXPECT_EQ(PlatDDrawCreateSurface(dd, &d, &second), PLAT_DDERR_OUTOFVIDEOMEMORY);
  d.caps = PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY;
  ASSERT_EQ(PlatDDrawCreateSurface(dd, &d, &second), PLAT_DD_OK);
  PlatDDSurfaceGetCaps(second, &caps);
  EXPECT_EQ(caps & PLAT_DDSCAPS_VIDEOMEMORY, 0u);
  EXPECT_NE(caps & PLAT_DDSCAPS_SYSTEMMEMORY, 0u);
  // Unasked, a surface that no longer fits goes to system memory; a release gives back.
  d.caps = PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_3DDEVICE;
  PlatDDSurface third = 0;
  ASSERT_EQ(PlatDDrawCreateSurface(dd, &d, &third), PLAT_DD_OK);
  PlatDDSurfaceGetCaps(third, &caps);
  EXPECT_NE(caps & PLAT_DDSCAPS_SYSTEMMEMORY, 0u);
  PlatDDSurfaceRelease(first);
  d.caps = PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_VIDEOMEMORY;
  EXPECT_EQ(PlatDDrawCreateSurface(dd, &d, &second), PLAT_DD_OK);
  // The switch for the software device's tests.
  PlatDDrawFakeForceSystemMemory(1);
  d.width = d.height = 1;
  ASSERT_EQ(PlatDDrawCreateSurface(dd, &d, &second), PLAT_DD_OK);
  PlatDDSurfaceGetCaps(second, &caps);
  EXPECT_NE(caps & PLAT_DDSCAPS_SYSTEMMEMORY, 0u);
  // A budget cut below what is in use leaves nothing free.
  PlatDDrawFakeForceSystemMemory(0);
  PlatDDrawFakeSetVideoMemory(16);
  ASSERT_EQ(PlatDDrawGetAvailableVidMem(dd, nullptr, &total, &free), PLAT_DD_OK);
  EXPECT_EQ(free, 0u);
  d.caps = PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_VIDEOMEMORY;
  EXPECT_EQ(PlatDDrawCreateSurface(dd, &d, &second), PLAT_DDERR_OUTOFVIDEOMEMORY);
}

TEST_F(DDrawTest, TheFailureHookAndTheCallLog) {
  PlatDDSurface s = Make(PLAT_DDSCAPS_OFFSCREENPLAIN, 4, 4);
  PlatDDrawFakeLogCalls(1);
  PlatDDrawFakeFailNext("Lock", 2, PLAT_DDERR_SURFACEBUSY);
  PlatDDSurfaceDesc d{};
  EXPECT_EQ(PlatDDSurfaceLock(s, nullptr, &d, 0), PLAT_DDERR_SURFACEBUSY);
  EXPECT_EQ(PlatDDSurfaceLock(s, nullptr, &d, 0), PLAT_DDERR_SURFACEBUSY);
  EXPECT_EQ(PlatDDSurfaceLock(s, nullptr, &d, 0), PLAT_DD_OK);
  EXPECT_EQ(PlatDDSurfaceUnlock(s, nullptr), PLAT_DD_OK);
  PlatDDrawFakeFailNext("CreateSurface", 1, PLAT_DDERR_OUTOFMEMORY);
  PlatDDSurfaceDesc desc = Desc(PLAT_DDSCAPS_OFFSCREENPLAIN, 4, 4);
  PlatDDSurface t = 0;
  EXPECT_EQ(PlatDDrawCreateSurface(dd, &desc, &t), PLAT_DDERR_OUTOFMEMORY);
  EXPECT_EQ(t, 0u);
  EXPECT_EQ(PlatDDrawFakeCalls(),
            (std::vector<std::string>{"Lock", "Lock", "Lock", "Unlock", "CreateSurface"}));
}

TEST_F(DDrawTest, CooperativeLevelsAndTheirRefusals) {
  PlatWnd other = Create(0, 0, 100, 100);
  PlatDDraw second = 0;
  ASSERT_EQ(PlatDDrawCreate(&second), PLAT_DD_OK);
  const uint32_t exclusive = PLAT_DDSCL_FULLSCREEN | PLAT_DDSCL_EXCLUSIVE;
  EXPECT_EQ(PlatDDrawSetCooperativeLevel(dd, window, 0x3), PLAT_DDERR_INVALIDPARAMS);
  ASSERT_EQ(PlatDDrawSetCooperativeLevel(dd, window, exclusive), PLAT_DD_OK);
  EXPECT_EQ(PlatDisplayExclusiveOwner(), window);
  EXPECT_EQ(PlatDDrawSetCooperativeLevel(dd, window, exclusive), PLAT_DD_OK);
  EXPECT_EQ(PlatDDrawSetCooperativeLevel(dd, other, exclusive), PLAT_DDERR_HWNDALREADYSET);
  EXPECT_EQ(PlatDDrawSetCooperativeLevel(second, other, exclusive), PLAT_DDERR_EXCLUSIVEMODEALREADYSET);
  EXPECT_EQ(PlatDDrawSetCooperativeLevel(second, window, PLAT_DDSCL_NORMAL), PLAT_DDERR_HWNDSUBCLASSED);
  // One primary per object; flipping needs the exclusive level.
  MakePrimary();
  PlatDDSurfaceDesc d = Desc(PLAT_DDSCAPS_PRIMARYSURFACE);
  PlatDDSurface s = 0;
  EXPECT_EQ(PlatDDrawCreateSurface(dd, &d, &s), PLAT_DDERR_PRIMARYSURFACEALREADYEXISTS);
  ASSERT_EQ(PlatDDrawSetCooperativeLevel(second, other, PLAT_DDSCL_NORMAL), PLAT_DD_OK);
  d.caps |= PLAT_DDSCAPS_FLIP | PLAT_DDSCAPS_COMPLEX;
  d.flags |= PLAT_DDSD_BACKBUFFERCOUNT;
  d.backBufferCount = 1;
  EXPECT_EQ(PlatDDrawCreateSurface(second, &d, &s), PLAT_DDERR_NOEXCLUSIVEMODE);
  ASSERT_EQ(PlatDDrawSetCooperativeLevel(dd, window, PLAT_DDSCL_NORMAL), PLAT_DD_OK);
  EXPECT_EQ(PlatDisplayExclusiveOwner(), 0u);
  EXPECT_EQ(PlatDDrawSetCooperativeLevel(second, other, exclusive), PLAT_DD_OK);
  PlatDDrawRelease(second);
}

TEST_F(DDrawTest, ModesIdentifierCapsAndTheOverlayProbe) {
  EXPECT_EQ(PlatDDrawSetDisplayMode(dd, 640, 480, 24, 0), PLAT_DDERR_UNSUPPORTEDMODE);
  EXPECT_EQ(PlatDDrawSetDisplayMode(dd, 640, 480, 16, 75), PLAT_DDERR_UNSUPPORTEDMODE);
  const PlatDisplayMode only555 = {640, 480, 16, 0x7C00, 0x03E0, 0x001F, 60};
  PlatDisplayHeadlessSetModes(&only555, 1);
  ASSERT_EQ(PlatDDrawSetDisplayMode(dd, 640, 480, 16, 0), PLAT_DD_OK);
  PlatDDSurfaceDesc mode{};
  ASSERT_EQ(PlatDDrawGetDisplayMode(dd, &mode), PLAT_DD_OK);
  EXPECT_EQ(mode.width, 640u);
  EXPECT_EQ(mode.pitch, 1280);
  EXPECT_EQ(mode.pixelFormat.flags, uint32_t(PLAT_DDPF_RGB));
  EXPECT_EQ(mode.pixelFormat.gMask, 0x03E0u);
  ASSERT_EQ(PlatDDrawRestoreDisplayMode(dd), PLAT_DD_OK);
  ASSERT_EQ(PlatDDrawGetDisplayMode(dd, &mode), PLAT_DD_OK);
  EXPECT_EQ(mode.pixelFormat.bitCount, 32u);

  PlatDDDeviceIdentifier id;
  ASSERT_EQ(PlatDDrawGetDeviceIdentifier(dd, &id), PLAT_DD_OK);
  EXPECT_STREQ(id.driver, "headless");
  EXPECT_EQ(id.driverVersion, 0u);

  PlatDDraw first = 0;
  ASSERT_EQ(PlatDDrawQueryFirstGeneration(dd, &first), PLAT_DD_OK);
  PlatDDCaps caps;
  ASSERT_EQ(PlatDDrawGetCaps(first, &caps, nullptr), PLAT_DD_OK);
  EXPECT_EQ(caps.size, 380u);
  EXPECT_EQ(caps.minOverlayStretch, 1000u);
  EXPECT_EQ(caps.maxOverlayStretch, 2000u);
  const PlatDDPixelFormat yuy2{32, PLAT_DDPF_FOURCC, 0x32595559, 0, 0, 0, 0, 0};
  PlatDDSurfaceDesc overlay = Desc(PLAT_DDSCAPS_OVERLAY | PLAT_DDSCAPS_VIDEOMEMORY, 16, 16, &yuy2);
  PlatDDSurface s = 0;
  EXPECT_EQ(PlatDDrawCreateSurface(first, &overlay, &s), PLAT_DDERR_NOOVERLAYHW);
  PlatDDrawFakeSetOverlayFormat(&yuy2);
  ASSERT_EQ(PlatDDrawGetCaps(first, &caps, nullptr), PLAT_DD_OK);
  EXPECT_LT(caps.minOverlayStretch, 1000u);
  ASSERT_EQ(PlatDDrawCreateSurface(first, &overlay, &s), PLAT_DD_OK);
  uint32_t surfaceCaps = 0;
  PlatDDSurfaceGetCaps(s, &surfaceCaps);
  EXPECT_NE(surfaceCaps & PLAT_DDSCAPS_VIDEOMEMORY, 0u);
  const PlatDDPixelFormat rgb555 = kFormats[1].format;
  overlay.pixelFormat = rgb555;
  EXPECT_EQ(PlatDDrawCreateSurface(first, &overlay, &s), PLAT_DDERR_NOOVERLAYHW);
  EXPECT_EQ(PlatDDrawRelease(first), PLAT_DD_OK);
  EXPECT_EQ(PlatDDrawGetCaps(first, &caps, nullptr), PLAT_DDERR_INVALIDOBJECT);
}

TEST_F(DDrawTest, APaletteOnThePrimaryIsTheDisplays) {
  PlatShowWindow(window, PLAT_SW_SHOW);
  ASSERT_EQ(PlatDDrawSetCooperativeLevel(dd, window, PLAT_DDSCL_FULLSCREEN | PLAT_DDSCL_EXCLUSIVE), PLAT_DD_OK);
  ASSERT_EQ(PlatDDrawSetDisplayMode(dd, 320, 200, 8, 0), PLAT_DD_OK);
  PlatDDSurface primary = MakePrimary();
  PlatDDPaletteEntry entries[256] = {};
  entries[7] = {0x12, 0x34, 0x56, 0};
  PlatDDPalette palette = 0;
  ASSERT_EQ(PlatDDrawCreatePalette(dd, PLAT_DDPCAPS_8BIT, entries, &palette), PLAT_DD_OK);
  ASSERT_EQ(PlatDDSurfaceSetPalette(primary, palette), PLAT_DD_OK);
  PlatDDBltFx fx{sizeof fx, 7, 0};
  ASSERT_EQ(PlatDDSurfaceBlt(primary, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DD_OK);
  EXPECT_EQ(PlatDisplayReadRgb(319, 199), 0x123456u);
  const PlatDDPaletteEntry changed{0xAB, 0xCD, 0xEF, 0};
  ASSERT_EQ(PlatDDPaletteSetEntries(palette, 0, 7, 1, &changed), PLAT_DD_OK);
  EXPECT_EQ(PlatDisplayReadRgb(0, 0), 0xABCDEFu);
  PlatDDPaletteEntry back[2];
  ASSERT_EQ(PlatDDPaletteGetEntries(palette, 0, 6, 2, back), PLAT_DD_OK);
  EXPECT_EQ(back[1].red, 0xAB);
  EXPECT_EQ(PlatDDPaletteSetEntries(palette, 0, 255, 2, entries), PLAT_DDERR_INVALIDPARAMS);
}

TEST_F(DDrawTest, AttachedZBuffersAndTheirEnumeration) {
  PlatDDSurface target = Make(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_3DDEVICE, 32, 16);
  const PlatDDPixelFormat z = ZFormat16();
  PlatDDSurface depth = Make(PLAT_DDSCAPS_ZBUFFER | PLAT_DDSCAPS_VIDEOMEMORY, 32, 16, &z);
  PlatDDSurface small = Make(PLAT_DDSCAPS_ZBUFFER, 8, 8, &z);
  EXPECT_EQ(PlatDDSurfaceAddAttachedSurface(target, small), PLAT_DDERR_INVALIDPARAMS);
  ASSERT_EQ(PlatDDSurfaceAddAttachedSurface(target, depth), PLAT_DD_OK);
  EXPECT_EQ(PlatDDSurfaceAddAttachedSurface(target, depth), PLAT_DDERR_ALREADYATTACHED);
  PlatDDSurface found = 0;
  ASSERT_EQ(PlatDDSurfaceGetAttachedSurface(target, PLAT_DDSCAPS_ZBUFFER, &found), PLAT_DD_OK);
  EXPECT_EQ(found, depth);
  PlatDDSurfaceRelease(found);
  std::vector<PlatDDSurface> listed;
  auto collect = [](PlatDDSurface s, const PlatDDSurfaceDesc*, void* context) {
    static_cast<std::vector<PlatDDSurface>*>(context)->push_back(s);
    PlatDDSurfaceRelease(s);
    return 1;
  };
  ASSERT_EQ(PlatDDSurfaceEnumAttachedSurfaces(target, &listed, collect), PLAT_DD_OK);
  EXPECT_EQ(listed, std::vector<PlatDDSurface>{depth});
  // The attachment holds a reference: the creator's release leaves the Z buffer attached.
  ASSERT_EQ(PlatDDSurfaceRelease(depth), PLAT_DD_OK);
  EXPECT_EQ(PlatDDSurfaceIsLost(depth), PLAT_DD_OK);
  ASSERT_EQ(PlatDDSurfaceDeleteAttachedSurface(target, depth), PLAT_DD_OK);
  EXPECT_EQ(PlatDDSurfaceIsLost(depth), PLAT_DDERR_INVALIDOBJECT);
  EXPECT_EQ(PlatDDSurfaceGetAttachedSurface(target, PLAT_DDSCAPS_ZBUFFER, &found), PLAT_DDERR_NOTFOUND);
}

TEST_F(DDrawTest, TheStoreDumpsAsPng) {
  const PlatRect r{0, 0, 4, 4};
  PlatDisplayFillRgb(r, 0x102030);
  const std::string path = std::string(P_tmpdir) + "/kr_store_" + std::to_string(getpid()) + ".png";
  ASSERT_EQ(PlatDisplayWritePng(path.c_str()), 0);
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char signature[8] = {};
  EXPECT_EQ(std::fread(signature, 1, 8, f), 8u);
  std::fclose(f);
  std::remove(path.c_str());
  EXPECT_EQ(std::memcmp(signature, "\x89PNG\r\n\x1a\n", 8), 0);
  EXPECT_EQ(PlatDisplayWritePng("/nonexistent-dir/x.png"), -1);
}

TEST_F(DDrawTest, OlderGenerationsAreViewsOfTheSameObjects) {
  // The object's fourth generation makes surfaces of the object and goes with it.
  PlatDDraw fourth = 0;
  ASSERT_EQ(PlatDDrawQueryFourthGeneration(dd, &fourth), PLAT_DD_OK);
  EXPECT_NE(fourth, dd);
  const PlatDDPixelFormat rgb = kFormats[2].format;
  PlatDDSurfaceDesc d = Desc(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY, 4, 2, &rgb);
  PlatDDSurface s = 0;
  ASSERT_EQ(PlatDDrawCreateSurface(fourth, &d, &s), PLAT_DD_OK);

  // A surface's fourth and seventh generations: the same pixels, released on their own.
  PlatDDSurface s4 = 0, s7 = 0;
  EXPECT_EQ(PlatDDSurfaceQueryGeneration(s, 5, &s4), PLAT_DDERR_INVALIDPARAMS);
  ASSERT_EQ(PlatDDSurfaceQueryGeneration(s, 4, &s4), PLAT_DD_OK);
  ASSERT_EQ(PlatDDSurfaceQueryGeneration(s4, 7, &s7), PLAT_DD_OK);
  EXPECT_TRUE(s4 != s && s7 != s && s4 != s7);
  SetPixels(s7, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(Pixels(s), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  PlatFakeJournal(1);
  ASSERT_EQ(PlatDDSurfaceRelease(s), PLAT_DD_OK);
  EXPECT_EQ(Pixels(s4).size(), 8u) << "the views keep the surface";
  ASSERT_EQ(PlatDDSurfaceRelease(s4), PLAT_DD_OK);
  PlatDDrawFakeLoseSurface(s7);
  EXPECT_EQ(PlatDDSurfaceIsLost(s7), PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(PlatDDSurfaceRestore(s7), PLAT_DD_OK);
  ASSERT_EQ(PlatDDSurfaceRelease(s7), PLAT_DD_OK);
  EXPECT_EQ(PlatDDSurfaceIsLost(s7), PLAT_DDERR_INVALIDOBJECT);
  EXPECT_EQ(PlatDDSurfaceRelease(s), PLAT_DDERR_INVALIDOBJECT) << "the last reference freed it";
  ASSERT_EQ(PlatDDrawRelease(fourth), PLAT_DD_OK);
  const std::vector<std::string> releases = PlatFakeJournalEntries();
  PlatFakeJournal(0);
  EXPECT_EQ(releases, (std::vector<std::string>{"ddraw.SurfaceRelease", "ddraw.Lock", "ddraw.Unlock",
                                                "ddraw.SurfaceRelease4", "ddraw.IsLost", "ddraw.Restore",
                                                "ddraw.SurfaceRelease7", "ddraw.IsLost", "ddraw.SurfaceRelease",
                                                "ddraw.Release4"}));
  // Views of a released object answer as the object does.
  ASSERT_EQ(PlatDDrawQueryFourthGeneration(dd, &fourth), PLAT_DD_OK);
  ASSERT_EQ(PlatDDrawRelease(dd), PLAT_DD_OK);
  EXPECT_EQ(PlatDDrawCreateSurface(fourth, &d, &s), PLAT_DDERR_INVALIDOBJECT);
  EXPECT_EQ(PlatDDrawRelease(fourth), PLAT_DDERR_INVALIDOBJECT);
  dd = 0;
}

TEST_F(DDrawTest, TwentyFourBitSurfacesLiveInSystemMemoryOnly) {
  const PlatDDPixelFormat rgb24 = RgbFormat(24, 0xFF0000, 0xFF00, 0xFF);
  PlatDDSurfaceDesc d = Desc(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_VIDEOMEMORY, 5, 3, &rgb24);
  PlatDDSurface s = 0;
  EXPECT_EQ(PlatDDrawCreateSurface(dd, &d, &s), PLAT_DDERR_INVALIDPIXELFORMAT);
  d.caps = PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY;
  ASSERT_EQ(PlatDDrawCreateSurface(dd, &d, &s), PLAT_DD_OK);
  PlatDDSurfaceDesc got{};
  got.size = sizeof got;
  ASSERT_EQ(PlatDDSurfaceGetDesc(s, &got), PLAT_DD_OK);
  EXPECT_EQ(got.pitch, 16) << "3 x 5 bytes, rounded up to 4";
  PlatDDSurfaceRelease(s);
}

TEST_F(DDrawTest, OverlaysArePlacedOnThePrimaryAndEachPlacementIsKept) {
  const PlatDDPixelFormat uyvy{32, PLAT_DDPF_FOURCC, 0x59565955, 0, 0, 0, 0, 0};
  PlatDDrawFakeSetOverlayFormat(&uyvy);
  PlatDDrawFakeSetOverlayAlignment(PLAT_DDCAPS_ALIGNSIZEDEST | PLAT_DDCAPS_ALIGNBOUNDARYSRC, 1, 2, 3, 4);
  PlatDDCaps caps{};
  ASSERT_EQ(PlatDDrawGetCaps(dd, &caps, nullptr), PLAT_DD_OK);
  EXPECT_EQ(caps.caps, uint32_t(PLAT_DDCAPS_ALIGNSIZEDEST | PLAT_DDCAPS_ALIGNBOUNDARYSRC));
  EXPECT_EQ(caps.alignBoundarySrc, 1u);
  EXPECT_EQ(caps.alignSizeDest, 4u);
  ASSERT_EQ(PlatDDrawSetCooperativeLevel(dd, window, PLAT_DDSCL_NORMAL), PLAT_DD_OK);
  const PlatDDSurface primary = MakePrimary();
  const PlatDDSurface overlay = Make(PLAT_DDSCAPS_OVERLAY | PLAT_DDSCAPS_VIDEOMEMORY, 32, 16, &uyvy);
  const PlatDDSurface plain = Make(PLAT_DDSCAPS_OFFSCREENPLAIN, 32, 16);
  const PlatRect source{0, 0, 32, 16}, dest{100, 50, 164, 82}, outside{0, 0, 33, 16};
  EXPECT_EQ(PlatDDSurfaceUpdateOverlay(plain, &source, primary, &dest, PLAT_DDOVER_SHOW),
            PLAT_DDERR_NOTAOVERLAYSURFACE);
  EXPECT_EQ(PlatDDSurfaceUpdateOverlay(overlay, &source, plain, &dest, PLAT_DDOVER_SHOW), PLAT_DDERR_INVALIDPARAMS);
  EXPECT_EQ(PlatDDSurfaceUpdateOverlay(overlay, &outside, primary, &dest, PLAT_DDOVER_SHOW), PLAT_DDERR_INVALIDRECT);
  EXPECT_EQ(PlatDDSurfaceUpdateOverlay(overlay, &source, primary, &dest, PLAT_DDOVER_SHOW | PLAT_DDOVER_HIDE),
            PLAT_DDERR_INVALIDPARAMS);
  ASSERT_EQ(PlatDDSurfaceUpdateOverlay(overlay, &source, primary, &dest, PLAT_DDOVER_SHOW), PLAT_DD_OK);
  ASSERT_EQ(PlatDDSurfaceUpdateOverlay(overlay, nullptr, primary, nullptr, PLAT_DDOVER_HIDE), PLAT_DD_OK);
  const std::vector<PlatDDFakeOverlayCall> calls = PlatDDrawFakeOverlayCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].surface, overlay);
  EXPECT_EQ(calls[0].destination.right, 164);
  EXPECT_EQ(calls[1].flags, uint32_t(PLAT_DDOVER_HIDE));
  EXPECT_EQ(calls[1].source.right, 0);
  PlatDDrawFakeSetOverlayFormat(nullptr);
  ASSERT_EQ(PlatDDrawGetCaps(dd, &caps, nullptr), PLAT_DD_OK);
  EXPECT_EQ(caps.caps, 0u) << "no overlay, no overlay limits";
}

// Fills of a rectangle in every format, with values of one byte repeated (memset) and
// values that are not (a first row copied down): every pixel of the rectangle takes the
// value, and every pixel around it stays as it was.
TEST_F(DDrawTest, FillsOfEveryValueKindCoverTheirRectangleOnly) {
  for (const FormatCase& c : kFormats) {
    const bool z = IsDepth(c);
    const uint32_t bytes = c.format.bitCount / 8;
    const uint32_t valueMask = bytes == 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1;
    for (const uint32_t value : {0u, 0xFFFFFFFFu, 0x5A5A5A5Au, c.a, c.b, 0x12345678u}) {
      SCOPED_TRACE(std::string(c.name) + " " + std::to_string(value));
      const uint32_t caps = (z ? PLAT_DDSCAPS_ZBUFFER : PLAT_DDSCAPS_OFFSCREENPLAIN) | PLAT_DDSCAPS_SYSTEMMEMORY;
      PlatDDSurface dst = Make(caps, 37, 9, &c.format);
      ASSERT_NE(dst, 0u);
      std::vector<uint32_t> before(37 * 9);
      for (size_t i = 0; i < before.size(); i++) before[i] = uint32_t(i * 2654435761u) & valueMask;
      SetPixels(dst, before);
      PlatDDBltFx fx{sizeof fx, value, value};
      const PlatRect box{3, 2, 36, 8};
      ASSERT_EQ(PlatDDSurfaceBlt(dst, &box, 0, nullptr, z ? PLAT_DDBLT_DEPTHFILL : PLAT_DDBLT_COLORFILL, &fx),
                PLAT_DD_OK);
      std::vector<uint32_t> want = before;
      for (int32_t y = box.top; y < box.bottom; y++)
        for (int32_t x = box.left; x < box.right; x++) want[size_t(y * 37 + x)] = value & valueMask;
      EXPECT_EQ(Pixels(dst), want);
      PlatDDSurfaceRelease(dst);
    }
  }
}

// The row loops of the blits (keyed rows as a select, stretches with their columns worked
// out once and repeated rows copied) give what the general pixel-by-pixel copy gives: in
// each colour format, BltFast with and without a key range (one that is empty among them),
// and Blt stretched up, down and clipped by the destination, keyed and not, on random
// pixels whose values often fall in the key range.
TEST_F(DDrawTest, RowLoopsMatchTheGeneralCopy) {
  struct Op {
    const char* name;
    bool fast;
    PlatRect dstRect, srcRect;
    int32_t x, y;  // BltFast's place
    bool keyed;
    uint32_t low, high;  // key range, as offsets from the format's key colour
  };
  const Op ops[] = {
      {"BltFast", true, {}, {3, 2, 40, 30}, 5, 7, false, 0, 0},
      {"BltFast keyed", true, {}, {0, 0, 48, 36}, 2, 1, true, 0, 0},
      {"BltFast keyed range", true, {}, {1, 1, 47, 35}, 0, 3, true, 0, 3},
      {"BltFast empty range", true, {}, {0, 0, 48, 36}, 1, 1, true, 3, 0},
      {"Blt 2x", false, {0, 0, 96, 72}, {0, 0, 48, 36}, 0, 0, false, 0, 0},
      {"Blt 2x keyed", false, {0, 0, 96, 72}, {0, 0, 48, 36}, 0, 0, true, 0, 1},
      {"Blt 3:2 down", false, {5, 4, 37, 28}, {0, 0, 48, 36}, 0, 0, false, 0, 0},
      {"Blt 5:3 clipped", false, {-20, -10, 60, 50}, {2, 3, 46, 39}, 0, 0, false, 0, 0},
  };
  uint32_t seed = 7;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 7; };
  for (const FormatCase& c : kFormats) {
    if (IsDepth(c)) continue;
    const uint32_t bytes = c.format.bitCount / 8;
    const uint32_t valueMask = bytes == 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1;
    for (const Op& op : ops) {
      SCOPED_TRACE(std::string(c.name) + ": " + op.name);
      std::vector<uint32_t> srcPixels(48 * 40), dstPixels(64 * 56);
      for (uint32_t& v : srcPixels) v = next() % 4 ? (c.key + next() % 6) & valueMask : next() & valueMask;
      for (uint32_t& v : dstPixels) v = next() & valueMask;
      std::vector<uint32_t> results[2];
      for (int general = 0; general < 2; general++) {
        PlatDDrawFakeGeneralCopies(general);
        const uint32_t caps = PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY;
        PlatDDSurface src = Make(caps, 48, 40, &c.format), dst = Make(caps, 64, 56, &c.format);
        ASSERT_NE(src, 0u);
        ASSERT_NE(dst, 0u);
        SetPixels(src, srcPixels);
        SetPixels(dst, dstPixels);
        const PlatDDColorKey key{(c.key + op.low) & valueMask, (c.key + op.high) & valueMask};
        ASSERT_EQ(PlatDDSurfaceSetColorKey(src, PLAT_DDCKEY_SRCBLT, &key), PLAT_DD_OK);
        if (op.fast) {
          ASSERT_EQ(PlatDDSurfaceBltFast(dst, op.x, op.y, src, &op.srcRect,
                                         op.keyed ? PLAT_DDBLTFAST_SRCCOLORKEY : PLAT_DDBLTFAST_NOCOLORKEY),
                    PLAT_DD_OK);
        } else {
          const uint32_t flags = op.keyed ? uint32_t(PLAT_DDBLT_KEYSRC) : 0u;
          // A destination rectangle off the surface may be refused; then the part on it.
          int32_t r = PlatDDSurfaceBlt(dst, &op.dstRect, src, &op.srcRect, flags, nullptr);
          if (r != PLAT_DD_OK) {
            const PlatRect on{0, 0, 60, 50};
            r = PlatDDSurfaceBlt(dst, &on, src, &op.srcRect, flags, nullptr);
          }
          ASSERT_EQ(r, PLAT_DD_OK);
        }
        results[general] = Pixels(dst);
        PlatDDSurfaceRelease(src);
        PlatDDSurfaceRelease(dst);
      }
      PlatDDrawFakeGeneralCopies(0);
      EXPECT_TRUE(results[0] == results[1]);
      EXPECT_NE(results[0], dstPixels);
    }
  }
}
