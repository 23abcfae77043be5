// A game on the fake engine, in a working folder of its own (where HiScore.dat lives), with
// the stand-ins on. MakeRecords() makes the records as start-up does; whatever a test made,
// or WinMain left, is freed afterwards.
#pragma once

#include "fake_engine.h"
#include "game/gameapi.h"
#include "game/enemyai.h"
#include "game/gamestate.h"
#include "game/mainloop.h"
#include "game/objectpool.h"
#include "standins.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class GameTest : public ::testing::Test {
 protected:
  std::filesystem::path dir, oldCwd;

  void SetUp() override {
    char tmpl[] = "/tmp/kr_game_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    // The menu songs the start checks for: the fake engine plays no file.
    for (const char* song : {kTitleMusicFile, kOptionsMusicFile}) std::ofstream(song) << "MThd";
    ResetFakeEngine();
    g_Api = FakeEngineApi();
    SetGameStandIns(true);
  }

  void TearDown() override {
    StopRoundClock();
    FreePathWork();
    FreePlayers();
    FreeGameState();
    FreeStageTable();
    FreeObjectPool();
    SetGameStandIns(false);
    g_Api = nullptr;
    std::filesystem::current_path(oldCwd);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  static void MakeRecords() { CreateRecords(); }

#ifdef KR_ASSET_DIR
  // The game's files as the build made them, over the stand-in songs, for a run on the
  // engine (which checks and loads them).
  void CopyAssets() const {
    for (const auto& f : std::filesystem::directory_iterator(KR_ASSET_DIR))
      std::filesystem::copy_file(f.path(), dir / f.path().filename(),
                                 std::filesystem::copy_options::overwrite_existing);
  }
#endif
};
