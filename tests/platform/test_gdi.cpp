// The GDI-like layer on the headless display: DIBs into windows, surfaces and bitmaps in
// every conversion family, bit-exact; the stretch's mirror and bottom-counted rows; a
// GetDIBits round trip; objects and device contexts; refused headers; device caps and
// display settings.
#include "ddraw_fixture.h"

#include "platform/display/display.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/gdi/fake/gdifake.h"
#include "platform/gdi/gdi.h"

#include <cstring>
#include <vector>

namespace {

PlatBitmapInfo Info(int bits, int32_t width, int32_t height, std::vector<uint32_t> table = {},
                    uint32_t compression = PLAT_BI_RGB) {
  PlatBitmapInfo info{};
  info.header.size = 40;
  info.header.width = width;
  info.header.height = height;
  info.header.planes = 1;
  info.header.bitCount = uint16_t(bits);
  info.header.compression = compression;
  info.header.clrUsed = bits <= 8 ? uint32_t(table.size()) : 0;
  std::copy(table.begin(), table.end(), info.colors);
  return info;
}

PlatBitmapInfo Bitfields(int bits, int32_t width, int32_t height, uint32_t r, uint32_t g, uint32_t b) {
  return Info(bits, width, height, {r, g, b}, PLAT_BI_BITFIELDS);
}

// DIB rows (top row first as given) packed with their padding, in the order the height's
// sign asks (bottom-up when positive).
std::vector<uint8_t> Pack(const PlatBitmapInfo& info, const std::vector<std::vector<uint32_t>>& rows) {
  const int bits = info.header.bitCount;
  const size_t stride = (size_t(info.header.width) * bits + 31) / 32 * 4;
  std::vector<uint8_t> out(stride * rows.size());
  for (size_t r = 0; r < rows.size(); r++) {
    const size_t at = info.header.height < 0 ? r : rows.size() - 1 - r;
    uint8_t* row = out.data() + at * stride;
    for (size_t x = 0; x < rows[r].size(); x++) {
      const uint32_t v = rows[r][x];
      switch (bits) {
        case 1: row[x / 8] |= uint8_t((v & 1) << (7 - x % 8)); break;
        case 4: row[x / 2] |= uint8_t((v & 15) << (x % 2 ? 0 : 4)); break;
        case 8: row[x] = uint8_t(v); break;
        case 16: std::memcpy(row + 2 * x, &v, 2); break;
        case 24: std::memcpy(row + 3 * x, &v, 3); break;
        default: std::memcpy(row + 4 * x, &v, 4); break;
      }
    }
  }
  return out;
}

}  // namespace

class GdiTest : public DDrawTest {
 protected:
  void SetUp() override {
    DDrawTest::SetUp();
    PlatGdiFakeReset();
    PlatShowWindow(window, PLAT_SW_SHOWNA);  // client area (100, 100)-(300, 250) on the desktop
  }
  void TearDown() override {
    PlatGdiFakeReset();
    DDrawTest::TearDown();
  }
  // The client pixels of a row, as 0xRRGGBB.
  std::vector<uint32_t> ClientRow(int32_t y, int32_t x0, int32_t x1) {
    std::vector<uint32_t> out;
    for (int32_t x = x0; x < x1; x++) out.push_back(PlatHeadlessClientPixel(window, x, y));
    return out;
  }
};

// One table: DIBs of each kind drawn on a 32-bit window.
TEST_F(GdiTest, DibsOnA32BitWindowAreBitExact) {
  struct Case {
    const char* name;
    PlatBitmapInfo info;
    std::vector<uint32_t> pixels;    // one row as stored
    std::vector<uint32_t> expected;  // 0xRRGGBB on the window
  };
  const Case cases[] = {
      {"5:6:5 bitfields", Bitfields(16, 5, 1, 0xF800, 0x07E0, 0x001F),
       {0xF800, 0x07E0, 0x001F, 0x8410, 0xFFFF},
       {0xFF0000, 0x00FF00, 0x0000FF, 0x848284, 0xFFFFFF}},
      {"masks with gaps", Bitfields(16, 2, 1, 0x8001, 0x07E0, 0x001E), {0xFFFF, 0x0002}, {0x80FFFF, 0x000011}},
      {"5:5:5 by default", Info(16, 3, 1), {0x7C00, 0x0421, 0x7FFF}, {0xFF0000, 0x080808, 0xFFFFFF}},
      {"8-bit palette", Info(8, 4, 1, {0x102030, 0xFFFFFF, 0x00FF00}), {2, 0, 1, 0},
       {0x00FF00, 0x102030, 0xFFFFFF, 0x102030}},
      {"4-bit palette", Info(4, 3, 1, {0x000000, 0x123456}), {1, 0, 1}, {0x123456, 0x000000, 0x123456}},
      {"1-bit palette", Info(1, 10, 1, {0x0000FF, 0xFFFF00}), {1, 0, 0, 1, 1, 1, 0, 1, 0, 1},
       {0xFFFF00, 0x0000FF, 0x0000FF, 0xFFFF00, 0xFFFF00, 0xFFFF00, 0x0000FF, 0xFFFF00, 0x0000FF, 0xFFFF00}},
      {"24-bit", Info(24, 2, 1), {0xABCDEF, 0x010203}, {0xABCDEF, 0x010203}},
      {"32-bit", Info(32, 2, 1), {0x00C0FFEE, 0xFF112233}, {0xC0FFEE, 0x112233}},
  };
  PlatDC dc = PlatGdiGetDC(window);
  ASSERT_NE(dc, 0u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int32_t sign : {1, -1}) {  // bottom-up and top-down
      PlatBitmapInfo info = c.info;
      info.header.height *= sign;
      const std::vector<uint8_t> bits = Pack(info, {c.pixels});
      const uint32_t w = uint32_t(info.header.width);
      ASSERT_EQ(PlatGdiSetDIBitsToDevice(dc, 10, 20, w, 1, 0, 0, 0, 1, bits.data(), bits.size(), &info, 0), 1);
      EXPECT_EQ(ClientRow(20, 10, 10 + int32_t(w)), c.expected);
      ASSERT_EQ(PlatGdiStretchDIBits(dc, 10, 21, int32_t(w), 1, 0, 0, int32_t(w), 1, bits.data(), bits.size(), &info,
                                     0, PLAT_SRCCOPY),
                1);
      EXPECT_EQ(ClientRow(21, 10, 10 + int32_t(w)), c.expected);
    }
  }
  EXPECT_EQ(PlatGdiReleaseDC(window, dc), 1);
}

// Nothing covers a window here: its clip box is its client area. The fake answers every
// kind of region for the movie overlay's tests.
TEST_F(GdiTest, AWindowsClipBoxIsItsClientAreaUnlessTheFakeSaysOtherwise) {
  PlatMoveWindow(window, 10, 20, 200, 150, 0);
  PlatDC dc = PlatGdiGetDC(window);
  PlatRect box{};
  EXPECT_EQ(PlatGdiGetClipBox(dc, &box), PLAT_SIMPLEREGION);
  EXPECT_EQ(box.right - box.left, 200);
  EXPECT_EQ(box.bottom - box.top, 150);
  const PlatRect part{5, 6, 70, 80};
  for (int kind : {PLAT_NULLREGION, PLAT_SIMPLEREGION, PLAT_COMPLEXREGION}) {
    PlatGdiFakeSetClipBox(kind, &part);
    EXPECT_EQ(PlatGdiGetClipBox(dc, &box), kind);
    EXPECT_EQ(box.right, kind == PLAT_NULLREGION ? 0 : 70);
  }
  PlatGdiFakeSetClipBox(0, nullptr);
  EXPECT_EQ(PlatGdiGetClipBox(dc, &box), PLAT_SIMPLEREGION);
  EXPECT_EQ(box.right, 200);
  PlatGdiReleaseDC(window, dc);
}

// The window's device context: the client origin, clipped to the client area and to the
// store, and the upload follows.
TEST_F(GdiTest, AWindowDCIsClippedToItsClientAreaAndTheStore) {
  PlatMoveWindow(window, -50, 700, 200, 150, 0);
  PlatDC dc = PlatGdiGetDC(window);
  PlatRect box{};
  EXPECT_EQ(PlatGdiGetClipBox(dc, &box), PLAT_SIMPLEREGION);
  EXPECT_EQ(box.left, 50);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, 200);
  EXPECT_EQ(box.bottom, 68);
  const uint32_t uploads = PlatDisplayUploadCount();
  const PlatRect all{-10, -10, 500, 500};
  ASSERT_EQ(PlatGdiFillRect(dc, &all, 0x336699), 1);
  EXPECT_GT(PlatDisplayUploadCount(), uploads);
  EXPECT_EQ(PlatDisplayReadRgb(0, 700), 0x336699u);
  EXPECT_EQ(PlatDisplayReadRgb(149, 767), 0x336699u);
  EXPECT_EQ(PlatDisplayReadRgb(150, 700), 0xFFFFFFFFu);
  EXPECT_EQ(PlatDisplayReadRgb(0, 699), 0xFFFFFFFFu);
  PlatGdiReleaseDC(window, dc);
  EXPECT_EQ(PlatGdiReleaseDC(window, dc), 0);
  EXPECT_EQ(PlatGdiFillRect(dc, &all, 0), 0);  // released
}

class GdiSurfaceTest : public GdiTest {
 protected:
  PlatDDSurface MakeOf(const PlatDDPixelFormat& f, uint32_t w, uint32_t h) {
    return Make(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_VIDEOMEMORY, w, h, &f);
  }
};

TEST_F(GdiSurfaceTest, ThirtyTwoBitsOntoA565SurfaceAndTwentyFourOntoAPalettisedOne) {
  // 32 bits onto 5:6:5: the top bits of each channel.
  PlatDDSurface s16 = MakeOf(RgbFormat(16, 0xF800, 0x07E0, 0x001F), 4, 1);
  PlatDC dc = 0;
  ASSERT_EQ(PlatGdiGetSurfaceDC(s16, &dc), PLAT_DD_OK);
  PlatBitmapInfo info32 = Info(32, 4, -1);
  const std::vector<uint8_t> bits32 = Pack(info32, {{0xFF0000, 0x123456, 0xFFFFFF, 0x070307}});
  ASSERT_EQ(PlatGdiSetDIBitsToDevice(dc, 0, 0, 4, 1, 0, 0, 0, 1, bits32.data(), bits32.size(), &info32, 0), 1);
  ASSERT_EQ(PlatGdiReleaseSurfaceDC(s16, dc), PLAT_DD_OK);
  EXPECT_EQ(Pixels(s16), (std::vector<uint32_t>{0xF800, 0x11AA, 0xFFFF, 0x0000}));

  // 24 bits onto 8 bits: the nearest entry of the display's palette, the lowest on a tie.
  std::vector<uint32_t> kept(256), palette(256, 0xFFFFFF);
  ASSERT_EQ(PlatDisplayGetPalette(0, 256, kept.data()), 0);
  palette[0] = 0x000000;
  palette[1] = 0x000010;
  palette[2] = 0x800000;
  palette[3] = 0x000030;  // 0x000020 lies as near to 1 as to 3
  palette[4] = 0x800000;  // same as 2
  ASSERT_EQ(PlatDisplaySetPalette(0, 256, palette.data()), 0);
  PlatDDSurface s8 = MakeOf(RgbFormat(8, 0, 0, 0), 5, 1);
  ASSERT_EQ(PlatGdiGetSurfaceDC(s8, &dc), PLAT_DD_OK);
  PlatBitmapInfo info24 = Info(24, 5, 1);
  const std::vector<uint8_t> bits24 = Pack(info24, {{0x000020, 0x7F0101, 0x000002, 0xF0F0F0, 0x00002F}});
  ASSERT_EQ(PlatGdiStretchDIBits(dc, 0, 0, 5, 1, 0, 0, 5, 1, bits24.data(), bits24.size(), &info24, 0, PLAT_SRCCOPY),
            1);
  ASSERT_EQ(PlatGdiReleaseSurfaceDC(s8, dc), PLAT_DD_OK);
  EXPECT_EQ(Pixels(s8), (std::vector<uint32_t>{1, 2, 0, 5, 3}));

  // The same conversions by BitBlt from the 32-bit window.
  PlatDC win = PlatGdiGetDC(window);
  ASSERT_EQ(PlatGdiSetDIBitsToDevice(win, 0, 0, 4, 1, 0, 0, 0, 1, bits32.data(), bits32.size(), &info32, 0), 1);
  ASSERT_EQ(PlatGdiSetDIBitsToDevice(win, 0, 1, 5, 1, 0, 0, 0, 1, bits24.data(), bits24.size(), &info24, 0), 1);
  const struct {
    PlatDDSurface surface;
    int32_t row, width;
    std::vector<uint32_t> expected;
  } blits[] = {{s16, 0, 4, {0xF800, 0x11AA, 0xFFFF, 0x0000}}, {s8, 1, 5, {1, 2, 0, 5, 3}}};
  for (const auto& b : blits) {
    PlatDDBltFx fx{sizeof fx, 0x7, 0};
    ASSERT_EQ(PlatDDSurfaceBlt(b.surface, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DD_OK);
    ASSERT_EQ(PlatGdiGetSurfaceDC(b.surface, &dc), PLAT_DD_OK);
    ASSERT_EQ(PlatGdiBitBlt(dc, 0, 0, b.width, 1, win, 0, b.row, PLAT_SRCCOPY), 1);
    ASSERT_EQ(PlatGdiReleaseSurfaceDC(b.surface, dc), PLAT_DD_OK);
    EXPECT_EQ(Pixels(b.surface), b.expected);
  }
  PlatGdiReleaseDC(window, win);
  PlatDisplaySetPalette(0, 256, kept.data());
}

// What CopySurfaceRect's second method does: BitBlt between two surfaces' device contexts.
TEST_F(GdiSurfaceTest, SurfaceDCsLockTheirSurfacesAndRefuseWhenUnusable) {
  const PlatDDPixelFormat f16 = RgbFormat(16, 0xF800, 0x07E0, 0x001F);
  PlatDDSurface a = MakeOf(f16, 4, 2), b = MakeOf(f16, 4, 2);
  SetPixels(a, {1, 2, 3, 4, 5, 6, 7, 8});
  PlatDC da = 0, db = 0;
  ASSERT_EQ(PlatGdiGetSurfaceDC(a, &da), PLAT_DD_OK);
  ASSERT_EQ(PlatGdiGetSurfaceDC(b, &db), PLAT_DD_OK);
  PlatDDSurfaceDesc d{};
  EXPECT_EQ(PlatDDSurfaceLock(a, nullptr, &d, 0), PLAT_DDERR_SURFACEBUSY);
  PlatDC again = 0;
  EXPECT_EQ(PlatGdiGetSurfaceDC(a, &again), PLAT_DDERR_SURFACEBUSY);
  EXPECT_EQ(PlatGdiGetDeviceCaps(da, PLAT_BITSPIXEL), 16);
  // Clipped to both: the source's last column and the destination's edge.
  ASSERT_EQ(PlatGdiBitBlt(db, 1, 0, 4, 2, da, 0, 0, PLAT_SRCCOPY), 1);
  EXPECT_EQ(PlatGdiBitBlt(db, 0, 0, 4, 2, da, 0, 0, 0x00EE0086u), 0);  // not SRCCOPY
  EXPECT_EQ(PlatGdiFlush(), 1);
  ASSERT_EQ(PlatGdiReleaseSurfaceDC(a, da), PLAT_DD_OK);
  ASSERT_EQ(PlatGdiReleaseSurfaceDC(b, db), PLAT_DD_OK);
  EXPECT_EQ(Pixels(b), (std::vector<uint32_t>{0, 1, 2, 3, 0, 5, 6, 7}));

  // A locked or lost surface refuses its device context; one lost while out draws nothing.
  ASSERT_EQ(PlatDDSurfaceLock(a, nullptr, &d, 0), PLAT_DD_OK);
  EXPECT_EQ(PlatGdiGetSurfaceDC(a, &da), PLAT_DDERR_SURFACEBUSY);
  PlatDDSurfaceUnlock(a, nullptr);
  ASSERT_EQ(PlatGdiGetSurfaceDC(a, &da), PLAT_DD_OK);
  ASSERT_EQ(PlatGdiGetSurfaceDC(b, &db), PLAT_DD_OK);
  PlatDDrawFakeLoseSurface(a);
  EXPECT_EQ(PlatGdiBitBlt(db, 0, 0, 4, 2, da, 0, 0, PLAT_SRCCOPY), 0);
  PlatGdiReleaseSurfaceDC(a, da);
  EXPECT_EQ(PlatGdiGetSurfaceDC(a, &da), PLAT_DDERR_SURFACELOST);
  // Released while its device context is out: nothing reads the freed memory.
  PlatDDSurfaceRelease(b);
  PlatRect all{0, 0, 4, 2};
  EXPECT_EQ(PlatGdiFillRect(db, &all, 0xFFFFFF), 0);
  const PlatDDPixelFormat zf = ZFormat16();
  PlatDDSurface z = Make(PLAT_DDSCAPS_ZBUFFER | PLAT_DDSCAPS_SYSTEMMEMORY, 4, 4, &zf);
  EXPECT_EQ(PlatGdiGetSurfaceDC(z, &da), PLAT_DDERR_INVALIDPIXELFORMAT);
  EXPECT_EQ(PlatDDSurfaceLock(z, nullptr, &d, 0), PLAT_DD_OK);  // given back
}

TEST_F(GdiTest, StretchDIBitsMirrorsAndCountsSourceRowsFromTheBottom) {
  PlatDC mem = PlatGdiCreateCompatibleDC(0);
  void* bits = nullptr;
  PlatBitmapInfo target = Info(32, 640, -480);
  PlatGdiObj section = PlatGdiCreateDIBSection(mem, &target, 0, &bits);
  ASSERT_NE(section, 0u);
  ASSERT_NE(PlatGdiSelectObject(mem, section), 0u);
  auto at = [&](int32_t x, int32_t y) { return static_cast<uint32_t*>(bits)[size_t(y) * 640 + size_t(x)]; };

  // A 640 x 480 top-down picture whose pixels name their column and row.
  PlatBitmapInfo info = Info(32, 640, -480);
  std::vector<uint32_t> picture(640 * 480);
  for (uint32_t i = 0; i < picture.size(); i++) picture[i] = (i % 640) << 12 | (i / 640);
  const size_t bytes = picture.size() * 4;

  // The front-screen update of (100, 100, 300, 200): source y = 480 - 200.
  ASSERT_EQ(PlatGdiStretchDIBits(mem, 100, 100, 200, 100, 100, 480 - 200, 200, 100, picture.data(), bytes, &info, 0,
                                 PLAT_SRCCOPY),
            100);
  EXPECT_EQ(at(100, 100), 100u << 12 | 100);
  EXPECT_EQ(at(299, 199), 299u << 12 | 199);
  EXPECT_EQ(at(100, 99), 0u);
  EXPECT_EQ(at(100, 200), 0u);
  EXPECT_EQ(at(300, 150), 0u);

  // The mirror: (width - 1, -width) reverses the columns exactly.
  PlatBitmapInfo small = Info(32, 4, -2);
  const std::vector<uint32_t> four{1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(PlatGdiStretchDIBits(mem, 0, 0, 4, 2, 3, 0, -4, 2, four.data(), 32, &small, 0, PLAT_SRCCOPY), 2);
  EXPECT_EQ((std::vector<uint32_t>{at(0, 0), at(1, 0), at(2, 0), at(3, 0), at(0, 1), at(3, 1)}),
            (std::vector<uint32_t>{4, 3, 2, 1, 8, 5}));
  // Nearest stretch: 4 x 2 onto 8 x 4; and a width of 2 that reads past the left edge
  // leaves those columns alone.
  ASSERT_EQ(PlatGdiStretchDIBits(mem, 10, 0, 8, 4, 0, 0, 4, 2, four.data(), 32, &small, 0, PLAT_SRCCOPY), 2);
  EXPECT_EQ((std::vector<uint32_t>{at(10, 0), at(11, 0), at(12, 0), at(17, 1), at(10, 2), at(17, 3)}),
            (std::vector<uint32_t>{1, 1, 2, 4, 5, 8}));
  ASSERT_EQ(PlatGdiStretchDIBits(mem, 20, 0, 2, 1, 0, 1, -2, 1, four.data(), 32, &small, 0, PLAT_SRCCOPY), 1);
  EXPECT_EQ(at(20, 0), 1u);
  EXPECT_EQ(at(21, 0), 0u);

  EXPECT_EQ(PlatGdiDeleteObject(section), 0);  // selected
  PlatGdiDeleteDC(mem);
  EXPECT_EQ(PlatGdiDeleteObject(section), 1);
}

TEST_F(GdiTest, GetDIBitsReadsABitmapBackInAnyFormat) {
  // The front-screen reload: the window into a compatible bitmap, then its rows as a DIB.
  PlatDC win = PlatGdiGetDC(window);
  PlatBitmapInfo info24 = Info(24, 3, 2);  // bottom-up
  const std::vector<uint8_t> bits24 = Pack(info24, {{0xFF0000, 0x00FF00, 0x0000FF}, {0x102030, 0x405060, 0x708090}});
  ASSERT_EQ(PlatGdiSetDIBitsToDevice(win, 0, 0, 3, 2, 0, 0, 0, 2, bits24.data(), bits24.size(), &info24, 0), 2);
  PlatDC mem = PlatGdiCreateCompatibleDC(win);
  PlatGdiObj bitmap = PlatGdiCreateCompatibleBitmap(win, 3, 2);
  ASSERT_NE(bitmap, 0u);
  const PlatGdiObj own = PlatGdiSelectObject(mem, bitmap);
  ASSERT_NE(own, 0u);
  ASSERT_EQ(PlatGdiBitBlt(mem, 0, 0, 3, 2, win, 0, 0, PLAT_SRCCOPY), 1);

  struct Case {
    const char* name;
    PlatBitmapInfo info;
    std::vector<uint32_t> top, bottom;  // the rows read back
  };
  const Case cases[] = {
      {"32-bit top-down", Info(32, 3, -2), {0xFF0000, 0x00FF00, 0x0000FF}, {0x102030, 0x405060, 0x708090}},
      {"24-bit bottom-up", Info(24, 3, 2), {0xFF0000, 0x00FF00, 0x0000FF}, {0x102030, 0x405060, 0x708090}},
      {"5:6:5 top-down", Bitfields(16, 3, -2, 0xF800, 0x07E0, 0x001F), {0xF800, 0x07E0, 0x001F}, {0x1106, 0x428C, 0x7412}},
      {"8-bit", Info(8, 3, -2, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF}), {1, 2, 3}, {0, 0, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> out(Pack(c.info, {c.top, c.bottom}).size(), 0xAA);
    ASSERT_EQ(PlatGdiGetDIBits(mem, bitmap, 0, 2, out.data(), out.size(), &c.info, 0), 2);
    EXPECT_EQ(out, Pack(c.info, {c.top, c.bottom}));
    // One row short of room: refused, nothing written.
    std::vector<uint8_t> small(out.size() / 2, 0xAA);
    EXPECT_EQ(PlatGdiGetDIBits(mem, bitmap, 0, 2, small.data(), small.size(), &c.info, 0), 0);
    EXPECT_EQ(small, std::vector<uint8_t>(small.size(), 0xAA));
  }
  // Only the bottom row (scan 0 counted from the bottom).
  PlatBitmapInfo info = Info(32, 3, 2);
  std::vector<uint32_t> row(3, 0);
  ASSERT_EQ(PlatGdiGetDIBits(mem, bitmap, 0, 1, row.data(), 12, &info, 0), 1);
  EXPECT_EQ(row, (std::vector<uint32_t>{0x102030, 0x405060, 0x708090}));

  EXPECT_EQ(PlatGdiSelectObject(mem, own), bitmap);
  EXPECT_EQ(PlatGdiDeleteObject(own), 0);  // the memory dc's own
  EXPECT_EQ(PlatGdiDeleteObject(bitmap), 1);
  PlatGdiDeleteDC(mem);
  PlatGdiReleaseDC(window, win);
  EXPECT_EQ(PlatGdiFakeLiveDCs(), 0);
  EXPECT_EQ(PlatGdiFakeLiveObjects(), 0);
}

TEST_F(GdiTest, ObjectsAndMemoryDCs) {
  PlatDC mem = PlatGdiCreateCompatibleDC(0);
  ASSERT_NE(mem, 0u);
  PlatRect box{};
  EXPECT_EQ(PlatGdiGetClipBox(mem, &box), PLAT_SIMPLEREGION);  // its own 1 x 1 bitmap
  EXPECT_EQ(box.right, 1);
  EXPECT_EQ(box.bottom, 1);
  EXPECT_EQ(PlatGdiGetDeviceCaps(mem, PLAT_BITSPIXEL), 32);

  void* bits = nullptr;
  PlatBitmapInfo info = Info(24, 5, 3);
  PlatGdiObj dib = PlatGdiCreateDIBSection(0, &info, 0, &bits);
  ASSERT_NE(dib, 0u);
  PlatBitmap bm{};
  ASSERT_EQ(PlatGdiGetObject(dib, sizeof bm, &bm), int(sizeof bm));
  EXPECT_EQ(bm.width, 5);
  EXPECT_EQ(bm.height, 3);
  EXPECT_EQ(bm.widthBytes, 16);
  EXPECT_EQ(bm.bitsPixel, 24);
  EXPECT_EQ(bm.bits, bits);
  PlatGdiObj ddb = PlatGdiCreateCompatibleBitmap(mem, 3, 3);
  ASSERT_EQ(PlatGdiGetObject(ddb, sizeof bm, &bm), int(sizeof bm));
  EXPECT_EQ(bm.widthBytes, 12);
  EXPECT_EQ(bm.bitsPixel, 32);
  EXPECT_EQ(bm.bits, nullptr);

  const PlatGdiObj own = PlatGdiSelectObject(mem, dib);
  ASSERT_NE(own, 0u);
  PlatDC other = PlatGdiCreateCompatibleDC(mem);
  EXPECT_EQ(PlatGdiSelectObject(other, dib), 0u);  // selected elsewhere
  EXPECT_EQ(PlatGdiSelectObject(other, own), 0u);  // another dc's own
  EXPECT_EQ(PlatGdiDeleteObject(dib), 0);
  EXPECT_EQ(PlatGdiSelectObject(mem, ddb), dib);
  EXPECT_EQ(PlatGdiDeleteObject(dib), 1);
  EXPECT_EQ(PlatGdiDeleteObject(dib), 0);
  EXPECT_EQ(PlatGdiSelectObject(mem, dib), 0u);  // gone
  EXPECT_EQ(PlatGdiDeleteDC(mem), 1);
  EXPECT_EQ(PlatGdiDeleteObject(ddb), 1);  // let go by its dc
  EXPECT_EQ(PlatGdiDeleteDC(other), 1);
  EXPECT_EQ(PlatGdiDeleteDC(window), 0);
  EXPECT_EQ(PlatGdiFakeLiveObjects(), 0);
  EXPECT_EQ(PlatGdiFakeLiveDCs(), 0);
}

// Copies within one bitmap read each row before it is overwritten, in every direction.
TEST_F(GdiTest, ACopyWithinOneBitmapReadsBeforeItWrites) {
  PlatDC mem = PlatGdiCreateCompatibleDC(0);
  void* bits = nullptr;
  PlatBitmapInfo info = Info(32, 3, -4);
  PlatGdiObj section = PlatGdiCreateDIBSection(mem, &info, 0, &bits);
  ASSERT_NE(PlatGdiSelectObject(mem, section), 0u);
  uint32_t* p = static_cast<uint32_t*>(bits);
  auto reset = [&] {
    for (uint32_t i = 0; i < 12; i++) p[i] = (i / 3) * 10 + i % 3;
  };
  struct Case {
    int32_t x, y, w, h, xSrc, ySrc;
    std::vector<uint32_t> expected;
  };
  const Case cases[] = {
      {0, 1, 3, 3, 0, 0, {0, 1, 2, 0, 1, 2, 10, 11, 12, 20, 21, 22}},      // down
      {0, 0, 3, 3, 0, 1, {10, 11, 12, 20, 21, 22, 30, 31, 32, 30, 31, 32}},  // up
      {1, 0, 2, 4, 0, 0, {0, 0, 1, 10, 10, 11, 20, 20, 21, 30, 30, 31}},    // right
  };
  for (const Case& c : cases) {
    reset();
    ASSERT_EQ(PlatGdiBitBlt(mem, c.x, c.y, c.w, c.h, mem, c.xSrc, c.ySrc, PLAT_SRCCOPY), 1);
    EXPECT_EQ(std::vector<uint32_t>(p, p + 12), c.expected);
  }
  PlatGdiDeleteDC(mem);
  PlatGdiDeleteObject(section);
}

// Headers that do not fit their bits are refused by every DIB call, with nothing drawn.
TEST_F(GdiTest, BadDibHeadersAreRefused) {
  struct Case {
    const char* name;
    PlatBitmapInfo info;
    size_t bytes;
  };
  auto with = [](PlatBitmapInfo i, auto change) {
    change(i.header);
    return i;
  };
  const PlatBitmapInfo good = Info(8, 4, 2, {0x112233});
  const Case cases[] = {
      {"header size 39", with(good, [](auto& h) { h.size = 39; }), 8},
      {"bit count 2", with(good, [](auto& h) { h.bitCount = 2; }), 8},
      {"bit count 0", with(good, [](auto& h) { h.bitCount = 0; }), 8},
      {"run-length compression", with(good, [](auto& h) { h.compression = 1; }), 8},
      {"bitfields at 8 bits", with(good, [](auto& h) { h.compression = PLAT_BI_BITFIELDS; }), 8},
      {"bitfields at 24 bits", Info(24, 4, 2, {0xFF0000, 0xFF00, 0xFF}, PLAT_BI_BITFIELDS), 24},
      {"257 colours", with(good, [](auto& h) { h.clrUsed = 257; }), 8},
      {"3 colours at 1 bit", Info(1, 4, 2, {0, 1, 2}), 8},
      {"width 0", with(good, [](auto& h) { h.width = 0; }), 8},
      {"width -4", with(good, [](auto& h) { h.width = -4; }), 8},
      {"width 32768", with(good, [](auto& h) { h.width = 32768; }), 1 << 20},
      {"height 0", with(good, [](auto& h) { h.height = 0; }), 8},
      {"height -32768", with(good, [](auto& h) { h.height = -32768; }), 1 << 20},
      {"a section of 4 GB", Info(32, 32767, 32767), 0},
      {"rows past the buffer", good, 7},
      {"24-bit rows past the buffer", Info(24, 3, 2), 23},
  };
  PlatDC dc = PlatGdiGetDC(window);
  PlatDC mem = PlatGdiCreateCompatibleDC(0);
  PlatGdiObj ddb = PlatGdiCreateCompatibleBitmap(dc, 4, 2);
  std::vector<uint8_t> bits(size_t(1) << 20, 0x01);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PlatGdiSetDIBitsToDevice(dc, 0, 0, 4, 2, 0, 0, 0, 2, bits.data(), c.bytes, &c.info, 0), 0);
    EXPECT_EQ(PlatGdiStretchDIBits(dc, 0, 0, 4, 2, 0, 0, 4, 2, bits.data(), c.bytes, &c.info, 0, PLAT_SRCCOPY), 0);
    EXPECT_EQ(PlatGdiGetDIBits(mem, ddb, 0, 2, bits.data(), c.bytes, &c.info, 0), 0);
    if (c.bytes != 7 && c.bytes != 23) {  // the header alone is bad
      EXPECT_EQ(PlatGdiCreateDIBSection(0, &c.info, 0, nullptr), 0u);
    }
  }
  EXPECT_EQ(PlatHeadlessClientPixel(window, 0, 0), 0xFFFFFFFFu);  // nothing drawn
  EXPECT_EQ(bits[0], 0x01);
  // The same header fits a buffer of the right size.
  EXPECT_EQ(PlatGdiSetDIBitsToDevice(dc, 0, 0, 4, 2, 0, 0, 0, 2, bits.data(), 8, &good, 0), 2);
  EXPECT_EQ(PlatHeadlessClientPixel(window, 0, 0), 0x000000u);  // index 1 lies past the one colour
  PlatGdiReleaseDC(window, dc);
}

TEST_F(GdiTest, DeviceCapsFollowTheDisplay) {
  struct Case {
    PlatDisplayMode desktop;
    int bits, rate;
  };
  PlatDisplayMode d555 = PlatDisplayModeOf(800, 600, 16, 0);
  d555.redMask = 0x7C00;
  d555.greenMask = 0x03E0;
  const Case cases[] = {
      {PlatDisplayModeOf(1024, 768, 32, 60), 32, 60},
      {PlatDisplayModeOf(1280, 1024, 16, 0), 16, 60},
      {d555, 16, 60},
      {PlatDisplayModeOf(1024, 768, 32, 59), 32, 59},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    PlatDisplayHeadlessSetDesktop(c.desktop, 0);
    PlatDC screen = PlatGdiGetDC(0);
    EXPECT_EQ(PlatGdiGetDeviceCaps(screen, PLAT_BITSPIXEL), c.bits);
    EXPECT_EQ(PlatGdiGetDeviceCaps(screen, PLAT_PLANES), 1);
    EXPECT_EQ(PlatGdiGetDeviceCaps(screen, PLAT_BITSPIXEL) * PlatGdiGetDeviceCaps(screen, PLAT_PLANES), c.bits);
    EXPECT_EQ(PlatGdiGetDeviceCaps(screen, PLAT_VREFRESH), c.rate);
    EXPECT_EQ(PlatGdiGetDeviceCaps(screen, PLAT_HORZRES), c.desktop.width);
    EXPECT_EQ(PlatGdiGetDeviceCaps(screen, PLAT_VERTRES), c.desktop.height);
    EXPECT_EQ(PlatGdiGetDeviceCaps(screen, 9999), 0);
    PlatGdiReleaseDC(0, screen);
  }
  EXPECT_EQ(PlatGdiGetDeviceCaps(12345, PLAT_BITSPIXEL), 0);
}

TEST_F(GdiTest, ChangeDisplaySettingsSetsModesAndGoesBackToTheDesktop) {
  PlatShowWindow(window, PLAT_SW_SHOW);
  PumpAll();
  Clear();
  PlatDevMode mode{sizeof mode, PLAT_DM_BITSPERPEL | PLAT_DM_PELSWIDTH | PLAT_DM_PELSHEIGHT, 16, 640, 480, 0};
  ASSERT_EQ(PlatChangeDisplaySettings(&mode, PLAT_CDS_FULLSCREEN), PLAT_DISP_CHANGE_SUCCESSFUL);
  PlatDisplayMode now;
  PlatDisplayGetMode(&now);
  EXPECT_EQ(now.width, 640);
  EXPECT_EQ(now.height, 480);
  EXPECT_EQ(now.depth, 16);
  EXPECT_EQ(now.greenMask, 0x07E0u);
  PumpAll();
  EXPECT_EQ(Messages({PLAT_WM_DISPLAYCHANGE}), std::vector<uint32_t>{PLAT_WM_DISPLAYCHANGE});
  PlatDC screen = PlatGdiGetDC(0);
  EXPECT_EQ(PlatGdiGetDeviceCaps(screen, PLAT_BITSPIXEL), 16);
  PlatGdiReleaseDC(0, screen);

  // The same again changes nothing and posts nothing; bad modes leave the mode alone.
  Clear();
  EXPECT_EQ(PlatChangeDisplaySettings(&mode, 0), PLAT_DISP_CHANGE_SUCCESSFUL);
  const PlatDevMode bad[] = {
      {sizeof mode, PLAT_DM_BITSPERPEL, 24, 0, 0, 0},
      {sizeof mode, PLAT_DM_PELSWIDTH | PLAT_DM_PELSHEIGHT, 0, 100, 100, 0},
      {sizeof mode, PLAT_DM_DISPLAYFREQUENCY, 0, 0, 0, 75},
  };
  for (const PlatDevMode& b : bad) EXPECT_EQ(PlatChangeDisplaySettings(&b, PLAT_CDS_FULLSCREEN), PLAT_DISP_CHANGE_BADMODE);
  PlatDevMode wrongSize = mode;
  wrongSize.size = 4;
  EXPECT_EQ(PlatChangeDisplaySettings(&wrongSize, 0), PLAT_DISP_CHANGE_FAILED);
  PlatDisplayGetMode(&now);
  EXPECT_EQ(now.width, 640);
  PumpAll();
  EXPECT_EQ(Messages({PLAT_WM_DISPLAYCHANGE}), std::vector<uint32_t>{});

  // No mode: back to the desktop, with WM_DISPLAYCHANGE queued.
  ASSERT_EQ(PlatChangeDisplaySettings(nullptr, 0), PLAT_DISP_CHANGE_SUCCESSFUL);
  PlatDisplayGetMode(&now);
  EXPECT_EQ(now.width, 1024);
  EXPECT_EQ(now.depth, 32);
  PlatMsg m;
  ASSERT_TRUE(PlatPeekMessage(&m, window, PLAT_WM_DISPLAYCHANGE, PLAT_WM_DISPLAYCHANGE, PLAT_PM_REMOVE));
  EXPECT_EQ(m.wParam, 32u);
}

// The row converters of the common copies (5:6:5 and 5:5:5 into 8:8:8:8, and stretched or
// mirrored copies within one format, with their repeated rows) give what the general loops
// give: each case drawn on a prefilled DIB section both ways, on random pixels that
// include every 16-bit value.
TEST_F(GdiTest, RowConvertersMatchTheGeneralCopies) {
  struct Case {
    const char* name;
    int srcBits;
    uint32_t srcMasks[3];  // 0: plain RGB
    int dstBits;
    int32_t xDst, yDst, wDst, hDst, xSrc, ySrc, wSrc, hSrc;
  };
  constexpr int32_t kW = 256, kH = 256;
  const Case cases[] = {
      {"565 to 8888 1:1", 16, {0xF800, 0x07E0, 0x001F}, 32, 0, 0, kW, kH, 0, 0, kW, kH},
      {"555 to 8888 1:1", 16, {0x7C00, 0x03E0, 0x001F}, 32, 0, 0, kW, kH, 0, 0, kW, kH},
      {"plain 16 to 8888 1:1", 16, {0, 0, 0}, 32, 0, 0, kW, kH, 0, 0, kW, kH},
      {"565 to 8888 2x", 16, {0xF800, 0x07E0, 0x001F}, 32, -7, 3, 2 * kW, 2 * kH, 0, 0, kW, kH},
      {"565 to 8888 2:3 mirrored", 16, {0xF800, 0x07E0, 0x001F}, 32, 300, 5, -170, 171, 0, 0, kW, kH},
      {"555 to 8888 past the source's left", 16, {0x7C00, 0x03E0, 0x001F}, 32, 10, 10, 100, 100, -20, 0, 50, 40},
      {"8888 to 8888 2x", 32, {0, 0, 0}, 32, 0, 0, 2 * kW, 2 * kH, 0, 0, kW, kH},
      {"8888 to 8888 3:2 flipped", 32, {0, 0, 0}, 32, 5, 400, 171, -170, 0, 0, kW, kH},
      {"565 to 565 2x", 16, {0xF800, 0x07E0, 0x001F}, 16, 3, 1, 2 * kW, 2 * kH, 0, 0, kW, kH},
      {"24 to 24 5:3", 24, {0, 0, 0}, 24, 0, 0, 427, 256, 0, 0, kW, kH},
      {"24 to 8888 2x", 24, {0, 0, 0}, 32, 0, 0, 2 * kW, 2 * kH, 0, 0, kW, kH},
  };
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlatBitmapInfo info =
        c.srcMasks[0] ? Bitfields(c.srcBits, kW, kH, c.srcMasks[0], c.srcMasks[1], c.srcMasks[2]) : Info(c.srcBits, kW, kH);
    std::vector<std::vector<uint32_t>> rows(kH, std::vector<uint32_t>(kW));
    for (int32_t y = 0; y < kH; y++)
      for (int32_t x = 0; x < kW; x++) rows[size_t(y)][size_t(x)] = c.srcBits == 16 ? uint32_t(y * kW + x) : next();
    const std::vector<uint8_t> picture = Pack(info, rows);
    std::vector<uint8_t> results[2];
    for (int general = 0; general < 2; general++) {
      PlatGdiFakeGeneralCopies(general);
      PlatDC mem = PlatGdiCreateCompatibleDC(0);
      void* bits = nullptr;
      PlatBitmapInfo target = c.dstBits == 16 ? Bitfields(16, 600, -520, 0xF800, 0x07E0, 0x001F) : Info(c.dstBits, 600, -520);
      PlatGdiObj section = PlatGdiCreateDIBSection(mem, &target, 0, &bits);
      ASSERT_NE(section, 0u);
      ASSERT_NE(PlatGdiSelectObject(mem, section), 0u);
      const size_t bytes = size_t(600 * c.dstBits / 8 + 3) / 4 * 4 * 520;
      for (size_t i = 0; i < bytes; i++) static_cast<uint8_t*>(bits)[i] = uint8_t(i * 7 + 1);
      ASSERT_NE(PlatGdiStretchDIBits(mem, c.xDst, c.yDst, c.wDst, c.hDst, c.xSrc, c.ySrc, c.wSrc, c.hSrc,
                                     picture.data(), uint32_t(picture.size()), &info, 0, PLAT_SRCCOPY),
                0);
      results[general].assign(static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + bytes);
      PlatGdiDeleteDC(mem);
      PlatGdiDeleteObject(section);
    }
    PlatGdiFakeGeneralCopies(0);
    EXPECT_TRUE(results[0] == results[1]);
  }
}
