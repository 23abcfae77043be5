// A field built by hand for the tests of players, bombs, flames and hits: the game's
// records and sounds on the fake engine, the game's own bodies (no stand-ins), a round of
// normal mode in play with 200 seconds left, player 1 in it with one life on cell (7, 6)
// and players 2-4 out. Objects are made with CreateFieldObject; frames run through the
// frame loop's own StepFrame, with the pads the test holds.
#pragma once

#include "game/behaviours.h"
#include "game/bombs.h"
#include "game/players.h"
#include "gamefixture.h"

#include <algorithm>
#include <string>
#include <vector>

inline void Put(PlayerRecord* p, int32_t pixelX, int32_t pixelY) {
  p->pixelX = pixelX;
  p->pixelY = pixelY;
  p->centreX = pixelX + 16;
  p->centreY = pixelY + 16;
  p->cellX = p->centreX / 32;
  p->cellY = p->centreY / 32;
}

class FieldTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    SetGameStandIns(false);
    MakeRecords();
    LoadSounds();
    Fake().engineUp = 1;
    g_Game->inPlay = 1;
    g_Game->mode = 1;
    g_Game->secondsLeft = 200;
    for (int32_t n = 1; n <= kPlayerCount; n++) {
      g_Players[n]->active = n == 1;
      g_Players[n]->lives = n == 1;
      Put(g_Players[n], 7 * 32, 6 * 32);
    }
    g_CurrentPlayer = g_Players[1];
    Fake().audio.clear();
  }

  static PlayerRecord* P(int32_t n) { return g_Players[n]; }

  // Player 1 on (11, 11), away from what a test builds; player 2 parked off the field.
  // Enemies look at both, wherever they are.
  static void PlayersAside() {
    Put(g_Players[1], 11 * 32, 11 * 32);
    Put(g_Players[2], 1000 * 32, 1000 * 32);
  }

  // Holds these pad bits for player `n` in the frames that follow.
  static void Hold(int32_t n, int32_t bits) { Fake().input.held.pads[n] = bits; }

  static void Frames(int32_t count) {
    for (int32_t i = 0; i < count; i++) ASSERT_EQ(StepFrame(), 1);
  }
};

// A state that does nothing, for objects a test wants to keep still.
inline void Idle(FieldObject*) {}

inline FieldObject* Wall(int32_t column, int32_t row) {
  return CreateFieldObject("Block", 0, 0, column, row, 0, 1, 0, 0, 0, 0, 0, 0, 0);
}
inline FieldObject* SoftBlock(int32_t column, int32_t row) {
  return CreateFieldObject("Block", 0, 1, column, row, 0, 1, 100, 0, 0, 0, 0, 0, 0);
}
// A bomb that never goes off by itself.
inline FieldObject* StillBomb(int32_t column, int32_t row) {
  FieldObject* b = CreateFieldObject("Block", 0, 2, column, row, 0, 2, 0, 150, 0, 0, 0, 0, 4);
  b->behaviour = Idle;
  return b;
}
// A centre flame as a bursting bomb makes it.
inline FieldObject* CentreFlame(int32_t column, int32_t row, int32_t range, int32_t variant = 0,
                                int32_t pattern = 0, int32_t owner = 1) {
  return CreateFieldObject("Fire", variant, 4, column, row, 0, range, 0, 32, 0, owner, 0, pattern,
                           1);
}

// The live objects of a kind standing on cell (column, row), newest first.
inline std::vector<FieldObject*> On(int32_t column, int32_t row, const char* kind) {
  std::vector<FieldObject*> v;
  for (FieldObject* o = CellObjects(row, column); o; o = o->nextInCell)
    if (StandsOn(o, row, column) && IsKind(o, kind)) v.push_back(o);
  return v;
}

// The effects played since the audio log was last cleared, by effect number.
inline std::vector<int32_t> Sounds() {
  std::vector<int32_t> v;
  const std::vector<std::string>& files = Fake().soundFiles;
  for (const FakeAudioCall& a : Fake().audio) {
    const size_t open = a.call.find('('), comma = a.call.find(',');
    if (a.call.rfind("PlaySoundHandle(", 0) != 0 || comma == std::string::npos) continue;
    const std::string file = a.call.substr(open + 1, comma - open - 1);
    v.push_back(int32_t(std::find(files.begin(), files.end(), file) - files.begin()));
  }
  return v;
}

// The bomb list from its head.
inline std::vector<FieldObject*> BombList() {
  std::vector<FieldObject*> v;
  FieldObject* prev = g_ActiveSentinel;
  for (FieldObject* b = g_ActiveSentinel->nextBomb; b; b = b->nextBomb) {
    EXPECT_EQ(b->prevBomb, prev);
    prev = b;
    v.push_back(b);
  }
  return v;
}
