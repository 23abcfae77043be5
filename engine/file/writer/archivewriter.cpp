#include "engine/file/writer/archivewriter.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/base/strutil.h"
#include "platform/fs/fs.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// ---- encoder -----------------------------------------------------------------------

constexpr size_t kMinMatch = 4;
constexpr size_t kMaxMatch = 31 + (255 << 5) + 4;  // low 5 bits in the code, 8 in the extra byte
constexpr size_t kMaxDistance = size_t(1) << 24;   // three distance bytes hold distance - 1
constexpr int kMaxHashBits = 16;
constexpr int kChainDepth = 64;

uint32_t HashAt(const uint8_t* p, int bits) {
  uint32_t v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
               (uint32_t(p[3]) << 24);
  return (v * 2654435761u) >> (32 - bits);
}

unsigned DistanceBytes(size_t distance) {
  size_t field = distance - 1;
  return field < 0x100 ? 1 : field < 0x10000 ? 2 : 3;
}

// Bytes a match takes in the coded stream: escape, code, the optional length byte and
// the distance field.
size_t MatchCost(size_t length, size_t distance) {
  return 2 + ((length - kMinMatch) >> 5 ? 1 : 0) + DistanceBytes(distance);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
void Put64(uint8_t* p, uint64_t v) {
  Put32(p, uint32_t(v));
  Put32(p + 4, uint32_t(v >> 32));
}

// ---- packing -----------------------------------------------------------------------

constexpr size_t kMaxNameLength = 259;  // what a find record can hand back
constexpr int kMaxFolderDepth = 64;     // a link back up the tree must not recurse forever

struct PackNode {
  std::string name;  // as written
  std::string key;   // key name bytes, padding included
  uint16_t units = 0, sum = 0;
  int isDirectory = 0;
  uint64_t createTime = 0, writeTime = 0;
  const uint8_t* data = nullptr;
  size_t size = 0;
  std::vector<uint8_t> owned;  // contents read from disk
  std::vector<size_t> children;
  std::map<std::string, size_t> byKey;
};

struct PackTree {
  std::vector<PackNode> nodes;  // node 0 is the root
};

// How AddChild treats a directory that already has the name.
enum ReuseMode {
  REUSE_NONE,        // a clash (two folders on disk differing only in case)
  REUSE_DIRECTORY,   // a directory on the way to an item
  REUSE_AND_UPDATE,  // a directory item naming it again: it takes the item's times
};

// A child of parent named name, or the directory of that name the mode lets it reuse;
// -1 (logged) for a bad name or a clash.
long AddChild(PackTree* tree, size_t parent, const std::string& name, int isDirectory,
              uint64_t createTime, uint64_t writeTime, ReuseMode mode) {
  if (name.empty() || name == "." || name == ".." || name.size() > kMaxNameLength) {
    WriteLogFmt("アーカイブに入れる名前が不正です : %s", name.c_str());
    return -1;
  }
  uint8_t key[ARCHIVE_MAX_KEY_NAME];
  uint16_t units, sum;
  int keyLength = BuildArchiveKeyName(name.data(), name.size(), key, sizeof key, &units, &sum);
  if (keyLength < 0) return -1;
  std::string keyText((const char*)key, size_t(keyLength));
  auto found = tree->nodes[parent].byKey.find(keyText);
  if (found != tree->nodes[parent].byKey.end()) {
    PackNode& other = tree->nodes[found->second];
    if (other.isDirectory && isDirectory && mode != REUSE_NONE) {
      if (mode == REUSE_AND_UPDATE) {
        other.createTime = createTime;
        other.writeTime = writeTime;
      }
      return long(found->second);
    }
    WriteLogFmt("アーカイブ内で名前が重複しています : %s", name.c_str());
    return -1;
  }
  PackNode node;
  node.name = name;
  node.key = keyText;
  node.units = units;
  node.sum = sum;
  node.isDirectory = isDirectory;
  node.createTime = createTime;
  node.writeTime = writeTime;
  size_t index = tree->nodes.size();
  tree->nodes.push_back(std::move(node));
  tree->nodes[parent].children.push_back(index);
  tree->nodes[parent].byKey.emplace(keyText, index);
  return long(index);
}

// Splits at '\' and '/' outside double-byte characters.
std::vector<std::string> SplitComponents(const char* path) {
  std::vector<std::string> parts(1);
  for (const char* p = path; *p;) {
    int n = ShiftJisCharLength(p);
    if (n == 1 && (*p == '\\' || *p == '/')) {
      parts.emplace_back();
    } else {
      parts.back().append(p, size_t(n));
    }
    p += n;
  }
  return parts;
}

int AddItem(PackTree* tree, const ArchiveWriteItem& item) {
  if (!item.path || (item.size && !item.data)) {
    WriteLog("アーカイブに入れる項目が不正です\n");
    return -1;
  }
  std::vector<std::string> parts = SplitComponents(item.path);
  size_t at = 0;
  for (size_t i = 0; i < parts.size(); i++) {
    bool last = i + 1 == parts.size();
    int isDirectory = last ? item.isDirectory : 1;
    long child = AddChild(tree, at, parts[i], isDirectory, item.createTime, item.writeTime,
                          last ? REUSE_AND_UPDATE : REUSE_DIRECTORY);
    if (child < 0) return -1;
    at = size_t(child);
  }
  if (!item.isDirectory) {
    tree->nodes[at].data = (const uint8_t*)item.data;
    tree->nodes[at].size = item.size;
  }
  return 0;
}

int ReadWholeFile(const std::string& path, std::vector<uint8_t>* contents) {
  PlatFile* file = PlatFileOpen(path.c_str(), PLAT_FILE_READ, PLAT_OPEN_EXISTING);
  int64_t size = file ? PlatFileSize(file) : -1;
  if (size < 0 || uint64_t(size) > 0xFFFFFFFFull) {
    if (file) PlatFileClose(file);
    WriteLogFmt("ファイルを読み込めませんでした : %s", path.c_str());
    return -1;
  }
  contents->resize(size_t(size));
  int64_t got = size ? PlatFileRead(file, contents->data(), size) : 0;
  PlatFileClose(file);
  if (got != size) {
    WriteLogFmt("ファイルを読み込めませんでした : %s", path.c_str());
    return -1;
  }
  return 0;
}

int AddFolder(PackTree* tree, size_t parent, const std::string& folder, int depth) {
  if (depth > kMaxFolderDepth) {
    WriteLogFmt("フォルダの階層が深すぎます : %s", folder.c_str());
    return -1;
  }
  PlatDir* dir = PlatDirOpen(folder.c_str());
  if (!dir) {
    WriteLogFmt("フォルダを開けませんでした : %s", folder.c_str());
    return -1;
  }
  std::vector<PlatFileInfo> entries;
  PlatFileInfo info;
  while (PlatDirNext(dir, &info)) entries.push_back(info);
  PlatDirClose(dir);
  std::sort(entries.begin(), entries.end(),
            [](const PlatFileInfo& a, const PlatFileInfo& b) { return a.name < b.name; });
  for (const PlatFileInfo& e : entries) {
    long child = AddChild(tree, parent, e.name, e.isDirectory,
                          FileTimeFromUnixSeconds(e.createTime),
                          FileTimeFromUnixSeconds(e.writeTime), REUSE_NONE);
    if (child < 0) return -1;
    std::string path = folder + "/" + e.name;
    int result = e.isDirectory ? AddFolder(tree, size_t(child), path, depth + 1)
                               : ReadWholeFile(path, &tree->nodes[size_t(child)].owned);
    if (result != 0) return -1;
    PackNode& node = tree->nodes[size_t(child)];
    if (!node.isDirectory) {
      node.data = node.owned.data();
      node.size = node.owned.size();
    }
  }
  return 0;
}

int CheckOptions(const ArchiveWriteOptions* options) {
  if (!options || options->version < 0 || options->version > int(ARCHIVE_MAX_VERSION) ||
      options->compress < ARCHIVE_COMPRESS_NONE || options->compress > ARCHIVE_COMPRESS_ALWAYS ||
      (options->compress != ARCHIVE_COMPRESS_NONE && options->version < 2)) {
    WriteLog("アーカイブの設定が不正です\n");
    return -1;
  }
  return 0;
}

// Lays the tree out as header, information block (names, file records, directory
// records) and data area, then scrambles the whole.
int WriteTree(PackTree* tree, const ArchiveWriteOptions* options, ArchiveBytes* out) {
  const uint32_t version = uint32_t(options->version);
  const uint64_t recordSize = ArchiveFileRecordSize(version);
  std::vector<PackNode>& nodes = tree->nodes;

  // Directories breadth first, root first; each directory's records lie together.
  std::vector<size_t> dirs{0};
  for (size_t i = 0; i < dirs.size(); i++) {
    for (size_t c : nodes[dirs[i]].children)
      if (nodes[c].isDirectory) dirs.push_back(c);
  }
  std::vector<uint64_t> dirOffset(nodes.size(), 0);
  std::vector<uint32_t> parentOffset(nodes.size(), ARCHIVE_NONE);
  for (size_t i = 0; i < dirs.size(); i++) {
    dirOffset[dirs[i]] = uint64_t(i) * ARCHIVE_DIR_RECORD_SIZE;
    for (size_t c : nodes[dirs[i]].children) parentOffset[c] = uint32_t(dirOffset[dirs[i]]);
  }

  std::vector<size_t> order;  // every node but the root, in file-table order
  for (size_t d : dirs) order.insert(order.end(), nodes[d].children.begin(), nodes[d].children.end());

  std::vector<uint64_t> nameOffset(nodes.size(), 0);
  uint64_t namesSize = 0;
  for (size_t n : order) {
    nameOffset[n] = namesSize;
    namesSize += (4 + nodes[n].key.size() + nodes[n].name.size() + 1 + 3) & ~uint64_t(3);
  }
  const uint64_t fileTable = namesSize;
  const uint64_t dirTable = fileTable + order.size() * recordSize;
  const uint64_t infoSize = dirTable + dirs.size() * ARCHIVE_DIR_RECORD_SIZE;

  // Stored forms of the files and their places in the data area.
  std::vector<std::vector<uint8_t>> blocks(nodes.size());
  std::vector<uint64_t> dataOffset(nodes.size(), 0);
  uint64_t dataSize = 0;
  for (size_t n : order) {
    PackNode& node = nodes[n];
    if (node.isDirectory) continue;
    if (node.size > 0xFFFFFFFFull) {
      WriteLog("アーカイブの大きさが上限を超えました\n");
      return -1;
    }
    if (options->compress != ARCHIVE_COMPRESS_NONE) {
      std::vector<uint8_t> block(ArchiveEncodeBound(node.size));
      int64_t length = EncodeArchiveData(node.data, node.size, block.data(), block.size());
      if (length < 0) return -1;
      block.resize(size_t(length));
      if (options->compress == ARCHIVE_COMPRESS_ALWAYS || block.size() < node.size)
        blocks[n] = std::move(block);
    }
    dataOffset[n] = dataSize;
    dataSize += blocks[n].empty() ? node.size : blocks[n].size();
  }
  const uint64_t infoStart = ARCHIVE_HEADER_SIZE;
  const uint64_t dataStart = infoStart + infoSize;
  const uint64_t total = dataStart + dataSize;
  if (total > 0xFFFFFFFFull) {
    WriteLog("アーカイブの大きさが上限を超えました\n");
    return -1;
  }

  uint8_t* bytes = (uint8_t*)TrackedCalloc(size_t(total), "", 0);
  if (!bytes) {
    WriteLog("アーカイブを作るメモリの確保に失敗しました\n");
    return -1;
  }
  ArchiveHeader header = {{'K', 'R'}, uint16_t(version), uint32_t(infoSize), uint32_t(dataStart),
                          uint32_t(infoStart), uint32_t(fileTable), uint32_t(dirTable)};
  WriteArchiveHeader(&header, bytes);
  uint8_t* info = bytes + infoStart;
  for (size_t n : order) {
    const PackNode& node = nodes[n];
    uint8_t* p = info + nameOffset[n];
    p[0] = uint8_t(node.units);
    p[1] = uint8_t(node.units >> 8);
    p[2] = uint8_t(node.sum);
    p[3] = uint8_t(node.sum >> 8);
    std::memcpy(p + 4, node.key.data(), node.key.size());
    std::memcpy(p + 4 + node.key.size(), node.name.c_str(), node.name.size() + 1);
  }
  uint64_t record = 0;
  for (size_t d : dirs) {
    const PackNode& dir = nodes[d];
    uint8_t* dp = info + dirTable + dirOffset[d];
    Put32(dp, uint32_t(dirOffset[d]));
    Put32(dp + 4, parentOffset[d]);
    Put32(dp + 8, uint32_t(dir.children.size()));
    Put32(dp + 12, uint32_t(record * recordSize));
    for (size_t c : dir.children) {
      const PackNode& node = nodes[c];
      uint8_t* fp = info + fileTable + record * recordSize;
      Put32(fp, uint32_t(nameOffset[c]));
      Put32(fp + 4, node.isDirectory ? ARCHIVE_ATTR_DIRECTORY : ARCHIVE_ATTR_ARCHIVE);
      Put64(fp + 8, node.createTime);
      Put64(fp + 16, node.writeTime);
      Put64(fp + 24, node.writeTime);
      Put32(fp + 32, uint32_t(node.isDirectory ? dirOffset[c] : dataOffset[c]));
      Put32(fp + 36, uint32_t(node.size));
      if (version >= 2) Put32(fp + 40, blocks[c].empty() ? ARCHIVE_NONE : uint32_t(blocks[c].size()));
      const bool plain = blocks[c].empty();
      const uint8_t* stored = plain ? node.data : blocks[c].data();
      size_t storedSize = plain ? node.size : blocks[c].size();
      if (!node.isDirectory && storedSize)
        std::memcpy(bytes + dataStart + dataOffset[c], stored, storedSize);
      record++;
    }
  }

  uint8_t key[ARCHIVE_KEY_SIZE];
  if (options->fallbackKey) {
    BuildArchiveFallbackKey(key);
  } else {
    BuildArchiveKey(options->keyString, key);
  }
  ApplyArchiveKey(size_t(total), bytes, 0, key);
  out->data = bytes;
  out->size = size_t(total);
  return 0;
}

}  // namespace

size_t ArchiveEncodeBound(size_t size) {
  // The escape byte is the least frequent, so at most size / 256 literals need a pair;
  // a match is only taken when it is shorter than the bytes it stands for.
  return ARCHIVE_BLOCK_HEAD_SIZE + size + size / 256;
}

int64_t EncodeArchiveData(const void* source, size_t size, void* destination, size_t capacity) {
  if (size > 0xFFFFFFFFull || capacity < ARCHIVE_BLOCK_HEAD_SIZE) return -1;
  const uint8_t* in = (const uint8_t*)source;
  uint8_t* out = (uint8_t*)destination;

  size_t counts[256] = {};
  for (size_t i = 0; i < size; i++) counts[in[i]]++;
  uint8_t escape = 0;
  for (int b = 1; b < 256; b++)
    if (counts[b] < counts[escape]) escape = uint8_t(b);

  size_t o = ARCHIVE_BLOCK_HEAD_SIZE;
  bool full = false;
  auto put = [&](uint8_t b) {
    if (o < capacity) {
      out[o++] = b;
    } else {
      full = true;
    }
  };

  // A hash table about the size of the input, so that small files start quickly.
  int hashBits = 8;
  while (hashBits < kMaxHashBits && (size_t(1) << hashBits) < size) hashBits++;
  std::vector<int64_t> head(size_t(1) << hashBits, -1);
  std::vector<int64_t> prev(size >= kMinMatch ? size : 0, -1);
  auto insert = [&](size_t pos) {
    if (pos + kMinMatch > size) return;
    uint32_t h = HashAt(in + pos, hashBits);
    prev[pos] = head[h];
    head[h] = int64_t(pos);
  };

  size_t pos = 0;
  while (pos < size && !full) {
    size_t bestLength = 0, bestDistance = 0;
    if (pos + kMinMatch <= size) {
      size_t maxLength = std::min(kMaxMatch, size - pos);
      int64_t candidate = head[HashAt(in + pos, hashBits)];
      for (int depth = 0; candidate >= 0 && depth < kChainDepth; depth++) {
        size_t distance = pos - size_t(candidate);
        if (distance > kMaxDistance) break;
        const uint8_t* a = in + candidate;
        const uint8_t* b = in + pos;
        if (a[bestLength] == b[bestLength]) {
          size_t length = 0;
          while (length < maxLength && a[length] == b[length]) length++;
          if (length > bestLength) {
            bestLength = length;
            bestDistance = distance;
            if (length == maxLength) break;
          }
        }
        candidate = prev[size_t(candidate)];
      }
    }
    if (bestLength >= kMinMatch && MatchCost(bestLength, bestDistance) < bestLength) {
      size_t l = bestLength - kMinMatch;
      size_t field = bestDistance - 1;
      unsigned fieldBytes = DistanceBytes(bestDistance);
      unsigned code = unsigned((l & 31) << 3) | ((l >> 5) ? 4u : 0u) | (fieldBytes - 1);
      put(escape);
      put(uint8_t(code < escape ? code : code + 1));  // the escape value itself is skipped
      if (l >> 5) put(uint8_t(l >> 5));
      for (unsigned i = 0; i < fieldBytes; i++) put(uint8_t(field >> (8 * i)));
      for (size_t i = 0; i < bestLength; i++) insert(pos + i);
      pos += bestLength;
    } else {
      if (in[pos] == escape) put(escape);
      put(in[pos]);
      insert(pos);
      pos++;
    }
  }
  if (full) return -1;
  Put32(out, uint32_t(size));
  Put32(out + 4, uint32_t(o));
  out[8] = escape;
  return int64_t(o);
}

int PackArchive(const ArchiveWriteItem* items, size_t count, const ArchiveWriteOptions* options,
                ArchiveBytes* out) {
  if (!out || CheckOptions(options) != 0 || (count && !items)) return -1;
  PackTree tree;
  tree.nodes.emplace_back();
  tree.nodes[0].isDirectory = 1;
  for (size_t i = 0; i < count; i++)
    if (AddItem(&tree, items[i]) != 0) return -1;
  return WriteTree(&tree, options, out);
}

int PackArchiveFolder(const char* folder, const ArchiveWriteOptions* options, ArchiveBytes* out) {
  if (!out || !folder || CheckOptions(options) != 0) return -1;
  PlatFileInfo info;
  if (PlatFileStat(folder, &info) != 0 || !info.isDirectory) {
    WriteLogFmt("フォルダを開けませんでした : %s", folder);
    return -1;
  }
  PackTree tree;
  tree.nodes.emplace_back();
  tree.nodes[0].isDirectory = 1;
  if (AddFolder(&tree, 0, folder, 0) != 0) return -1;
  return WriteTree(&tree, options, out);
}

int SaveArchiveBytes(const char* path, const ArchiveBytes* bytes) {
  PlatFile* file = path ? PlatFileOpen(path, PLAT_FILE_WRITE, PLAT_CREATE_ALWAYS) : nullptr;
  int64_t size = int64_t(bytes->size);
  int64_t written = file ? PlatFileWrite(file, bytes->data, size) : -1;
  if (file) PlatFileClose(file);
  if (written != size) {
    WriteLogFmt("アーカイブファイルを書き出せませんでした : %s", path ? path : "");
    return -1;
  }
  return 0;
}

void FreeArchiveBytes(ArchiveBytes* bytes) {
  if (!bytes) return;
  TrackedFree(bytes->data);
  bytes->data = nullptr;
  bytes->size = 0;
}

uint64_t FileTimeFromUnixSeconds(int64_t seconds) {
  const int64_t kEpochDifference = 11644473600;  // seconds from 1601 to 1970
  if (seconds < -kEpochDifference) return 0;
  return uint64_t(seconds + kEpochDifference) * 10000000u;
}
