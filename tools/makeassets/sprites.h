// The game's sprite sheets: cells of 32 x 32 numbered row by row, drawn by code.
#pragma once

#include "tools/makeassets/paint.h"

constexpr int kCell = 32;

// Colours the sheets share, so that a bomb on an item panel is the bomb on the field.
namespace palette {
constexpr Rgb kWhite = {255, 255, 255};
constexpr Rgb kSkin = {252, 208, 168};
constexpr Rgb kEye = {40, 32, 64};
constexpr Rgb kBombBody = {62, 64, 96};
constexpr Rgb kFuse = {170, 124, 70};
constexpr Rgb kSparkOuter = {255, 150, 30};
constexpr Rgb kSparkInner = {255, 244, 170};
constexpr Rgb kFlameOuter = {236, 84, 18};
constexpr Rgb kFlameMid = {255, 168, 30};
constexpr Rgb kFlameInner = {255, 230, 90};
constexpr Rgb kFlameCore = {255, 252, 214};
constexpr Rgb kFlameEdge = {120, 36, 16};
// A flame's colours from its edge in to its heart.
constexpr Rgb kFlameLayers[4] = {kFlameOuter, kFlameMid, kFlameInner, kFlameCore};
constexpr Rgb kBrick = {196, 104, 58};
constexpr Rgb kMortar = {226, 200, 160};
constexpr Rgb kFloor = {62, 104, 100};
constexpr Rgb kCore = {90, 232, 255};
constexpr Rgb kCreature = {176, 84, 214};
}  // namespace palette

Canvas MakeSheet(int across, int down);
// Copies a cell canvas into cell `index` (row by row) of the sheet.
void PutCell(Canvas* sheet, int across, int index, const Canvas& cell);
Canvas GetCell(const Canvas& sheet, int across, int index);

// Sheets, each at the size the game cuts it into.
Canvas DrawPlayerSheet();  // u_Player.png: 4 x 20
Canvas DrawEnemySheet();   // u_Enemy.png: 20 x 120
Canvas DrawItemSheet();    // u_Item.png: 4 x 10
Canvas DrawBlockSheet();   // u_Block.png: 5 x 10
Canvas DrawShotSheet();    // u_Tama.png: 4 x 10
Canvas DrawBombSheet();    // u_Bomb.png: 4 x 10
Canvas DrawFloorSheet();   // u_yuka.png: 4 x 10

// Small pictures the item panels share with the field.
void DrawBomb(Canvas* c, double cx, double cy, double r, Rgb body, int frame);
void DrawFlameDrop(Canvas* c, double cx, double cy, double size);
void DrawBricks(Canvas* c, double x0, double y0, double x1, double y1, Rgb brick);
void DrawCreatureFace(Canvas* c, double cx, double cy, double r);
void DrawPlayerHead(Canvas* c, double cx, double cy, double r, Rgb suit);
