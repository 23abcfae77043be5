// The contact sheet: every used cell at three times its size on the floor's colour, a
// group of lines each for the players, the enemies, the items, the blocks, the bombs and
// flames, the shots and the floors.
#include "tools/makeassets/assets.h"
#include "tools/makeassets/sprites.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int kScale = 3;
constexpr int kGap = 6;
constexpr int kGroupGap = 30;

struct Line {
  std::vector<Canvas> cells;
  int scale = kScale;
  int gap = kGap;  // 0 shows cells as they lie side by side on the field
  bool groupStart = false;
};

std::vector<Canvas> Cells(const Canvas& sheet, int across, int first, int count) {
  std::vector<Canvas> out;
  for (int i = first; i < first + count; i++) out.push_back(GetCell(sheet, across, i));
  return out;
}

}  // namespace

Canvas DrawContactSheet() {
  std::vector<Line> lines;
  auto add = [&](std::vector<Canvas> cells, bool groupStart, int scale = kScale, int gap = kGap) {
    lines.push_back({std::move(cells), scale, gap, groupStart});
  };
  const Canvas players = DrawPlayerSheet();
  for (int p = 0; p < 4; p++) add(Cells(players, 4, 20 * p, 20), p == 0);

  const Canvas enemies = DrawEnemySheet();
  add(Cells(enemies, 20, 0, 20), true);
  add(Cells(enemies, 20, 20, 20), false);
  // The core mech covers three cells each way on the field: its four facings and its
  // first dying frame at that size.
  add({GetCell(enemies, 20, 20), GetCell(enemies, 20, 24), GetCell(enemies, 20, 28), GetCell(enemies, 20, 32),
       GetCell(enemies, 20, 36)},
      false, 3 * kScale, 3 * kGap);

  const Canvas items = DrawItemSheet();
  add(Cells(items, 4, 0, 22), true);

  const Canvas blocks = DrawBlockSheet();
  std::vector<Canvas> blockCells = Cells(blocks, 5, 0, 5);
  for (const Canvas& c : Cells(blocks, 5, 25, 6)) blockCells.push_back(c);
  add(blockCells, true);

  const Canvas bombs = DrawBombSheet();
  add(Cells(bombs, 4, 0, 12), true);
  add(Cells(bombs, 4, 12, 12), false);
  // Flames of different frames side by side, as a burst lies on the field: the arms
  // must join into one cross.
  const Canvas floor = GetCell(DrawFloorSheet(), 4, 2);
  for (int row = 0; row < 5; row++) {
    std::vector<Canvas> cells;
    for (int col = 0; col < 5; col++) {
      Canvas tile = floor;
      if (row == 2 || col == 2) Blit(&tile, GetCell(bombs, 4, (row * 5 + col) % 4), 0, 0);
      cells.push_back(tile);
    }
    add(cells, row == 0, kScale, 0);
  }

  add(Cells(DrawShotSheet(), 4, 0, 4), true);
  add(Cells(DrawFloorSheet(), 4, 0, 3), true);

  int width = 0, height = kGap + kGroupGap;
  for (const Line& line : lines) {
    const int w = int(line.cells.size()) * (kCell * line.scale + line.gap) + 2 * kGap;
    width = std::max(width, w);
    height += (line.groupStart ? kGroupGap : 0) + kCell * line.scale + line.gap;
  }
  Canvas sheet = MakeCanvas(width, height);
  FillRect(&sheet, 0, 0, width, height, palette::kFloor);
  int y = kGap;
  for (const Line& line : lines) {
    if (line.groupStart) y += kGroupGap;
    int x = 2 * kGap;
    for (const Canvas& cell : line.cells) {
      Blit(&sheet, cell, x, y, line.scale);
      x += kCell * line.scale + line.gap;
    }
    y += kCell * line.scale + line.gap;
  }
  return sheet;
}
