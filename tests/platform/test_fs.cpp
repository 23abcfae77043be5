#include "platform/fs/fs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TempDir : ::testing::Test {
  std::string dir;
  std::string oldCwd;
  void SetUp() override {
    char tmpl[] = "/tmp/kr_fs_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    PlatGetCurrentDir(&oldCwd);
  }
  void TearDown() override {
    PlatSetCurrentDir(oldCwd.c_str());
    std::string cmd = "rm -rf " + dir;
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  void Write(const std::string& path, const std::string& data) {
    PlatFile* f = PlatFileOpen(path.c_str(), PLAT_FILE_WRITE, PLAT_CREATE_ALWAYS);
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(PlatFileWrite(f, data.data(), int64_t(data.size())), int64_t(data.size()));
    PlatFileClose(f);
  }
};

}  // namespace

TEST_F(TempDir, PathMappingTable) {
  ASSERT_EQ(PlatMakeDirectory((dir + "/Data").c_str()), 0);
  Write(dir + "/Data/Img.PNG", "x");
  struct Case {
    std::string in;
    int found;
    std::string mapped;
  } cases[] = {
      {dir + "/Data/Img.PNG", 1, dir + "/Data/Img.PNG"},
      {dir + "\\DATA\\img.png", 1, dir + "/Data/Img.PNG"},
      {dir + "/data/IMG.png", 1, dir + "/Data/Img.PNG"},
      {dir + "/data/missing.png", 0, dir + "/Data/missing.png"},
      {dir + "/nodir/img.png", 0, dir + "/nodir/img.png"},
      {"C:" + dir + "\\Data\\img.png", 1, dir + "/Data/Img.PNG"},
  };
  for (const Case& c : cases) {
    std::string mapped;
    EXPECT_EQ(PlatFsMapPath(c.in.c_str(), &mapped), c.found) << c.in;
    EXPECT_EQ(mapped, c.mapped) << c.in;
  }
  // Relative paths map against the current directory.
  ASSERT_EQ(PlatSetCurrentDir(dir.c_str()), 0);
  std::string mapped;
  EXPECT_EQ(PlatFsMapPath("DATA\\IMG.PNG", &mapped), 1);
  EXPECT_EQ(mapped, "Data/Img.PNG");
}

// A directory read whole to match a name without regard to case is matched from memory
// while it stays as it was, and read again after any change to its entries; one whose
// change time is too recent to rule out a change within the same stamp is read every
// time.
int64_t g_listingNow = 0;

TEST_F(TempDir, CaseInsensitiveLookupsReadAnUnchangedDirectoryOnce) {
  ASSERT_EQ(PlatMakeDirectory((dir + "/Data").c_str()), 0);
  Write(dir + "/Data/Img.PNG", "x");
  const std::string data = dir + "/Data";
  PlatFsSetListingClock([] { return g_listingNow; });
  // The clock an hour past, or a hundredth of a second past, the directory's last change.
  auto settle = [&](bool old) {
    struct stat st;
    ASSERT_EQ(stat(data.c_str(), &st), 0);
    g_listingNow = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec +
                   (old ? int64_t(3600) * 1000000000 : 10000000);
  };
  struct Step {
    const char* change;  // a rename inside Data before the lookup ("from>to"), or ""
    bool old;
    const char* lookup;  // under Data
    int found;
    const char* mapped;  // under Data
    uint64_t reads;
  } steps[] = {
      {"", true, "img_a.png", 0, "img_a.png", 1},
      {"", true, "img_a.png", 0, "img_a.png", 0},
      {"", true, "IMG.png", 1, "Img.PNG", 0},
      {"Img.PNG>IMG_A.PNG", true, "img_a.png", 1, "IMG_A.PNG", 1},
      {"", true, "img.png", 0, "img.png", 0},
      {"IMG_A.PNG>Img_a.png", true, "IMG_A.png", 1, "Img_a.png", 1},
      {"Img_a.png>img_b.png", false, "IMG_B.png", 1, "img_b.png", 1},
      {"", false, "IMG_B.png", 1, "img_b.png", 1},
  };
  for (const Step& step : steps) {
    const std::string change = step.change;
    if (!change.empty()) {
      const size_t cut = change.find('>');
      ASSERT_EQ(std::rename((data + "/" + change.substr(0, cut)).c_str(), (data + "/" + change.substr(cut + 1)).c_str()),
                0);
    }
    settle(step.old);
    const uint64_t before = PlatFsDirectoryReadCount();
    std::string mapped;
    EXPECT_EQ(PlatFsMapPath((data + "/" + step.lookup).c_str(), &mapped), step.found) << step.lookup;
    EXPECT_EQ(mapped, data + "/" + step.mapped) << step.lookup;
    EXPECT_EQ(PlatFsDirectoryReadCount() - before, step.reads) << step.change << " " << step.lookup;
  }
  PlatFsSetListingClock(nullptr);
}

TEST_F(TempDir, ReadWriteSeek) {
  Write(dir + "/a.bin", "0123456789");
  PlatFile* f = PlatFileOpen((dir + "/A.BIN").c_str(), PLAT_FILE_READ, PLAT_OPEN_EXISTING);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(PlatFileSize(f), 10);
  char buf[16] = {};
  uint64_t before = PlatFsReadCount();
  EXPECT_EQ(PlatFileRead(f, buf, 4), 4);
  EXPECT_EQ(PlatFsReadCount(), before + 1);
  EXPECT_EQ(std::string(buf), "0123");
  EXPECT_EQ(PlatFileSeek(f, -2, PLAT_SEEK_END), 8);
  EXPECT_EQ(PlatFileRead(f, buf, 16), 2);
  EXPECT_EQ(PlatFileRead(f, buf, 16), 0);
  EXPECT_EQ(PlatFileSeek(f, -1, PLAT_SEEK_SET), -1);
  EXPECT_EQ(PlatFileTell(f), 10);
  PlatFileClose(f);

  EXPECT_EQ(PlatFileOpen((dir + "/missing").c_str(), PLAT_FILE_READ, PLAT_OPEN_EXISTING), nullptr);
  EXPECT_EQ(PlatFileOpen(dir.c_str(), PLAT_FILE_READ, PLAT_OPEN_EXISTING), nullptr);
  EXPECT_EQ(PlatFileOpen((dir + "/a.bin").c_str(), PLAT_FILE_WRITE, PLAT_CREATE_NEW), nullptr);
}

TEST_F(TempDir, ListingStatAndTempFiles) {
  Write(dir + "/one.txt", "abc");
  ASSERT_EQ(PlatMakeDirectory((dir + "/sub").c_str()), 0);
  PlatDir* d = PlatDirOpen(dir.c_str());
  ASSERT_NE(d, nullptr);
  PlatFileInfo info;
  int files = 0, dirs = 0;
  while (PlatDirNext(d, &info)) {
    if (info.isDirectory) {
      dirs++;
      EXPECT_EQ(info.name, "sub");
    } else {
      files++;
      EXPECT_EQ(info.name, "one.txt");
      EXPECT_EQ(info.size, 3u);
    }
  }
  PlatDirClose(d);
  EXPECT_EQ(files, 1);
  EXPECT_EQ(dirs, 1);

  std::string path;
  PlatFile* t = PlatCreateTempFile(dir.c_str(), "tmp", &path);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(path.rfind(dir + "/tmp", 0), 0u);
  EXPECT_EQ(PlatFileWrite(t, "x", 1), 1);
  PlatFileClose(t);
  EXPECT_EQ(PlatFileStat(path.c_str(), &info), 0);
  EXPECT_EQ(info.size, 1u);
  EXPECT_EQ(PlatFileDelete(path.c_str()), 0);
  EXPECT_EQ(PlatFileStat(path.c_str(), &info), -1);
}

TEST_F(TempDir, ShiftJisNamesCrossTheBoundary) {
  const std::string sjisName = "\x83\x8D\x83\x4F.txt";  // ログ.txt
  ASSERT_EQ(PlatSetCurrentDir(dir.c_str()), 0);
  Write(sjisName, "z");
  EXPECT_EQ(access((dir + "/ログ.txt").c_str(), F_OK), 0);
  PlatDir* d = PlatDirOpen(".");
  PlatFileInfo info;
  ASSERT_EQ(PlatDirNext(d, &info), 1);
  EXPECT_EQ(info.name, sjisName);
  PlatDirClose(d);
}
