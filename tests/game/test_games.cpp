// Whole games on the fake engine through the script wrapper, from WinMain to Escape: the
// inputs come from a script that reads the screen it is on (the menu state and cursor, or
// play), the stage from the seed. Every pass's frames and sounds go into one digest.
#include "game/hiscore.h"
#include "game/judge.h"
#include "game/menus.h"
#include "gamefixture.h"
#include "scriptwrapper.h"

#include <algorithm>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int32_t kDown = 1, kLeft = 2, kRight = 4, kUp = 8, kButton1 = 16;
constexpr size_t kPassLimit = 200000;

// What a game showed: each change of screen in order, the field of the first round, and
// a digest of every frame and sound.
struct Course {
  std::vector<std::string> screens;
  std::string firstField;
  size_t digest = 0;
};

// The script: which inputs to hold in the next pass, given the screen the game is on.
using Script = std::function<InputPass()>;

struct Run {
  const GameApi* wrapped = nullptr;
  GameApi table{};
  Script script;
  Course course;
  std::string lastScreen;
  size_t passes = 0;
};
Run g_run;

void Mix(size_t& digest, const std::string& s) {
  digest = digest * 1000003u ^ std::hash<std::string>{}(s);
}

std::string Screen() {
  if (g_Game->inPlay.load() == 1) return "play " + std::to_string(g_Game->stage);
  return "menu " + std::to_string(g_Game->menuState);
}

void Record() {
  for (const FakeFrame& f : Fake().frames) {
    std::string s;
    for (const FakeDraw& d : f.draws)
      s += std::to_string(d.kind) + " " + std::to_string(d.x1) + "," + std::to_string(d.y1) +
           "," + std::to_string(d.x2) + "," + std::to_string(d.y2) + " " + d.sheetFile + ":" +
           std::to_string(d.cell) + " " + std::to_string(d.color) + " " + d.text + "\n";
    Mix(g_run.course.digest, s);
  }
  for (const FakeAudioCall& a : Fake().audio) Mix(g_run.course.digest, std::to_string(a.frame) + a.call);
  Fake().frames.clear();
  Fake().audio.clear();
  ClearFakeCalls();
  if (!g_Game) return;
  const std::string screen = Screen();
  if (screen != g_run.lastScreen) {
    g_run.course.screens.push_back(screen);
    if (g_run.course.firstField.empty() && g_Game->inPlay.load() == 1)
      for (int32_t c : g_Game->grid) g_run.course.firstField += char('0' + c);
    g_run.lastScreen = screen;
  }
}

int Pump() {
  const int result = g_run.wrapped->PumpMessages();
  Record();
  if (g_Game) ScriptWrapperInput().held = ++g_run.passes < kPassLimit ? g_run.script() : Keys({1});
  return result;
}

Course Play(uint32_t seed, Script script) {
  ResetFakeEngine();
  Fake().seed = seed;
  g_run = Run{};
  g_run.script = std::move(script);
  InputScript answers;
  answers.askYesNo = {1};  // full screen
  g_run.wrapped = ScriptWrapper(FakeEngineApi(), answers);
  g_run.table = *g_run.wrapped;
  g_run.table.PumpMessages = Pump;
  EXPECT_EQ(WinMain(&g_run.table), 0);
  EXPECT_LT(g_run.passes, kPassLimit);
  return g_run.course;
}

// Presses alternate with releases, so every press is a new one.
struct Presser {
  bool pressed = false;
  InputPass Press(InputPass p) {
    pressed = !pressed;
    return pressed ? p : InputPass{};
  }
  // Moves the cursor to the line, then button 1.
  InputPass Choose(int32_t line) {
    const int32_t c = g_Game->cursor;
    return Press(Pad1(c < line ? kDown : c > line ? kUp : kButton1));
  }
};

// Normal mode for one player, who lays a bomb and stays on it until the stock is spent;
// at game over it continues, and quits on the stage select that follows. A short game quits
// at the first between-stages screen.
Script NormalGameOnOwnBombs(bool shortGame = false) {
  auto state = std::make_shared<Presser>();
  auto continued = std::make_shared<bool>(false);
  return [state, continued, shortGame]() -> InputPass {
    if (g_Game->inPlay.load() == 1) return state->Press(Pad1(kButton1));
    switch (g_Game->menuState) {
      case 0: return state->Choose(0);
      case 1:
        if (*continued) return Keys({1});
        return state->Choose(1);
      case 2: return shortGame ? Keys({1}) : state->Choose(1);
      case 3:
        *continued = true;
        return state->Choose(0);
      default: return Keys({1});
    }
  };
}

// Play on the exit's way: every soft block and every walker is set alight by a flame of the
// game's own kind, so the blocks give up the cores and the exit by the game's hit rules.
// Once the exit stands open, player 1 walks there cell by cell along the shortest way over
// the open floor.
struct ExitWalk {
  int32_t goalColumn = -1, goalRow = -1;
  std::pair<int32_t, int32_t> target = {1, 1};  // player 1's start

  static bool HasFire(int32_t column, int32_t row) {
    for (FieldObject* o = CellObjects(row, column); o; o = o->nextInCell)
      if (o->alive && IsKind(o, "Fire") && o->cellX == column && o->cellY == row) return true;
    return false;
  }

  static void SetAlight() {
    for (FieldObject* o = g_ActiveSentinel->nextActive; o != g_ActiveSentinel; o = o->nextActive) {
      const bool softBlock = IsKind(o, "Block") && o->subKind == 1 && o->power >= 1;
      const bool walker = IsKind(o, "Enemy") && o->power >= 1;
      if (!o->alive || !(softBlock || walker) || HasFire(o->cellX, o->cellY)) continue;
      CreateFieldObject("Fire", 0, 4, o->cellX, o->cellY, 0, 0, 0, 32, 0, 1, 0, 0, 1);
    }
  }

  bool OpenExit() {
    for (FieldObject* o = g_ActiveSentinel->nextActive; o != g_ActiveSentinel; o = o->nextActive)
      if (o->alive && IsKind(o, "Goal") && o->subKind == 1) {
        goalColumn = o->cellX;
        goalRow = o->cellY;
        return true;
      }
    return false;
  }

  static bool Floor(int32_t column, int32_t row) {
    if (column <= 0 || row <= 0 || column >= kFieldColumns - 1 || row >= kFieldRows - 1)
      return false;
    return column % 2 || row % 2;
  }

  // The first cell on the way from player 1's cell to the exit.
  std::pair<int32_t, int32_t> NextCell() const {
    const PlayerRecord* p = g_Players[1];
    int32_t from[kFieldColumns * kFieldRows];
    std::fill(std::begin(from), std::end(from), -1);
    const int32_t goal = goalRow * kFieldColumns + goalColumn;
    std::deque<int32_t> open = {goal};
    from[goal] = goal;
    while (!open.empty()) {
      const int32_t cell = open.front();
      open.pop_front();
      const int32_t column = cell % kFieldColumns, row = cell / kFieldColumns;
      for (int32_t d = 0; d < 4; d++) {
        const int32_t c = column + kStepX[d], r = row + kStepY[d];
        if (!Floor(c, r) || from[r * kFieldColumns + c] >= 0) continue;
        from[r * kFieldColumns + c] = cell;
        open.push_back(r * kFieldColumns + c);
      }
    }
    const int32_t next = from[p->cellY * kFieldColumns + p->cellX];
    if (next < 0) return {p->cellX, p->cellY};
    return {next % kFieldColumns, next / kFieldColumns};
  }

  InputPass Step() {
    SetAlight();
    if (goalColumn < 0 && !OpenExit()) return {};
    const PlayerRecord* p = g_Players[1];
    // From one cell's corner to the next one's, then the way on from there.
    if (p->pixelX == target.first * 32 && p->pixelY == target.second * 32) target = NextCell();
    if (p->pixelY != target.second * 32) return Pad1(p->pixelY > target.second * 32 ? kUp : kDown);
    if (p->pixelX != target.first * 32) return Pad1(p->pixelX > target.first * 32 ? kLeft : kRight);
    return {};
  }
};

using Games = GameTest;

TEST_F(Games, ANormalGameUntilTheStockIsSpent) {
  SetGameStandIns(false);
  const Course c = Play(20261210, NormalGameOnOwnBombs());
  const std::vector<std::string> want = {
      "menu 0", "menu 1", "play 1", "menu 2", "play 1", "menu 2", "play 1", "menu 2",
      "play 1", "menu 2", "play 1", "menu 3", "menu 1"};
  EXPECT_EQ(c.screens, want);
}

TEST_F(Games, TheSameScriptAndSeedPlayTheSameGame) {
  SetGameStandIns(false);
  const Course a = Play(777, NormalGameOnOwnBombs(true));
  const Course b = Play(777, NormalGameOnOwnBombs(true));
  const Course other = Play(778, NormalGameOnOwnBombs(true));
  EXPECT_EQ(a.screens, (std::vector<std::string>{"menu 0", "menu 1", "play 1", "menu 2"}));
  EXPECT_EQ(a.screens, b.screens);
  EXPECT_EQ(a.firstField, b.firstField);
  EXPECT_EQ(a.digest, b.digest);
  EXPECT_NE(a.firstField, other.firstField);
}

TEST_F(Games, ANormalGameThroughTheExitToStageTwo) {
  SetGameStandIns(false);
  auto state = std::make_shared<Presser>();
  auto walk = std::make_shared<ExitWalk>();
  auto played = std::make_shared<int32_t>(0);
  const Course c = Play(20261210, [state, walk, played]() -> InputPass {
    if (g_Game->inPlay.load() == 1) {
      if (g_Game->stage == 2) return ++*played < 30 ? InputPass{} : Keys({1});
      // The walk ends before the player's first invulnerable frames do: nothing can hurt it.
      EXPECT_GT(g_Players[1]->invulnerable, 0);
      return walk->Step();
    }
    switch (g_Game->menuState) {
      case 0: return state->Choose(0);
      case 1: return state->Choose(1);
      case 2: return state->Choose(1);
      default: return Keys({1});
    }
  });
  const std::vector<std::string> want = {"menu 0", "menu 1", "play 1", "menu 2", "play 2"};
  EXPECT_EQ(c.screens, want);
  // The exit of stage 1 wrote the reach at once.
  std::ifstream in("HiScore.dat", std::ios::binary);
  const std::string bytes(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(ParseHiScore(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()).reach, 2);
}

TEST_F(Games, BattleWithFourPadsUntilAVictory) {
  SetGameStandIns(false);
  auto state = std::make_shared<Presser>();
  auto won = std::make_shared<bool>(false);
  const Course c = Play(5, [state, won]() -> InputPass {
    if (g_Game->inPlay.load() == 1) {
      // Players 2-4 stand on their own bombs; player 1 waits in its corner.
      InputPass p;
      if (!state->pressed) p.pads[2] = p.pads[3] = p.pads[4] = kButton1;
      state->pressed = !state->pressed;
      return p;
    }
    switch (g_Game->menuState) {
      case 0: return *won ? Keys({1}) : state->Choose(1);
      case 1001: return state->Choose(3);
      case 1002: return state->Choose(0);
      case 1004:
        *won = true;
        EXPECT_EQ(g_Players[1]->score, 2);
        return state->Choose(0);
      default: return Keys({1});
    }
  });
  const std::vector<std::string> want = {"menu 0", "menu 1001", "play 1", "menu 1002",
                                         "play 1", "menu 1002", "menu 1004", "menu 0"};
  EXPECT_EQ(c.screens, want);
}

}  // namespace
