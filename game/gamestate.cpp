#include "game/gamestate.h"

#include "game/gameapi.h"
#include "game/hiscore.h"
#include "game/stages.h"

#include <cstdio>
#include <cstring>

GameState* g_Game = nullptr;
GameState g_GameList;
PlayerRecord* g_Players[kPlayerCount + 1];
PlayerRecord g_PlayerList;
PlayerRecord* g_CurrentPlayer = nullptr;
StageTable* g_StageTable = nullptr;
StageTable g_StageList;

int32_t g_PlayerImages[80];
int32_t g_EnemyImages[2400];
int32_t g_ItemImages[40];
int32_t g_BlockImages[50];
int32_t g_TamaImages[40];
int32_t g_BombImages[40];
int32_t g_FloorImages[40];
int32_t g_SoundEffects[kEffectCount];
int32_t g_StageMusic;

namespace {

// New records go after the last one; the first one's prevRecord is the anchor.
template <typename Record>
void AppendRecord(Record* anchor, Record* record) {
  Record* last = anchor;
  while (last->nextRecord) last = last->nextRecord;
  last->nextRecord = record;
  record->prevRecord = last;
  record->nextRecord = nullptr;
}

struct SheetLoad {
  const char* file;
  int32_t cells, across, down;
  int32_t* handles;
};

const SheetLoad kSheets[] = {
    {"u_Player.png", 80, 4, 20, g_PlayerImages}, {"u_Enemy.png", 2400, 20, 120, g_EnemyImages},
    {"u_Item.png", 40, 4, 10, g_ItemImages},     {"u_Block.png", 50, 5, 10, g_BlockImages},
    {"u_Tama.png", 40, 4, 10, g_TamaImages},     {"u_Bomb.png", 40, 4, 10, g_BombImages},
    {"u_yuka.png", 40, 4, 10, g_FloorImages},
};

const char* const kEffectFiles[kEffectCount] = {
    "bom09.wav",    "buble01.wav", "fm000.wav",     "power09.wav", "fall00.wav",
    "animal02.wav", "beep15.wav",  "byoro01_a.wav", "power10.wav", "power37.wav",
};
constexpr char kStageMusicFile[] = "worldenddominator.ogg";
constexpr int32_t kSoundCopies = 3;

// A file of the game's own that is missing or damaged: the game would run with invisible
// walls or players, or silent, and nobody would know why. Said in the log and to the user;
// 1, to count it.
// A load refused because the program is already ending (Ctrl+C or a closed window while the
// sheets load) says nothing of the file: it is counted all the same, and the start ends as
// any stop does.
int32_t FileNotLoaded(const char* file) {
  if (g_Api->PumpMessages() != 0) return 1;
  char line[256];
  std::snprintf(line, sizeof line, "ゲームのファイル %s がないか、読み込めません\n", file);
  g_Api->WriteLog(line);
  std::snprintf(line, sizeof line, "The game's file %s is missing or cannot be loaded.\n", file);
  g_Api->TellUser(line);
  return 1;
}

}  // namespace

GameState* CreateGameState() {
  // Value-initialised: zero-filled, so the start of every run is the same.
  g_Game = new GameState();
  AppendRecord(&g_GameList, g_Game);
  LoadHiScore();
  g_Game->stage = 1;
  return g_Game;
}

void CreatePlayers() {
  for (int32_t n = 1; n <= kPlayerCount; n++) {
    PlayerRecord* p = new PlayerRecord();
    AppendRecord(&g_PlayerList, p);
    std::strcpy(p->name, "Player");
    p->number = n;
    p->spriteFrame = (n - 1) * 20;
    p->speed = 1;
    p->fireRange = 2;
    p->bombCapacity = 1;
    p->bombsLeft = 1;
    p->active = 1;
    g_Players[n] = p;
  }
}

StageTable* CreateStageTable() {
  g_StageTable = new StageTable();
  AppendRecord(&g_StageList, g_StageTable);
  FillStageTable();
  return g_StageTable;
}

void FreeGameState() {
  delete g_Game;
  g_Game = nullptr;
  g_GameList.nextRecord = nullptr;
}

void FreePlayers() {
  for (int32_t n = 1; n <= kPlayerCount; n++) {
    delete g_Players[n];
    g_Players[n] = nullptr;
  }
  g_PlayerList.nextRecord = nullptr;
  g_CurrentPlayer = nullptr;
}

void FreeStageTable() {
  delete g_StageTable;
  g_StageTable = nullptr;
  g_StageList.nextRecord = nullptr;
}

int32_t LoadImages() {
  int32_t failed = 0;
  for (const SheetLoad& s : kSheets)
    if (g_Api->LoadSplitGraph(s.file, s.cells, s.across, s.down, 32, 32, s.handles, 0) != 0)
      failed += FileNotLoaded(s.file);
  return failed;
}

int32_t LoadSounds() {
  int32_t failed = 0;
  for (int32_t i = 0; i < kEffectCount; i++) {
    g_SoundEffects[i] = g_Api->LoadSoundFile(kEffectFiles[i], kSoundCopies, -1);
    if (g_SoundEffects[i] == -1) failed += FileNotLoaded(kEffectFiles[i]);
  }
  g_StageMusic = g_Api->LoadSoundFile(kStageMusicFile, kSoundCopies, -1);
  if (g_StageMusic == -1) failed += FileNotLoaded(kStageMusicFile);
  return failed;
}

int32_t CheckMenuMusic() {
  int32_t failed = 0;
  for (const char* file : {kTitleMusicFile, kOptionsMusicFile}) {
    char head[4] = {};
    std::FILE* f = std::fopen(file, "rb");
    const bool midi = f && std::fread(head, 1, sizeof head, f) == sizeof head &&
                      std::memcmp(head, "MThd", sizeof head) == 0;
    if (f) std::fclose(f);
    if (!midi) failed += FileNotLoaded(file);
  }
  return failed;
}

void TellHowToRestoreFiles() {
  g_Api->WriteLog("ゲームのファイルが揃っていないので終了します\n");
  g_Api->TellUser(
      "The game's files are made by the build: run ./play.sh, which copies them back into "
      "the game's folder (run/).\n");
}

void PlayStageMusic() { g_Api->PlaySoundHandle(g_StageMusic, 3, 1); }

void PlaySe(int32_t i) {
  if (i < 0 || i >= kEffectCount) return;
  if (g_Game->effectsOn == 1) g_Api->PlaySoundHandle(g_SoundEffects[i], 1, 1);
}
