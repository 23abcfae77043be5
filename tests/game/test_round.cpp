// A whole round of stage 1 on the fake engine: set up as the menus do, then frames with a
// player walking and laying bombs among the enemies.
#include "fieldfixture.h"
#include "game/stages.h"
#include "stagefixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int32_t kDown = 1, kLeft = 2, kRight = 4, kUp = 8, kButton1 = 16;

class Round : public FieldTest {
 protected:
  void SetUp() override {
    FieldTest::SetUp();
    LoadImages();
  }

  // The round from seed `seed`; the course of play as text: the effects played and where
  // every live object stands at the end.
  static std::string Play(uint32_t seed, int32_t frames) {
    ClearObjects();
    Fake().audio.clear();
    g_Game->frameCount = 0;
    Fake().seed = seed;
    Fake().seeded = false;
    g_Game->musicOn = g_Game->effectsOn = 1;
    g_Game->mode = 1;
    ResetProgress(0);
    g_Players[1]->active = g_Players[1]->lives = 1;
    g_Players[2]->lives = 0;
    g_Game->stock = 4;
    g_Game->playersInRound = 1;
    StartStageMusic();
    StartRound();
    BuildStage();
    ResetPlayersForRound();
    std::string course;
    const int32_t ways[4] = {kDown, kRight, kUp, kLeft};
    for (int32_t f = 0; f < frames; f++) {
      int32_t bits = ways[(f / 45) % 4];
      if (f % 70 == 0) bits |= kButton1;
      Fake().input.held.pads[1] = bits;
      // Kept from harm: a round that ended would hand over to the menus.
      g_Players[1]->invulnerable = 500;
      EXPECT_EQ(StepFrame(), 1) << "frame " << f;
      // Keep the fake's records small.
      if (f % 100 == 99) {
        ClearFakeCalls();
        Fake().frames.clear();
      }
    }
    for (int32_t s : Sounds()) course += std::to_string(s) + " ";
    course += "|";
    for (FieldObject* o = g_ActiveSentinel->nextActive; o != g_ActiveSentinel; o = o->nextActive)
      if (o->alive && !IsKind(o, "Yuka"))
        course += std::string(o->kind) + "@" + std::to_string(o->pixelX) + "," +
                  std::to_string(o->pixelY) + " ";
    return course;
  }
};

TEST_F(Round, StageOneForThreeThousandFrames) {
  Play(20261210, 3000);
  // Bombs were laid (sound 1) and burst (sound 0).
  const std::vector<int32_t> sounds = Sounds();
  EXPECT_GT(std::count(sounds.begin(), sounds.end(), 1), 0);
  EXPECT_GT(std::count(sounds.begin(), sounds.end(), 0), 0);
  EXPECT_EQ(g_Game->frameCount, 3000);
  // Everything goes back to the pool.
  ClearObjects();
  EXPECT_EQ(FreeRecords(), kPoolObjects);
}

TEST_F(Round, TheSameSeedAndInputsPlayTheSameRound) {
  const std::string course = Play(7, 600);
  EXPECT_EQ(Play(7, 600), course);
}

}  // namespace
