// The archive-aware file set through the engine's file table: archives standing in for
// directories, files inside them in every open mode, the handle and archive tables,
// searches inside archives and the path utilities.
#include "engine/file/archivefile.h"
#include "engine/file/dirfind.h"
#include "archivefixture.h"

#include <algorithm>
#include <cstring>

namespace {

struct ArchiveFiles : ArchiveTestDir {
  // A loose tree beside the archive: DATA/IMG/A.PNG (different bytes from the archive's)
  // and DATA/IMG/LOOSE.PNG (not in the archive).
  void MakeLooseTree() {
    ASSERT_EQ(PlatMakeDirectory(Path("DATA").c_str()), 0);
    ASSERT_EQ(PlatMakeDirectory(Path("DATA/IMG").c_str()), 0);
    MakeFile("DATA/IMG/A.PNG", 5);
    MakeFile("DATA/IMG/LOOSE.PNG", 6);
  }
  std::string ReadFile(const char* path, int asynchronous = 0) {
    FileHandle f = FileOpen(path, 0, 1, asynchronous);
    if (!f) return "<none>";
    std::string s = ReadAll(f);
    EXPECT_EQ(FileClose(f), 0);
    return s;
  }
  static std::string Loose(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; i++) s += char(Byte(i));
    return s;
  }
};

}  // namespace

TEST_F(ArchiveFiles, ArchiveStandsForItsDirectoryInEveryMode) {
  MakeLooseTree();
  struct Form {
    int version;
    int compress;
  } forms[] = {{1, ARCHIVE_COMPRESS_NONE}, {3, ARCHIVE_COMPRESS_NONE}, {3, ARCHIVE_COMPRESS_ALWAYS}};
  for (const Form& form : forms) {
    Save("DATA.KRA", Pack(form.version, form.compress));
    for (int inMemory = 0; inMemory <= 1; inMemory++) {
      for (int async = 0; async <= 1; async++) {
        SCOPED_TRACE(testing::Message() << "version " << form.version << " compress "
                                        << form.compress << " in memory " << inMemory
                                        << " async " << async);
        int preloaded = -1;
        if (inMemory) {
          preloaded = OpenArchive(-1, FullUpper("DATA.KRA").c_str(), 1, async);
          ASSERT_GE(preloaded, 0);
        }
        FileHandle f = FileOpen("DATA\\IMG\\A.PNG", 0, 1, async);
        ASSERT_NE(f, FileHandle(0));
        EXPECT_EQ(f & 0xF0000000u, 0xF0000000u);
        if (inMemory) {
          EXPECT_EQ(GetArchiveReferences(preloaded), 2);  // the same archive
        }
        EXPECT_EQ(ReadAll(f, 1000), big);
        EXPECT_EQ(FileClose(f), 0);
        EXPECT_EQ(ReadFile("data/img/b.png", async), "bee");
        EXPECT_EQ(ReadFile("./DATA/Sub/../readme.txt", async), ten);
        EXPECT_EQ(ReadFile(Path("data/sub/deep/X.BIN").c_str(), async), "xyz");
        // Missing from the archive: not found, though a loose file of that name exists.
        EXPECT_EQ(FileOpen("DATA\\IMG\\LOOSE.PNG", 0, 1, async), FileHandle(0));
        EXPECT_EQ(FileOpen("DATA\\IMG", 0, 1, async), FileHandle(0));
        if (inMemory) ReleaseArchive(preloaded);
        EXPECT_EQ(GetOpenFileCount(), 0);
        EXPECT_EQ(GetOpenArchiveCount(), 1);
        EndArchives();
        EXPECT_EQ(GetOpenArchiveCount(), 0);
        EXPECT_TRUE(NoLeaks());
      }
    }
  }
}

TEST_F(ArchiveFiles, LooseFilesOpenWhereNoArchiveStands) {
  MakeLooseTree();
  EXPECT_EQ(ReadFile("DATA\\IMG\\A.PNG"), Loose(5));
  EXPECT_EQ(ReadFile("data/img/loose.png", 1), Loose(6));
  EXPECT_EQ(FileOpen("DATA\\IMG\\NONE.PNG", 0, 1, 0), FileHandle(0));
  EXPECT_EQ(GetOpenArchiveCount(), 0);

  // The shallowest archive wins: IMG.KRA below DATA.KRA is never looked at.
  Save("DATA/IMG.KRA", Pack(1, ARCHIVE_COMPRESS_NONE));
  EXPECT_EQ(ReadFile("DATA\\IMG\\README.TXT"), ten);
  Save("DATA.KRA", Pack(1, ARCHIVE_COMPRESS_NONE));
  EndArchives();
  InitArchiveTables();  // forget the last hit
  EXPECT_EQ(ReadFile("DATA\\IMG\\README.TXT"), "<none>");
  EXPECT_EQ(ReadFile("DATA\\README.TXT"), ten);
  EndArchives();
  EXPECT_TRUE(NoLeaks());
}

TEST_F(ArchiveFiles, HandleTableHolds512FilesAndArchivesStayOpenUntilTheEnd) {
  Save("DATA.KRA", Pack(3, ARCHIVE_COMPRESS_ALWAYS));
  std::vector<FileHandle> handles;
  for (int i = 0; i < 512; i++) {
    FileHandle f = FileOpen(i % 2 ? "DATA\\README.TXT" : "DATA\\IMG\\B.PNG", 0, 1, 0);
    ASSERT_EQ(f, FileHandle(i) | 0xF0000000u);
    handles.push_back(f);
  }
  EXPECT_EQ(GetArchiveReferences(0), 512);
  EXPECT_EQ(FileOpen("DATA\\README.TXT", 0, 1, 0), FileHandle(0));
  EXPECT_TRUE(Logged("同時に開けるファイルの数が限界を超えました\n"));
  // A closed slot is the next one used.
  EXPECT_EQ(FileClose(handles[5]), 0);
  EXPECT_EQ(FileClose(handles[5]), -1);
  handles[5] = FileOpen("DATA\\README.TXT", 0, 1, 0);
  EXPECT_EQ(handles[5], FileHandle(5) | 0xF0000000u);
  EXPECT_EQ(GetArchiveReferences(0), 512);

  // Handles that name no open file.
  for (FileHandle bad : {FileHandle(0), FileHandle(512) | 0xF0000000u, FileHandle(5),
                         FileHandle(0x7FFFFFFF)}) {
    char c;
    EXPECT_EQ(FileClose(bad), -1);
    EXPECT_EQ(FileTell(bad), -1);
    EXPECT_EQ(FileSeek(bad, 0, 0), -1);
    EXPECT_EQ(FileRead(&c, 1, 1, bad), -1);
    EXPECT_EQ(FileEof(bad), -1);
    EXPECT_EQ(FileIdleCheck(bad), -1);
  }

  for (FileHandle f : handles) EXPECT_EQ(FileClose(f), 0);
  EXPECT_EQ(GetArchiveReferences(0), 0);
  EXPECT_EQ(GetOpenArchiveCount(), 1);  // kept for the next file
  EXPECT_EQ(ReadFile("DATA\\IMG\\B.PNG"), "bee");
  EndArchives();
  EXPECT_EQ(GetOpenArchiveCount(), 0);
  EXPECT_TRUE(NoLeaks());
  // The last hit names a closed archive now: the next open finds it again.
  EXPECT_EQ(ReadFile("DATA\\IMG\\B.PNG"), "bee");
  EndArchives();
  EXPECT_TRUE(NoLeaks());
}

TEST_F(ArchiveFiles, ReadsSeeksAndEndOfFileInsideArchives) {
  for (int compress : {ARCHIVE_COMPRESS_NONE, ARCHIVE_COMPRESS_ALWAYS}) {
    SCOPED_TRACE(compress);
    Save("DATA.KRA", Pack(3, compress));
    FileHandle f = FileOpen("DATA\\IMG\\C.DAT", 0, 1, 0);
    ASSERT_NE(f, FileHandle(0));
    char buffer[16];
    std::memset(buffer, '-', sizeof buffer);
    EXPECT_EQ(FileRead(buffer, 4, 3, f), 2);  // all 10 bytes copied, 2 whole elements
    EXPECT_EQ(std::string(buffer, 11), ten + "-");
    EXPECT_EQ(FileTell(f), 10);
    EXPECT_EQ(FileEof(f), 0);
    EXPECT_EQ(FileRead(buffer, 1, 1, f), 0);
    EXPECT_EQ(FileEof(f), -1);
    EXPECT_EQ(FileSeek(f, 100, FILE_SEEK_SET), 0);  // kept inside the file
    EXPECT_EQ(FileTell(f), 10);
    EXPECT_EQ(FileEof(f), 0);
    EXPECT_EQ(FileSeek(f, -3, FILE_SEEK_END), 0);
    EXPECT_EQ(FileRead(buffer, 1, 12, f), 3);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(FileSeek(f, -100, FILE_SEEK_CUR), 0);
    EXPECT_EQ(FileTell(f), 0);
    EXPECT_EQ(FileSeek(f, 0, 7), -1);
    EXPECT_EQ(FileRead(buffer, 0, 5, f), 0);
    EXPECT_EQ(FileRead(buffer, 5, 0, f), 0);
    EXPECT_EQ(FileTell(f), 0);
    // Element counts whose product passes 32 bits read what is there.
    EXPECT_EQ(FileRead(buffer, 0x10000, 0x10001, f), 0);
    EXPECT_EQ(FileTell(f), 10);
    EXPECT_EQ(FileIdleCheck(f), 1);
    EXPECT_EQ(FileClose(f), 0);
    EndArchives();
  }
  EXPECT_TRUE(NoLeaks());
}

TEST_F(ArchiveFiles, AsynchronousReadsCompleteAtTheIdleCheck) {
  Save("DATA.KRA", Pack(3, ARCHIVE_COMPRESS_NONE));
  FileHandle f = FileOpen("DATA\\README.TXT", 0, 1, 1);
  ASSERT_NE(f, FileHandle(0));
  char buffer[10] = {};
  {
    ReadGate gate(0);
    EXPECT_EQ(FileRead(buffer, 1, 10, f), 10);  // at once
    EXPECT_EQ(FileIdleCheck(f), 0);
    gate.Release();
    while (FileIdleCheck(f) != 1) {
    }
  }
  EXPECT_EQ(std::string(buffer, 10), ten);  // unscrambled once idle
  EXPECT_EQ(FileClose(f), 0);

  // A compressed file opened asynchronously: its block loads in the background and is
  // decoded when the first read (or the idle check) finds it there.
  Save("Z.KRA", Pack(3, ARCHIVE_COMPRESS_ALWAYS));
  {
    ReadGate gate(2);  // the header and the block pass, the compressed file's block waits
    f = FileOpen("Z\\IMG\\A.PNG", 0, 1, 1);
    ASSERT_NE(f, FileHandle(0));
    EXPECT_EQ(FileIdleCheck(f), 0);
    gate.Release();
    EXPECT_EQ(ReadAll(f, 4096), big);
  }
  EXPECT_EQ(FileClose(f), 0);
  EndArchives();
  EXPECT_TRUE(NoLeaks());
}

TEST_F(ArchiveFiles, SearchesInsideArchiveDirectories) {
  Save("DATA.KRA", Pack(3, ARCHIVE_COMPRESS_ALWAYS));
  auto List = [](const char* pattern) {
    std::vector<std::string> names;
    FindRecord r;
    FindHandle h = ArchiveAwareFindFirst(pattern, &r);
    if (h == -1) return names;
    do names.push_back(r.name);
    while (ArchiveAwareFindNext(h, &r) == 0);
    EXPECT_EQ(ArchiveAwareFindClose(h), 0);
    return names;
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(List("DATA\\IMG\\*.PNG"), (Names{"A.png", "b.png"}));
  EXPECT_EQ(List("data/img/*"), (Names{".", "..", "A.png", "b.png", "c.dat"}));
  // No ".." at the root; records in the order they were packed.
  EXPECT_EQ(List("DATA\\*"), (Names{".", "Img", "readme.txt", "Empty", "Sub"}));
  EXPECT_EQ(List("DATA\\SUB\\DEEP\\?.BIN"), (Names{"x.bin"}));
  EXPECT_EQ(List("DATA\\IMG\\*.JPG"), Names{});
  EXPECT_EQ(List("DATA\\NONE\\*"), Names{});
  EXPECT_EQ(GetArchiveReferences(0), 0);  // every search gave its reference back

  // The records a search fills; a null record still advances.
  FindRecord r;
  FindHandle h = ArchiveAwareFindFirst("DATA\\IMG\\A.*", &r);
  ASSERT_NE(h, -1);
  EXPECT_EQ(r.directory, 0);
  EXPECT_EQ(r.size, big.size());
  DateTimeFields zero;
  FileTimeToDateFields(0, &zero);  // the packer's items carry no times
  EXPECT_EQ(r.written.year, zero.year);
  EXPECT_EQ(r.created.second, zero.second);
  EXPECT_EQ(ArchiveAwareFindNext(h, nullptr), -1);
  EXPECT_EQ(ArchiveAwareFindClose(h), 0);
  h = ArchiveAwareFindFirst("DATA\\E*", &r);
  ASSERT_NE(h, -1);
  EXPECT_STREQ(r.name, "Empty");
  EXPECT_EQ(r.directory, 1);
  EXPECT_EQ(ArchiveAwareFindClose(h), 0);
  h = ArchiveAwareFindFirst("DATA\\*", nullptr);
  ASSERT_NE(h, -1);
  EXPECT_EQ(ArchiveAwareFindNext(h, nullptr), 0);
  EXPECT_EQ(ArchiveAwareFindClose(h), 0);
  EXPECT_EQ(ArchiveAwareFindNext(-1, &r), -1);
  EXPECT_EQ(ArchiveAwareFindClose(-1), -1);

  // Without an archive the plain search runs.
  MakeFile("LOOSE.TXT", 3);
  EXPECT_EQ(List("*.TXT"), (Names{"LOOSE.TXT"}));
  EndArchives();
  EXPECT_TRUE(NoLeaks());
}

TEST_F(ArchiveFiles, PathsTooLongForTheEngineFailCleanly) {
  Save("DATA.KRA", Pack(1, ARCHIVE_COMPRESS_NONE));
  const std::string longPath = "DATA\\" + std::string(5000, 'a');
  const std::string longName = "DATA\\IMG\\" + std::string(1500, 'a');
  const std::string longPattern = "DATA\\IMG\\" + std::string(300, '*');
  EXPECT_EQ(FileOpen(longPath.c_str(), 0, 1, 0), FileHandle(0));
  EXPECT_EQ(FileOpen(longName.c_str(), 0, 1, 0), FileHandle(0));
  EXPECT_EQ(ArchiveAwareFindFirst(longPath.c_str(), nullptr), -1);
  EXPECT_EQ(ArchiveAwareFindFirst(longPattern.c_str(), nullptr), -1);
  char full[16];
  EXPECT_EQ(MakeFullUpperPath("a", full, sizeof full), -1);
  EndArchives();
  EXPECT_TRUE(NoLeaks());
}

TEST_F(ArchiveFiles, ExtensionAndKeyStringSettings) {
  Save("data.Pak", Pack(1, ARCHIVE_COMPRESS_NONE, "secret"));  // found whatever its case
  EXPECT_EQ(ReadFile("DATA\\README.TXT"), "<none>");
  ASSERT_EQ(SetArchiveExtension("PAK"), 0);
  EXPECT_EQ(ReadFile("DATA\\README.TXT"), "<none>");  // the key does not fit
  ASSERT_EQ(SetArchiveKeyString("secret"), 0);
  EXPECT_EQ(ReadFile("DATA\\README.TXT"), ten);
  EXPECT_EQ(SetArchiveExtension(std::string(100, 'x').c_str()), -1);
  EndArchives();
  InitArchiveTables();  // clears the settings
  EXPECT_EQ(ReadFile("DATA\\README.TXT"), "<none>");
  EXPECT_TRUE(NoLeaks());
}

TEST_F(ArchiveFiles, FullUpperPathsAndSplitNames) {
  std::string cwd = FullUpper(nullptr);
  std::string upperDir = dir;
  std::transform(upperDir.begin(), upperDir.end(), upperDir.begin(), ::toupper);
  ASSERT_EQ(cwd, upperDir);
  const std::string parent = cwd.substr(0, cwd.rfind('/'));
  struct Case {
    const char* path;
    std::string full;
  } cases[] = {
      {"data\\img\\a.png", cwd + "/DATA/IMG/A.PNG"},
      {"./a//b/", cwd + "/A/B"},
      {"..\\x", parent + "/X"},
      {"/abs//p/./q/../r", "/ABS/P/R"},
      {"\\\\server\\share", "/SERVER/SHARE"},
      {"/..", "/"},
      {"c:\\x\\y", "C:\\X\\Y"},
      {"c:x/../y", "C:\\Y"},
      {"\x95\x5Cx", cwd + "/\x95\x5CX"},  // the trail byte is no separator, nor upper-cased
      {"", cwd},
  };
  for (const Case& c : cases) EXPECT_EQ(FullUpper(c.path), c.full) << c.path;

  struct Split {
    const char* path;
    const char* name;
    const char* directory;
  } splits[] = {
      {"IMG\\A.PNG", "A.PNG", "IMG"},
      {"A.PNG", "A.PNG", ""},
      {"C:A", "A", "C"},
      {"a/b\\c", "c", "a/b"},
      {"\x95\x5C", "\x95\x5C", ""},
      {"D\\", "", "D"},
  };
  for (const Split& s : splits) {
    char name[32], directory[32];
    ASSERT_EQ(SplitPathName(s.path, name, sizeof name, directory, sizeof directory), 0);
    EXPECT_STREQ(name, s.name) << s.path;
    EXPECT_STREQ(directory, s.directory) << s.path;
  }
  char small[2];
  EXPECT_EQ(SplitPathName("abc", small, sizeof small, nullptr, 0), -1);
}

TEST_F(ArchiveFiles, DefaultTableIsTheArchiveAwareSet) {
  MakeFile("F.TXT", 3);
  FileHandle f = FileOpen("F.TXT", 0, 1, 0);
  EXPECT_EQ(f & 0xF0000000u, 0xF0000000u);
  EXPECT_EQ(FileClose(f), 0);
  char buffer[8] = "x";
  EXPECT_EQ(FileGetCurrentDir(buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");  // does not fit
  PlainFilesOnly = 1;
  SetFileFunctionTable(nullptr);
  f = FileOpen("F.TXT", 0, 1, 0);
  EXPECT_NE(f & 0xF0000000u, 0xF0000000u);
  EXPECT_EQ(FileClose(f), 0);
  PlainFilesOnly = 0;
  EXPECT_TRUE(NoLeaks());
}
