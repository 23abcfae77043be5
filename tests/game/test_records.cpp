// The records start-up makes and their lists, and the two sound shorthands.
#include "gamefixture.h"

#include <cstring>
#include <fstream>

namespace {

using GameRecords = GameTest;

TEST_F(GameRecords, EachListStartsAtItsAnchor) {
  MakeRecords();
  EXPECT_EQ(g_GameList.nextRecord, g_Game);
  EXPECT_EQ(g_Game->prevRecord, &g_GameList);
  EXPECT_EQ(g_Game->nextRecord, nullptr);
  EXPECT_EQ(g_StageList.nextRecord, g_StageTable);
  EXPECT_EQ(g_StageTable->prevRecord, &g_StageList);
  EXPECT_EQ(g_StageTable->nextRecord, nullptr);
  // Players 1 to 4 in order, the first behind the anchor.
  PlayerRecord* prev = &g_PlayerList;
  for (int n = 1; n <= 4; n++) {
    EXPECT_EQ(prev->nextRecord, g_Players[n]);
    EXPECT_EQ(g_Players[n]->prevRecord, prev);
    prev = g_Players[n];
  }
  EXPECT_EQ(prev->nextRecord, nullptr);

  FreePlayers();
  FreeGameState();
  FreeStageTable();
  EXPECT_EQ(g_PlayerList.nextRecord, nullptr);
  EXPECT_EQ(g_GameList.nextRecord, nullptr);
  EXPECT_EQ(g_StageList.nextRecord, nullptr);
}

TEST_F(GameRecords, TheGameStateAndThePlayersStartAsARunBegins) {
  std::ofstream("HiScore.dat", std::ios::binary).write("\x10\x27\0\0\2\0\0\0\0\0\0\0\1\0\0\0", 16);
  MakeRecords();
  // Everything zero but the stage and what HiScore.dat gives.
  GameState expected{};
  expected.prevRecord = &g_GameList;
  expected.stage = 1;
  expected.hiScore = 10000;
  expected.reach = 2;
  expected.musicOn = 0;
  expected.effectsOn = 1;
  EXPECT_EQ(std::memcmp(g_Game, &expected, sizeof expected), 0);

  for (int n = 1; n <= 4; n++) {
    SCOPED_TRACE(n);
    PlayerRecord want{};
    std::strcpy(want.name, "Player");
    want.prevRecord = n == 1 ? &g_PlayerList : g_Players[n - 1];
    want.nextRecord = n == 4 ? nullptr : g_Players[n + 1];
    want.number = n;
    want.spriteFrame = (n - 1) * 20;
    want.speed = 1;
    want.fireRange = 2;
    want.bombCapacity = 1;
    want.bombsLeft = 1;
    want.active = 1;
    EXPECT_EQ(std::memcmp(g_Players[n], &want, sizeof want), 0);
  }
}

TEST_F(GameRecords, SoundsPlayThroughTheirHandles) {
  MakeRecords();
  LoadSounds();
  PlayStageMusic();
  PlaySe(0);
  PlaySe(9);
  g_Game->effectsOn = 0;
  PlaySe(2);
  g_Game->effectsOn = 1;
  PlaySe(10);  // no such effect
  PlaySe(-1);
  std::vector<std::string> audio;
  for (const FakeAudioCall& a : Fake().audio) audio.push_back(a.call);
  EXPECT_EQ(audio, (std::vector<std::string>{"PlaySoundHandle(worldenddominator.ogg,3,1)",
                                             "PlaySoundHandle(bom09.wav,1,1)",
                                             "PlaySoundHandle(power37.wav,1,1)"}));
}

}  // namespace
