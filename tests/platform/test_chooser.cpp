// The choice of a family's back end: the platform KR_PLATFORM names, a choice by name that
// holds once made while the family keeps state of it (or not, for a family whose back
// ends keep no state).
#include "platform/backend/chooser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct Table {
  const char* name;
};

const Table kSdl{"sdl"}, kHeadless{"headless"}, kFake{"fake"};
const Table* Sdl() { return &kSdl; }
const Table* Headless() { return &kHeadless; }
const Table* Fake() { return &kFake; }

const PlatBackendOption<Table> kOptions[] = {
    {.table = Sdl, .platforms = PLAT_PLATFORM_SDL},
    {.table = Headless, .platforms = PLAT_PLATFORM_HEADLESS},
    {.table = Fake, .platforms = 0},
};

// KR_PLATFORM as a case sets it, restored afterwards.
class Chooser : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* was = std::getenv("KR_PLATFORM");
    hadPlatform_ = was != nullptr;
    if (was) platform_ = was;
  }
  void TearDown() override {
    if (hadPlatform_) setenv("KR_PLATFORM", platform_.c_str(), 1);
    else unsetenv("KR_PLATFORM");
  }
  static void SetPlatform(const char* name) {
    if (name) setenv("KR_PLATFORM", name, 1);
    else unsetenv("KR_PLATFORM");
  }

 private:
  bool hadPlatform_ = false;
  std::string platform_;
};

TEST_F(Chooser, TheNamedPlatformElseSdl) {
  struct Case {
    const char* platform;
    const char* chosen;
  };
  for (const Case& c : {Case{"headless", "headless"}, Case{"sdl", "sdl"}, Case{nullptr, "sdl"},
                        Case{"", "sdl"}, Case{"Headless", "sdl"}, Case{"fake", "sdl"}}) {
    SetPlatform(c.platform);
    PlatBackendChoice<Table> choice(kOptions, PLAT_BACKEND_FIXED);
    EXPECT_STREQ(choice.Name(), c.chosen) << (c.platform ? c.platform : "(unset)");
    // Once in use, the platform no longer matters.
    SetPlatform(std::string(c.chosen) == "sdl" ? "headless" : "sdl");
    EXPECT_STREQ(choice.Name(), c.chosen);
  }
}

TEST_F(Chooser, AFixedChoiceHoldsOnceMadeOrUsed) {
  SetPlatform("headless");
  PlatBackendChoice<Table> chosen(kOptions, PLAT_BACKEND_FIXED);
  EXPECT_EQ(chosen.Select("other"), -1);
  EXPECT_EQ(chosen.Select(nullptr), -1);
  EXPECT_EQ(chosen.Select("fake"), 0);  // a back end no platform defaults to
  EXPECT_EQ(chosen.Get(), &kFake);
  EXPECT_EQ(chosen.Select("fake"), 0);  // the same again is no change
  EXPECT_EQ(chosen.Select("sdl"), -1);
  EXPECT_EQ(chosen.Get(), &kFake);

  PlatBackendChoice<Table> used(kOptions, PLAT_BACKEND_FIXED);
  EXPECT_EQ(used.Get(), &kHeadless);
  EXPECT_EQ(used.Select("sdl"), -1);
  EXPECT_EQ(used.Select("headless"), 0);

  // Once the family holds nothing of the back end in use, another may take over.
  EXPECT_EQ(used.Select("sdl", false), 0);
  EXPECT_EQ(used.Get(), &kSdl);
  EXPECT_EQ(used.Select("other", false), -1);
  EXPECT_EQ(used.Get(), &kSdl);
}

TEST_F(Chooser, ASwitchableChoiceFollowsTheLastSelection) {
  SetPlatform("headless");
  PlatBackendChoice<Table> choice(kOptions, PLAT_BACKEND_SWITCHABLE);
  EXPECT_EQ(choice.Get(), &kHeadless);
  EXPECT_EQ(choice.Select("fake"), 0);
  EXPECT_EQ(choice.Get(), &kFake);
  EXPECT_EQ(choice.Select("sdl"), 0);
  EXPECT_EQ(choice.Get(), &kSdl);
  EXPECT_EQ(choice.Select("other"), -1);
  EXPECT_EQ(choice.Get(), &kSdl);
}

TEST_F(Chooser, APlatformNoBackEndServesTakesTheFirst) {
  SetPlatform("headless");
  const PlatBackendOption<Table> sdlOnly[] = {
      {.table = Fake, .platforms = 0},
      {.table = Sdl, .platforms = PLAT_PLATFORM_SDL},
  };
  PlatBackendChoice<Table> choice(sdlOnly, PLAT_BACKEND_FIXED);
  EXPECT_EQ(choice.Get(), &kFake);
}

}  // namespace
