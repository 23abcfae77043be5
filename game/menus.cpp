#include "game/menus.h"

#include "game/gameapi.h"
#include "game/gamestate.h"
#include "game/hiscore.h"
#include "game/mainloop.h"
#include "game/stages.h"

#include "engine/engine.h"  // the key constants

#include <iterator>

namespace {

constexpr uint32_t kPassMs = 34;
constexpr int32_t kTextX = 200;
constexpr int32_t kCursorX = 140;
constexpr int32_t kCursorImage = 3;
constexpr int32_t kLastStage = 3;

constexpr int32_t kPadDown = 1, kPadLeft = 2, kPadRight = 4, kPadUp = 8;
constexpr int32_t kButton1 = 16, kButton2 = 32;

enum : int32_t {
  kTitle = 0,
  kOptions = -1,
  kStageSelect = 1,
  kBetweenStages = 2,
  kGameOver = 3,
  kGameClear = 4,
  kBattleSelect = 1001,
  kRoundResult = 1002,
  kVictory = 1004,
};

constexpr const char* kWinnerLines[kPlayerCount + 1] = {"", "勝者 １P", "勝者 ２P", "勝者 ３P",
                                                       "勝者 ４P"};
constexpr const char* kWinsFormats[kPlayerCount + 1] = {"", "１P勝ち数 %d", "２P勝ち数 %d",
                                                        "３P勝ち数 %d", "４P勝ち数 %d"};

int32_t LineY(int32_t line) { return 18 + 50 * line; }

void Text(int32_t x, int32_t y, const char* text) {
  g_Api->DrawTextDefaultFont(x, y, text, g_Game->textColour, 0);
}
void Line(int32_t line, const char* text) { Text(kTextX, LineY(line), text); }
void Number(int32_t x, int32_t y, const char* format, int32_t value) {
  g_Api->DrawTextFormatted(x, y, g_Game->textColour, format, value);
}

void Cursor(int32_t base) {
  g_Api->DrawGraphAt(kCursorX, base + 50 * g_Game->cursor, g_PlayerImages[kCursorImage], 1);
}

void StageLines(int32_t limit) {
  Number(kTextX, LineY(1), "左右のキーでステージを選べます 最大 %d まで", limit);
  Number(kTextX, LineY(2), "ステージ %d　Zかパッド１ボタンで詳細情報", g_Game->stage);
}

const char* MusicText() { return g_Game->musicOn == 1 ? "音楽　ON" : "音楽　OFF"; }
const char* EffectsText() { return g_Game->effectsOn == 1 ? "効果音　ON" : "効果音　OFF"; }

// The wins: players 1 and 2 in the left column from y, players 3 and 4 in the right one.
void Wins(int32_t y) {
  for (int32_t n = 1; n <= kPlayerCount; n++)
    Number(n <= 2 ? 100 : 300, y + 50 * ((n - 1) % 2), kWinsFormats[n], g_Players[n]->score);
}

void DrawRoundResult() {
  Line(0, "バトルモード");
  bool anyLives = false;
  for (int32_t n = 1; n <= kPlayerCount; n++) anyLives |= g_Players[n]->lives != 0;
  if (!anyLives) Line(1, "引き分け");
  for (int32_t n = 1; anyLives && n <= kPlayerCount; n++) {
    if (g_Players[n]->lives != 1) continue;
    Line(1, kWinnerLines[n]);
    break;
  }
  Wins(118);
  Cursor(68);
  for (int32_t n = 1; n <= g_Game->battlePlayers && n <= kPlayerCount; n++) {
    g_Players[n]->active = 1;
    if (g_Players[n]->score >= 2) g_Game->menuState = kVictory;
  }
}

void DrawVictory() {
  Line(0, "VICTORY");
  Wins(68);
  for (int32_t n = 1; n <= kPlayerCount; n++) {
    if (g_Players[n]->score < 2) continue;
    Line(3, "勝利者が決定しました");
    Line(4, kWinnerLines[n]);
    break;
  }
  Line(5, "遊んでくれてありがとう");
  Line(6, "Ｚ（パッドの１ボタン）を押すとタイトルに戻る");
  Cursor(268);
}

void ResetToTitle() {
  g_Game->cursor = 0;
  g_Game->menuState = kTitle;
  g_Game->mode = 0;
  ResetProgress(0);
}

void AskReset() {
  if (g_Api->AskYesNo("タイトル画面に戻りますか？到達度とハイスコア以外のデータは全てリセットされます。",
                      "リセットの確認") == 1)
    ResetToTitle();
}

void ShowSaveScreen() {
  const bool saved = SaveHiScore() == 0;
  g_Api->ClearDrawTarget();
  Line(2, MusicText());
  Line(3, EffectsText());
  // A save that failed must not read as done: the change would be gone at the next start.
  Line(0, saved ? "設定を保存しました" : "設定を保存できませんでした");
  Line(4, "何かボタンを押すとオプション画面に戻ります");
  g_Api->DrawGraphAt(kCursorX, LineY(4), g_PlayerImages[kCursorImage], 1);
  g_Api->PresentScreen();
  g_Api->WaitAnyInput();
}

// The stage line shows the stage's data; any other line, with stage 3 on the stage line,
// clears the game. True when it served the selection.
bool ServeStageLine(int32_t c) {
  if (c == 0) {
    ShowStageInfo();
    return true;
  }
  if (g_Game->stage != kLastStage) return false;
  g_Game->cursor = 0;
  g_Game->menuState = kGameClear;
  return true;
}

// A new press of the bit: the latch was clear. The latch follows the bit.
bool NewPress(int32_t bits, int32_t bit, int32_t& latch) {
  if ((bits & bit) == 0) {
    latch = 0;
    return false;
  }
  if (latch != 0) return false;
  latch = 1;
  return true;
}

void ScreenStep(int32_t n) {
  g_Api->ClearDrawTarget();
  DrawMenu();
  HandleMenuInput(n);
  g_Api->PresentScreen();
  g_Api->Sleep(kPassMs);
}

// song: 0 the title's, 1 the options'.
void StartMenuMusic(int32_t song) {
  const int32_t bit = 1 << song;
  if (g_Game->musicOn != 1 || g_Api->IsMusicFilePlaying() != 0 || (g_Game->menuMusicFailed & bit))
    return;
  if (g_Api->PlayMusicFile(song == 0 ? kTitleMusicFile : kOptionsMusicFile, 3) != 0)
    g_Game->menuMusicFailed |= bit;
}

}  // namespace

void RunMenuLoop() {
  if (EnterMenuLoop())
    while (MenuPass()) {
    }
  LeaveMenuLoop();
}

int32_t EnterMenuLoop() {
  g_Api->StopSoundHandle(g_StageMusic);
  g_Api->StopMusicFile();
  for (int32_t n = 1; n <= kPlayerCount; n++) {
    PlayerRecord* p = g_Players[n];
    p->upLatch = p->downLatch = p->leftLatch = p->rightLatch = 1;
    p->active = 0;
  }
  g_Game->cursor = 0;
  g_Game->textColour = g_Api->PackScreenColor(255, 0, 0);
  g_Game->playersInRound = 0;
  return g_Api->PumpMessages() == 0 ? 1 : 0;
}

int32_t MenuPass() {
  GameState* g = g_Game;
  if (g->quitRequested == 1) return 0;
  if (g_Api->IsKeyDown(KEY_ESCAPE) == 1) g->quitRequested = 1;
  ReadPads();
  // Each test sees the state as input earlier in the pass left it.
  if (g->menuState == kTitle) {
    StartMenuMusic(0);
    ScreenStep(3);
  }
  if (g->menuState == kOptions) {
    StartMenuMusic(1);
    ScreenStep(4);
  }
  if (g->menuState == kStageSelect) {
    if (g->playersInRound >= 1) return 0;
    ScreenStep(4);
  }
  if (g->menuState == kBetweenStages) {
    if (g->playersInRound >= 1) return 0;
    ScreenStep(3);
  }
  if (g->menuState == kGameOver) ScreenStep(2);
  if (g->menuState == kGameClear) ScreenStep(1);
  if (g->menuState == kBattleSelect) {
    if (g->playersInRound >= 1) return 0;
    ScreenStep(5);
  }
  if (g->menuState == kRoundResult) {
    if (g->playersInRound >= 1) return 0;
    ScreenStep(1);
  }
  if (g->menuState == kVictory) ScreenStep(1);
  return g_Api->PumpMessages() == 0 ? 1 : 0;
}

void LeaveMenuLoop() {
  g_Api->ClearDrawTarget();
  g_Game->textColour = g_Api->PackScreenColor(255, 255, 255);
  StartStageMusic();
  StartRound();
  BuildStage();
  ResetPlayersForRound();
}

void DrawMenu() {
  switch (g_Game->menuState) {
    case kTitle:
      Line(0, "どのモードで遊びますか？");
      Line(1, "ノーマルモード");
      Line(2, "バトルモード");
      Line(3, "オプション");
      Cursor(68);
      break;
    case kOptions:
      Line(0, "オプションモード");
      Line(1, "戻る");
      Line(2, MusicText());
      Line(3, EffectsText());
      Line(4, "設定を保存する");
      Cursor(68);
      break;
    case kStageSelect:
      Line(0, "ノーマルモード");
      StageLines(g_Game->reach);
      Line(3, "１人でプレイ");
      Line(4, "２人でプレイ");
      Line(5, "戻る");
      Cursor(118);
      break;
    case kBetweenStages:
      Line(0, "ノーマルモード");
      StageLines(g_Game->reach);
      Line(3, "スタート");
      Line(4, "戻る");
      Cursor(118);
      break;
    case kGameOver:
      Line(0, "ノーマルモード");
      Line(1, "ゲームオーバー");
      Line(2, "ゲームを続ける");
      Line(3, "ゲームを終わる");
      Cursor(118);
      break;
    case kGameClear:
      Line(0, "ゲームクリアー");
      Line(1, "このゲームはこれで終わりです");
      Line(2, "遊んでくれてありがとう");
      Line(3, "Ｚ（パッドの１ボタン）を押すとタイトルに戻る");
      Cursor(68);
      break;
    case kBattleSelect:
      Line(0, "バトルモード");
      StageLines(1);
      Line(3, "２人でプレイ");
      Line(4, "３人でプレイ");
      Line(5, "４人でプレイ");
      Line(6, "戻る");
      Cursor(118);
      break;
    case kRoundResult:
      DrawRoundResult();
      break;
    case kVictory:
      DrawVictory();
      break;
    default:
      break;
  }
}

void HandleMenuInput(int32_t n) {
  GameState* g = g_Game;
  for (int32_t number = 1; number <= kPlayerCount; number++) {
    PlayerRecord* p = g_Players[number];
    const int32_t bits = p->padBits;
    // The cursor is held below n even when a selection earlier in the pass left it past
    // the new screen's last line.
    if (NewPress(bits, kPadUp, p->upLatch)) {
      g->cursor--;
      if (g->cursor > n - 1) g->cursor = n - 1;
      if (g->cursor < 0) g->cursor = 0;
    }
    if (NewPress(bits, kPadDown, p->downLatch)) {
      g->cursor++;
      if (g->cursor >= n) g->cursor = n - 1;
      if (g->cursor < 0) g->cursor = 0;
    }
    if (NewPress(bits, kButton1, p->bombLatch)) SelectMenuItem();
    if (NewPress(bits, kButton2, p->remoteLatch)) AskReset();
    if (NewPress(bits, kPadLeft, p->leftLatch)) ChangeStageNumber();
    if (NewPress(bits, kPadRight, p->rightLatch)) ChangeStageNumber();
  }
}

void ChangeStageNumber() {
  GameState* g = g_Game;
  const int32_t state = g->menuState;
  const bool normal = state == kStageSelect || state == kBetweenStages;
  const bool battle = state == kBattleSelect || state == kRoundResult;
  if ((!normal && !battle) || g->cursor != 0) return;
  const int32_t limit = normal ? g->reach : 1;
  for (int32_t n = 1; n <= kPlayerCount; n++) {
    const int32_t bits = g_Players[n]->padBits;
    if ((bits & kPadLeft) && g->stage - 1 >= 1) g->stage--;
    if ((bits & kPadRight) && g->stage + 1 <= limit) g->stage++;
  }
}

void SelectMenuItem() {
  GameState* g = g_Game;
  const int32_t c = g->cursor;
  switch (g->menuState) {
    case kTitle:
      if (c == 0) {
        g->cursor = 0;
        g->mode = 1;
        ResetProgress(0);
        g->menuState = kStageSelect;
      } else if (c == 1) {
        g->cursor = 0;
        g->mode = 3;
        g_Api->StopMusicFile();
        g->menuState = kBattleSelect;
      } else if (c == 2) {
        g->cursor = 0;
        g_Api->StopMusicFile();
        g->menuState = kOptions;
      }
      break;
    case kOptions:
      if (c == 0) {
        g_Api->StopMusicFile();
        g->cursor = 0;
        g->menuState = kTitle;
        g->mode = 0;
      } else if (c == 1) {
        if (g->musicOn == 1) {
          g_Api->StopMusicFile();
          g->musicOn = 0;
        } else {
          g->musicOn = 1;
        }
      } else if (c == 2) {
        g->effectsOn = g->effectsOn == 1 ? 0 : 1;
      } else if (c == 3) {
        ShowSaveScreen();
      }
      break;
    case kStageSelect:
      if (ServeStageLine(c)) break;
      if (c == 1) {
        g->cursor = 0;
        g->playersInRound = 1;
        g_Players[1]->active = g_Players[1]->lives = 1;
        g_Players[2]->lives = 0;
        g->stock = 4;
      } else if (c == 2) {
        g->cursor = 0;
        g->playersInRound = 2;
        g_Players[1]->active = g_Players[1]->lives = 1;
        g_Players[2]->active = g_Players[2]->lives = 1;
        g->stock = 3;
      } else if (c == 3) {
        AskReset();
      }
      break;
    case kBetweenStages:
      if (ServeStageLine(c)) break;
      if (c == 1) {
        g->cursor = 0;
        for (int32_t n = 1; n <= 2; n++) {
          if (g_Players[n]->lives <= 0) continue;
          g_Players[n]->active = 1;
          g->playersInRound++;
        }
      } else if (c == 2) {
        AskReset();
      }
      break;
    case kGameOver:
      if (c == 0) {
        g->cursor = 0;
        ResetProgress(1);
        g->menuState = kStageSelect;
      } else if (c == 1) {
        ResetToTitle();
      }
      break;
    case kGameClear:
    case kVictory:
      if (c == 0) ResetToTitle();
      break;
    case kBattleSelect:
      if (c >= 1 && c <= 3) {
        g->battlePlayers = g->playersInRound = c + 1;
        g->cursor = 0;
        for (int32_t n = 1; n <= kPlayerCount; n++) {
          PlayerRecord* p = g_Players[n];
          p->active = p->lives = p->number <= g->battlePlayers ? 1 : 0;
        }
      } else if (c == 4) {
        ResetToTitle();
      }
      break;
    case kRoundResult:
      if (c == 0) {
        g->cursor = 0;
        g->playersInRound = g->battlePlayers;
      }
      break;
    default:
      break;
  }
}

void ShowStageInfo() {
  const int32_t stage = g_Game->stage;
  g_Api->ClearDrawTarget();
  g_Api->DrawColorBox(0, 118, 640, 150, g_Api->PackScreenColor(200, 240, 200), 1);
  Number(kTextX, LineY(0), "ステージ %d のデータ", stage);
  Line(1, "登場する敵キャラ");
  for (int32_t i = 0; i < kStageColumns; i++) {
    const int32_t e = StageEntry(kStageEnemies, stage, i);
    if (e != kStageEmpty && e >= 0 && e * 20 < int32_t(std::size(g_EnemyImages)))
      g_Api->DrawGraphAt(10 + 40 * i, 118, g_EnemyImages[e * 20], 1);
  }
  struct Row {
    int32_t subTable;
    int32_t line;
    const char* title;
  };
  for (const Row& row : {Row{kStageItemsOnePlayer, 3, "１人プレイ時出現アイテム"},
                         Row{kStageItemsTwoPlayers, 5, "２人プレイ時出現アイテム"}}) {
    Line(row.line, row.title);
    for (int32_t i = 0; i < kStageColumns; i++) {
      const int32_t k = StageEntry(row.subTable, stage, i);
      if (k != kStageEmpty && k >= 0 && k < int32_t(std::size(g_ItemImages)))
        g_Api->DrawGraphAt(10 + 40 * i, LineY(row.line + 1), g_ItemImages[k], 1);
    }
  }
  g_Api->PresentScreen();
  g_Api->WaitAnyInput();
}
