// Helpers for tests that build stages: cells scripted into RandomInt, the stage's open
// cells, and the objects of a kind in creation order.
#pragma once

#include "fake_engine.h"
#include "game/gamestate.h"
#include "game/objectpool.h"

#include <cstdlib>
#include <vector>

struct Cell {
  int32_t column, row;
  bool operator==(const Cell&) const = default;
};

// The start cells of players 1-4.
constexpr Cell kStartCells[4] = {{1, 1}, {13, 11}, {13, 1}, {1, 11}};

inline bool NextToStart(Cell c) {
  for (Cell s : kStartCells)
    if (std::abs(c.column - s.column) <= 1 && std::abs(c.row - s.row) <= 1) return true;
  return false;
}

// Open cells of the wall pattern that are not kept open around a start, row by row.
inline std::vector<Cell> OpenCells() {
  std::vector<Cell> v;
  for (int32_t row = 1; row < kFieldRows - 1; row++)
    for (int32_t column = 1; column < kFieldColumns - 1; column++)
      if (!(row % 2 == 0 && column % 2 == 0) && !NextToStart({column, row}))
        v.push_back({column, row});
  return v;
}

// The next draws of RandomInt(14) and RandomInt(12) pick these cells.
inline void ScriptCells(const std::vector<Cell>& cells) {
  for (Cell c : cells) {
    Fake().randomValues.push_back(c.column);
    Fake().randomValues.push_back(c.row);
  }
}

// Live objects of a kind (and sub-kind, unless -1) in creation order.
inline std::vector<FieldObject*> Objects(const char* kind, int32_t subKind = -1) {
  std::vector<FieldObject*> v;
  for (FieldObject* o = g_ActiveSentinel->nextActive; o != g_ActiveSentinel; o = o->nextActive)
    if (o->alive && IsKind(o, kind) && (subKind < 0 || o->subKind == subKind)) v.push_back(o);
  return v;
}

inline Cell CellOf(const FieldObject* o) { return {o->cellX, o->cellY}; }

// Records on the free list.
inline int32_t FreeRecords() {
  int32_t n = 0;
  for (FieldObject* o = g_FreeSentinel->nextActive; o != g_FreeSentinel; o = o->nextActive) n++;
  return n;
}
