// Movies of the stream way on the headless screen in DirectDraw mode, on the manual clock:
// over the fake multimedia stream (platform/media/fake) or over the stream back end
// itself. Files go to a fresh directory, archives are looked into, and every test ends
// with no movie, no stream object, no tracked block and no temporary copy left.
#pragma once

#include "engine/base/memory.h"
#include "engine/file/archivefile.h"
#include "engine/file/file.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/screen.h"
#include "engine/movie/movie.h"
#include "engine/movie/services.h"
#include "graphics/screenfixture.h"
#include "platform/backend/fakejournal.h"
#include "platform/fs/fs.h"
#include "platform/media/fake/mediafake.h"
#include "platform/media/media.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class StreamMovieTest : public HeadlessScreenTest {
 protected:
  std::string dir;
  int32_t blocksBefore = 0;
  std::vector<std::string> tempsBefore;
  std::string tmpdirBefore;
  bool hadTmpdir = false;

  // The back end the test plays on: "fake" or "stream".
  virtual const char* Backend() const { return "fake"; }

  void SetUp() override {
    HeadlessScreenTest::SetUp();
    ASSERT_EQ(PlatMediaSelectBackend(Backend()), 0);
    PlatMediaFakeReset();
    blocksBefore = GetTrackedBlockCount();
    char tmpl[] = "/tmp/krstreamXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    // Temporary copies go to a directory of the test's own: other programs make theirs
    // in the shared one meanwhile.
    hadTmpdir = std::getenv("TMPDIR") != nullptr;
    if (hadTmpdir) tmpdirBefore = std::getenv("TMPDIR");
    std::filesystem::create_directory(dir + "/tmp");
    setenv("TMPDIR", (dir + "/tmp").c_str(), 1);
    InitArchiveTables();
    SetFileFunctionTable(&ArchiveAwareFileFunctionSet);
    g_System.settings.windowed = 1;
    tempsBefore = TemporaryFiles();
  }

  void TearDown() override {
    for (int32_t slot = 0; slot < MOVIE_TABLE_SIZE; slot++)
      if (MovieHandleAt(slot) != -1) CloseMovieHandle(MovieHandleAt(slot));
    HeadlessScreenTest::TearDown();
    EXPECT_EQ(PlatMediaFakeLiveObjects(), 0) << "stream objects left";
    EXPECT_EQ(PlatMediaFakeLiveReferences(), 0);
    PlatMediaFakeReset();
    PlatMediaSelectBackend("stream");
    PlatFakeJournal(0);
    EndArchives();
    SetFileFunctionTable(nullptr);
    EXPECT_EQ(TemporaryFiles(), tempsBefore) << "a temporary copy was left";
    std::filesystem::remove_all(dir);
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore) << "tracked blocks left";
    if (hadTmpdir) setenv("TMPDIR", tmpdirBefore.c_str(), 1);
    else unsetenv("TMPDIR");
  }

  // Graphics in DirectDraw mode on a desktop of that depth (16 or 32 bits).
  void Start(int32_t depth = 32) {
    PlatDisplayHeadlessSetDesktop(HeadlessDesktop(depth), 0);
    ASSERT_EQ(StartGraphicsWithFallback(window), 0);
    ASSERT_NE(GetMovieDirectDraw(), 0u);
  }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path;
  }

  // The copies that CreateTempFile makes ("tmp..." in the temporary directory).
  static std::vector<std::string> TemporaryFiles() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& e : std::filesystem::directory_iterator(PlatTempDirectory(), error)) {
      const std::string name = e.path().filename().string();
      if (name.rfind("tmp", 0) == 0 && e.is_regular_file()) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // A record as the creator makes one, opened by the test.
  static int32_t NewMovie(MovieRecord** r) { return AddMovieRecord(r); }

  static MovieRecord* MovieOf(int32_t graph) {
    const GraphRecord* g = LookupGraph(graph);
    return g ? LookupMovie(g->movie) : nullptr;
  }
};
