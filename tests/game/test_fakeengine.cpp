// The fake engine the game's tests stand on: what it records of frames and sounds, how
// it answers, and that its random numbers are the engine's own.
#include "engine/base/random.h"
#include "gamefixture.h"

#include <vector>

namespace {

using FakeEngineTest = GameTest;

TEST_F(FakeEngineTest, FramesHoldTheirDrawsInOrder) {
  const GameApi* api = FakeEngineApi();
  int32_t player[80], floor[40];
  ASSERT_EQ(api->LoadSplitGraph("u_Player.png", 80, 4, 20, 32, 32, player, 0), 0);
  Fake().failingLoads = {"u_Item.png"};
  int32_t items[40] = {};
  EXPECT_EQ(api->LoadSplitGraph("u_Item.png", 40, 4, 10, 32, 32, items, 0), -1);
  ASSERT_EQ(api->LoadSplitGraph("u_yuka.png", 40, 4, 10, 32, 32, floor, 0), 0);

  api->ClearDrawTarget();
  EXPECT_EQ(api->DrawGraphAt(140, 68, player[3], 1), 0);
  EXPECT_EQ(api->DrawGraphAt(0, 0, items[0], 1), -1);  // never loaded
  api->DrawGraphStretched(1, 2, 3, 4, floor[39], 0);
  api->DrawColorBox(0, 0, 640, 90, api->PackScreenColor(0, 0, 0), 1);
  api->DrawTextFormatted(200, 18, api->PackScreenColor(255, 0, 0), "ステージ %d", 3);
  api->PresentScreen();
  api->DrawTextDefaultFont(10, 20, "スコア", 0xFFFF, 7);
  api->PresentScreen();
  api->FreeAllGraphs(0);
  EXPECT_EQ(api->DrawGraphAt(0, 0, player[0], 1), -1);
  api->PresentScreen();

  ASSERT_EQ(Fake().frames.size(), 3u);
  const std::vector<FakeDraw>& d = Fake().frames[0].draws;
  ASSERT_EQ(d.size(), 6u);
  EXPECT_EQ(d[0].kind, FakeDraw::kClear);
  EXPECT_EQ(d[1].kind, FakeDraw::kGraph);
  EXPECT_EQ(d[1].sheetFile, "u_Player.png");
  EXPECT_EQ(d[1].cell, 3);
  EXPECT_EQ(d[1].x1, 140);
  EXPECT_EQ(d[1].transparent, 1);
  EXPECT_EQ(d[2].sheet, -1);
  EXPECT_EQ(d[3].kind, FakeDraw::kStretched);
  EXPECT_EQ(d[3].sheetFile, "u_yuka.png");
  EXPECT_EQ(d[3].cell, 39);
  EXPECT_EQ(d[3].y2, 4);
  EXPECT_EQ(d[4].kind, FakeDraw::kBox);
  EXPECT_EQ(d[4].x2, 640);
  EXPECT_EQ(d[4].fill, 1);
  EXPECT_EQ(d[5].kind, FakeDraw::kText);
  EXPECT_EQ(d[5].text, "ステージ 3");
  EXPECT_EQ(d[5].color, 0xF800u);
  EXPECT_EQ(d[5].edgeColor, 0u);
  EXPECT_EQ(Fake().frames[1].draws.at(0).text, "スコア");
  EXPECT_EQ(Fake().frames[1].draws.at(0).edgeColor, 7u);
  EXPECT_EQ(Fake().frames[2].draws.at(0).sheet, -1);
}

TEST_F(FakeEngineTest, SoundsAndMusicAreRecordedWithTheirFrame) {
  const GameApi* api = FakeEngineApi();
  const int32_t boom = api->LoadSoundFile("bom09.wav", 3, -1);
  Fake().failingLoads = {"fall00.wav"};
  EXPECT_EQ(api->LoadSoundFile("fall00.wav", 3, -1), -1);
  EXPECT_EQ(api->IsMusicFilePlaying(), 0);
  api->PlayMusicFile("dancers7.mid", 3);
  EXPECT_EQ(api->IsMusicFilePlaying(), 1);
  api->PresentScreen();
  api->PlaySoundHandle(boom, 1, 1);
  EXPECT_EQ(api->PlaySoundHandle(-1, 1, 1), -1);
  api->PresentScreen();
  api->StopSoundHandle(boom);
  api->StopMusicFile();
  EXPECT_EQ(api->IsMusicFilePlaying(), 0);
  std::vector<std::pair<size_t, std::string>> audio;
  for (const FakeAudioCall& a : Fake().audio) audio.push_back({a.frame, a.call});
  EXPECT_EQ(audio, (std::vector<std::pair<size_t, std::string>>{
                       {0, "PlayMusicFile(dancers7.mid,3)"},
                       {1, "PlaySoundHandle(bom09.wav,1,1)"},
                       {1, "PlaySoundHandle(bad:-1,1,1)"},
                       {2, "StopSoundHandle(bom09.wav)"},
                       {2, "StopMusicFile()"}}));
}

TEST_F(FakeEngineTest, RandomNumbersAreScriptedThenTheEnginesOwn) {
  const GameApi* api = FakeEngineApi();
  Fake().randomValues = {1, 0, 7};
  Fake().seed = 1234;
  EXPECT_EQ(api->RandomInt(1), 1);
  EXPECT_EQ(api->RandomInt(1), 0);
  EXPECT_EQ(api->RandomInt(7), 7);
  std::vector<int32_t> got;
  for (uint32_t max : {1u, 100u, 0u, 0xFFFFFFFEu}) got.push_back(api->RandomInt(max));
  SeedRandom(1234);
  std::vector<int32_t> want;
  for (uint32_t max : {1u, 100u, 0u, 0xFFFFFFFEu}) want.push_back(RandomIntCore(int32_t(max)));
  EXPECT_EQ(got, want);
  EXPECT_EQ(Fake().randomMaxes, (std::vector<uint32_t>{1, 1, 7, 1, 100, 0, 0xFFFFFFFEu}));
}

TEST_F(FakeEngineTest, InputsComeFromTheScriptPassByPass) {
  InputScript script;
  InputPass second;
  second.pads[1] = 16;
  second.pads[4] = 256;
  script.passes = {Keys({1, 57}), second};
  script.waitAnyInput = {28};
  script.askYesNo = {0};
  ResetFakeEngine(script);
  Fake().engineUp = 1;
  Fake().endPass = 2;
  const GameApi* api = FakeEngineApi();
  EXPECT_EQ(api->IsKeyDown(1) + api->IsKeyDown(57), 2);
  EXPECT_EQ(api->ReadPadState(0x1001), 0);
  EXPECT_EQ(api->PumpMessages(), 0);
  EXPECT_EQ(api->IsKeyDown(1), 0);
  EXPECT_EQ(api->ReadPadState(0x1001), 16);
  EXPECT_EQ(api->ReadPadState(4), 256);
  EXPECT_EQ(api->PumpMessages(), 0);
  EXPECT_EQ(api->ReadPadState(4), 0);  // past the script nothing is held
  Fake().input.held.pads[2] = 8;       // unless the test holds it
  EXPECT_EQ(api->ReadPadState(2), 8);
  EXPECT_EQ(api->PumpMessages(), -1);  // the pump closing pass 2
  EXPECT_EQ(api->WaitAnyInput(), 28);
  EXPECT_EQ(api->WaitAnyInput(), 0);
  EXPECT_EQ(api->AskYesNo("q", "c"), 0);
  EXPECT_EQ(api->AskYesNo("q", "c"), 1);
  api->Sleep(40);
  EXPECT_EQ(api->GetTickMs(), 40u);
}

}  // namespace
