// The game's records: the game state, the four players and the stage table, each chained
// behind a static anchor; the image and sound tables filled at start-up; the two sound
// shorthands.
#pragma once

#include <atomic>
#include <cstdint>

// The field: 15 columns x 13 rows of 32 x 32 pixels, cell index row x 15 + column.
constexpr int32_t kFieldColumns = 15;
constexpr int32_t kFieldRows = 13;
constexpr int32_t kCellCount = kFieldColumns * kFieldRows;
constexpr int32_t kPlayerCount = 4;

struct GameState {
  GameState* prevRecord;
  GameState* nextRecord;
  // The stage builder's plan of the field: 0 open, 1 wall, 2 soft block, 5 enemy start,
  // 6 kept open next to a player start.
  int32_t grid[kCellCount];
  int32_t enemyCount;
  int32_t coreCount;
  uint32_t textColour;
  // The clock thread takes 1 off it while a round runs unpaused.
  std::atomic<int32_t> secondsLeft;
  int32_t scoreChain;
  int32_t hiScore;
  int32_t stage;
  int32_t frameCount;
  int32_t cameraMode;
  int32_t scrollX;
  int32_t scrollY;
  // 1 while a round runs, 0 while the menus run; read by the clock thread.
  std::atomic<int32_t> inPlay;
  int32_t playersInRound;
  int32_t battlePlayers;
  int32_t musicOn;
  int32_t effectsOn;
  int32_t reach;
  // 1 while a player holds play paused; read by the clock thread.
  std::atomic<int32_t> paused;
  // 0 none (title and options), 1 normal game, 3 battle game.
  int32_t mode;
  int32_t menuState;
  int32_t quitRequested;
  int32_t cursor;
  int32_t stock;
  int32_t floorStyle;
  // The menu songs that would not play (bit 0 the title's, bit 1 the options'): asked for
  // on every pass, one that failed would be read and logged again many times a second.
  int32_t menuMusicFailed;
};

struct PlayerRecord {
  char name[16];
  PlayerRecord* prevRecord;
  PlayerRecord* nextRecord;
  int32_t number;
  int32_t speed;
  int32_t cellX;
  int32_t cellY;
  int32_t pixelX;
  int32_t pixelY;
  int32_t centreX;
  int32_t centreY;
  int32_t facing;
  int32_t moving;
  int32_t reserved;
  int32_t dirX;
  int32_t dirY;
  int32_t padBits;
  int32_t bombLatch;
  int32_t remoteLatch;
  int32_t pauseLatch;
  int32_t upLatch;
  int32_t downLatch;
  int32_t leftLatch;
  int32_t rightLatch;
  int32_t fireRange;
  int32_t bombCapacity;
  int32_t bombsLeft;
  int32_t score;
  int32_t lives;
  int32_t invulnerable;
  int32_t active;
  int32_t passAbility;
  int32_t bombType;
  int32_t fullFire;
  int32_t lineBomb;
  int32_t pausedByMe;
  int32_t spriteFrame;
  int32_t animCounter;
};

// Three sub-tables of 50 rows by stage number: enemy kinds (rows 0-49), hidden items for
// one player (50-99) and for two (100-149); 100 is an empty entry.
constexpr int32_t kStageRows = 150;
constexpr int32_t kStageColumns = 9;
struct StageTable {
  int32_t rows[kStageRows][kStageColumns];
  StageTable* prevRecord;
  StageTable* nextRecord;
};

// The records and their list anchors. A record's prevRecord is the previous record, or the
// anchor for the first.
extern GameState* g_Game;
extern GameState g_GameList;
extern PlayerRecord* g_Players[kPlayerCount + 1];  // by number 1-4; [0] unused
extern PlayerRecord g_PlayerList;
extern PlayerRecord* g_CurrentPlayer;
extern StageTable* g_StageTable;
extern StageTable g_StageList;

// Makes the record, appends it to its list and fills it (the game state from HiScore.dat).
GameState* CreateGameState();
void CreatePlayers();
StageTable* CreateStageTable();
// Free the records and clear their anchors.
void FreeGameState();
void FreePlayers();
void FreeStageTable();

// Engine handles, filled once at start-up.
extern int32_t g_PlayerImages[80];
extern int32_t g_EnemyImages[2400];
extern int32_t g_ItemImages[40];
extern int32_t g_BlockImages[50];
extern int32_t g_TamaImages[40];
extern int32_t g_BombImages[40];
extern int32_t g_FloorImages[40];
constexpr int32_t kEffectCount = 10;
extern int32_t g_SoundEffects[kEffectCount];
extern int32_t g_StageMusic;

// The menu songs (MIDI files in the game's folder).
constexpr char kTitleMusicFile[] = "dancers7.mid";
constexpr char kOptionsMusicFile[] = "sunrise.mid";

// The seven sprite sheets of 32 x 32 cells, in their table's order. The number of sheets
// that failed, each named in the log and on the terminal.
int32_t LoadImages();
// The ten effects in index order, then the stage music; 3 copies each. The number that
// failed, each named.
int32_t LoadSounds();
// The two menu songs: present and starting as a MIDI file should. The number that are
// not, each named.
int32_t CheckMenuMusic();
// The line that tells the user how to bring the game's files back.
void TellHowToRestoreFiles();
// The stage music, looped from the start.
void PlayStageMusic();
// Effect i once in the background from the start, while effects are on.
void PlaySe(int32_t i);
