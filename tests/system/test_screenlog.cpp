// The on-screen log against a stand-in display and font system, put into the graphics' and
// the fonts' tables: its set-up, its font, and the lines it draws for a screen height.
#include "engine/font/services.h"
#include "engine/graphics/services.h"
#include "engine/state/sysdata.h"
#include "engine/system/screenlog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Drawn {
  int32_t x, y;
  std::string text;
  uint32_t color, edge;
  int32_t font, vertical;
};

// What the stand-ins answer and what they saw.
struct Display {
  int displayObject = 1, mainWindow = 1;
  int32_t screenHeight = 480;
  int32_t nextFont = 0x20000001;
  std::vector<int32_t> liveFonts;
  std::vector<std::string> made;  // the arguments of each font made
  std::vector<int32_t> deleted;
  int32_t* watched = nullptr;
  std::vector<Drawn> drawn;
};
Display g_display;

bool Live(int32_t font) {
  for (int32_t f : g_display.liveFonts)
    if (f == font) return true;
  return false;
}

// The stand-ins take the place of the engine's functions in the tables; the main window
// is the system data's.
void InstallStandIns() {
  GraphicsServices& graphics = g_GraphicsServices;
  graphics.getDirectDrawObject = [] { return PlatDDraw(g_display.displayObject); };
  graphics.queryScreenSize = [](int32_t* width, int32_t* height) {
    *width = 640;
    *height = g_display.screenHeight;
    return 0;
  };
  graphics.packScreenColorCore = [](int32_t r, int32_t g, int32_t b) {
    return uint32_t(r << 16 | g << 8 | b) | 0x1000000u;
  };
  FontServices& fonts = g_FontServices;
  fonts.createFontToHandle = [](const char* face, int32_t size, int32_t thickness, int32_t type, int32_t charSet,
                                int32_t edge, int32_t italic, int32_t slot, int32_t check) {
    g_display.made.push_back((face ? std::string(face) : "null") + "," + std::to_string(size) + "," +
                             std::to_string(thickness) + "," + std::to_string(type) + "," + std::to_string(charSet) +
                             "," + std::to_string(edge) + "," + std::to_string(italic) + "," + std::to_string(slot) +
                             "," + std::to_string(check));
    g_display.liveFonts.push_back(g_display.nextFont);
    return g_display.nextFont++;
  };
  fonts.isFontHandleValid = [](int32_t font) { return Live(font) ? 1 : 0; };
  fonts.deleteFontHandle = [](int32_t font) {
    g_display.deleted.push_back(font);
    std::erase(g_display.liveFonts, font);
    return 0;
  };
  fonts.watchFontDeletion = [](int32_t, int32_t* flag) {
    g_display.watched = flag;
    *flag = 0;
    return 0;
  };
  fonts.drawStringWithFont = [](int32_t x, int32_t y, const char* text, uint32_t color, int32_t font, uint32_t edge,
                                int32_t vertical) {
    g_display.drawn.push_back({x, y, text, color, edge, font, vertical});
    return 0;
  };
  g_System.mainWindow = PlatWnd(g_display.mainWindow);
}

class ScreenLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    graphics = g_GraphicsServices;
    fonts = g_FontServices;
    mainWindow = g_System.mainWindow;
    Reset();
  }
  void TearDown() override {
    g_ScreenLog = ScreenLog{};
    g_GraphicsServices = graphics;
    g_FontServices = fonts;
    g_System.mainWindow = mainWindow;
  }
  static void Reset() {
    g_display = Display{};
    g_ScreenLog = ScreenLog{};
    InstallStandIns();
  }

  GraphicsServices graphics;
  FontServices fonts;
  PlatWnd mainWindow = 0;
};

TEST_F(ScreenLogTest, SetUpNeedsTheDisplayAndTheWindowAndMakesAWatchedFont) {
  struct Case {
    int displayObject, mainWindow, result;
  } cases[] = {{0, 1, -1}, {1, 0, -1}, {0, 0, -1}, {1, 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.displayObject << c.mainWindow);
    Reset();
    g_display.displayObject = c.displayObject;
    g_display.mainWindow = c.mainWindow;
    InstallStandIns();
    g_ScreenLog.drawFlag = 1;
    g_ScreenLog.lines[3][0] = 'x';
    EXPECT_EQ(InitScreenLog(), c.result);
    EXPECT_EQ(g_ScreenLog.setUp, c.result == 0 ? 1 : 0);
    if (c.result != 0) {
      EXPECT_TRUE(g_display.made.empty());
      continue;
    }
    EXPECT_EQ(g_display.made, std::vector<std::string>{"null,16,4,1,-1,-1,0,-1,-1"});
    EXPECT_EQ(g_ScreenLog.fontHandle, g_display.liveFonts.at(0));
    EXPECT_EQ(g_display.watched, &g_ScreenLog.fontMissing);
    EXPECT_EQ(g_ScreenLog.fontMissing, 0);
    EXPECT_EQ(g_ScreenLog.fontSize, 16);
    EXPECT_EQ(g_ScreenLog.drawFlag, 0);
    EXPECT_EQ(g_ScreenLog.lines[3][0], 0);
    // Once set up, it stays as it is.
    EXPECT_EQ(InitScreenLog(), 0);
    EXPECT_EQ(g_display.made.size(), 1u);
  }
}

TEST_F(ScreenLogTest, TheScreenHeightSaysHowManyLinesAreDrawn) {
  struct Case {
    int32_t height, lines;
  } cases[] = {{480, 30}, {2000, 80}, {1280, 80}, {1279, 79}, {16, 1}, {15, 0}, {0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    Reset();
    g_display.screenHeight = c.height;
    ASSERT_EQ(InitScreenLog(), 0);
    std::memset(g_ScreenLog.lines[1], 'y', sizeof g_ScreenLog.lines[1]);  // a line without its terminator
    std::strcpy(g_ScreenLog.lines[0], "\x93\xFA\x96\x7B");                  // 日本
    EXPECT_EQ(DrawScreenLog(), 0);
    ASSERT_EQ(int32_t(g_display.drawn.size()), c.lines);
    for (int32_t i = 0; i < c.lines; i++) {
      const Drawn& d = g_display.drawn[size_t(i)];
      EXPECT_EQ(d.x, 0);
      EXPECT_EQ(d.y, 16 * i);
      EXPECT_EQ(d.color, 0x1FFFFFFu);
      EXPECT_EQ(d.edge, 0x1000000u);
      EXPECT_EQ(d.font, g_ScreenLog.fontHandle);
      EXPECT_EQ(d.vertical, 0);
      EXPECT_EQ(d.text, i == 0 ? "\x93\xFA\x96\x7B" : i == 1 ? std::string(SCREEN_LOG_LINE_BYTES, 'y') : "");
    }
  }
}

// The font system made the log's font again under its handle and said it was deleted:
// that font goes before the next is made, so that rebuilds leave one log font.
TEST_F(ScreenLogTest, AFontMadeAgainUnderItsHandleIsDeletedBeforeTheNext) {
  ASSERT_EQ(InitScreenLog(), 0);
  const int32_t first = g_ScreenLog.fontHandle;
  for (int rebuild = 0; rebuild < 5; rebuild++) {
    *g_display.watched = 1;  // deleted and made again under the same handle
    EXPECT_EQ(DrawScreenLog(), 0);
    EXPECT_EQ(g_display.liveFonts.size(), 1u);
    EXPECT_EQ(g_ScreenLog.fontMissing, 0);
  }
  EXPECT_EQ(g_display.deleted.front(), first);
  // A font really gone is not deleted again.
  const size_t deletes = g_display.deleted.size();
  std::erase(g_display.liveFonts, g_ScreenLog.fontHandle);
  *g_display.watched = 1;
  EXPECT_EQ(EnsureScreenLogFont(), 0);
  EXPECT_EQ(g_display.deleted.size(), deletes);
  EXPECT_EQ(g_display.liveFonts.size(), 1u);
}

// Without a display the log cannot be drawn: nothing is made or drawn.
TEST_F(ScreenLogTest, NothingIsDrawnWithoutADisplay) {
  g_display.displayObject = 0;
  EXPECT_EQ(DrawScreenLog(), 0);
  EXPECT_EQ(EnsureScreenLogFont(), 0);
  EXPECT_TRUE(g_display.made.empty());
  EXPECT_TRUE(g_display.drawn.empty());
}

}  // namespace
