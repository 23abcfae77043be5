// The engine's start makes the font system and its default font on FreeType; its end
// deletes every font, so that nothing of them is in the leak report.
#include "engine/base/memory.h"
#include "engine/engine.h"
#include "engine/font/font.h"
#include "engine/font/services.h"
#include "engine/graphics/drawsettings.h"
#include "engine_start.h"
#include "platform/gdi/fake/gdifake.h"

namespace {

using FontsAtStartAndEnd = EngineStart;

TEST_F(FontsAtStartAndEnd, TheStartMakesTheDefaultFontAndTheEndLeavesNothing) {
  ChangeWindowMode(1);
  ASSERT_EQ(EngineInitCore(), 0);
  EXPECT_TRUE(LogHas("フォントの初期化を行います"));
  EXPECT_TRUE(LogHas("フォントの初期化は正常に終了しました"));
  const FontRecord* f = GetFontRecord(QueryDefaultFont());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->cellWidth, 24);
  // On the Direct3D renderer a texture cache of 512 x 512 (21 x 21 cells), else memory.
  EXPECT_EQ(f->textureCache, IsHardware3DActive());
  EXPECT_EQ(f->capacity, f->textureCache ? 441 : 568);

  // A font of the program's own, watched, with glyphs in its cache and a long string in
  // the font system's list.
  const int32_t font = CreateFontToHandle(nullptr, 24, 6, 3, -1, 2, 1, -1, -1);
  ASSERT_NE(font, -1);
  int32_t deleted = 7;
  ASSERT_EQ(WatchFontDeletion(font, &deleted), 0);
  ASSERT_EQ(PrepareStringGlyphs(nullptr, ("\x8A\xBF" + std::string(400, 'a')).c_str(), font, -1, nullptr), 0);
  EXPECT_EQ(GetFontRecord(font)->chars[0xBF8A].cached, 1u);

  EXPECT_EQ(EngineEndCore(), 0);
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(IsFontHandleValid(QueryDefaultFont()), 0);
  EXPECT_EQ(PlatGdiFakeLiveObjects(), 0);
  EXPECT_TRUE(LogHas("Total size:0(0.000kb)  Alloc num:0"));
}

}  // namespace
