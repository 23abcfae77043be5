// krapack: packs a folder tree into an archive file that the engine reads in place of a
// directory of the archive's name (DATA.KRA beside the program stands for DATA).
//
//   krapack [-v 0|1|2|3] [-c] <folder> <out.KRA>
//
// -v picks the format version (3 by default); -c stores every file compressed, which
// needs version 2 or 3.
#include "engine/file/writer/archivewriter.h"
#include "platform/text/text.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Usage() {
  std::fprintf(stderr, "usage: krapack [-v 0|1|2|3] [-c] <folder> <out.KRA>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  ArchiveWriteOptions options = {3, ARCHIVE_COMPRESS_NONE, nullptr, 0};
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; i++) {
    if (!std::strcmp(argv[i], "-c")) {
      options.compress = ARCHIVE_COMPRESS_ALWAYS;
    } else if (!std::strcmp(argv[i], "-v") && i + 1 < argc && argv[i + 1][0] >= '0' &&
               argv[i + 1][0] <= '3' && argv[i + 1][1] == '\0') {
      options.version = argv[++i][0] - '0';
    } else {
      return Usage();
    }
  }
  if (argc - i != 2) return Usage();
  if (options.compress != ARCHIVE_COMPRESS_NONE && options.version < 2) {
    std::fprintf(stderr, "krapack: compression needs version 2 or 3\n");
    return 2;
  }
  // Command-line text is UTF-8; the engine's paths are Shift-JIS.
  std::string folder = PlatUtf8ToSjis(argv[i]);
  std::string target = PlatUtf8ToSjis(argv[i + 1]);

  ArchiveBytes bytes = {nullptr, 0};
  if (PackArchiveFolder(folder.c_str(), &options, &bytes) != 0) {
    std::fprintf(stderr, "krapack: cannot pack %s\n", argv[i]);
    return 1;
  }
  int result = SaveArchiveBytes(target.c_str(), &bytes);
  FreeArchiveBytes(&bytes);
  if (result != 0) {
    std::fprintf(stderr, "krapack: cannot write %s\n", argv[i + 1]);
    return 1;
  }
  return 0;
}
