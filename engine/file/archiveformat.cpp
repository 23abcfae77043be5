#include "engine/file/archiveformat.h"

#include "engine/base/strutil.h"

#include <cstring>

namespace {

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t Get64(const uint8_t* p) { return uint64_t(Get32(p)) | (uint64_t(Get32(p + 4)) << 32); }
void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}

uint8_t KeyStep(uint8_t b, const ArchiveKeyStep& step) {
  if (step.invert) b = uint8_t(~b);
  unsigned r = step.rotate & 7u;
  if (r) b = uint8_t((b << r) | (b >> (8 - r)));
  return uint8_t(b ^ step.mask);
}

// True when [offset, offset + length) lies inside a block of size bytes.
bool Inside(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

// A record of recordSize bytes at offset from a table's start in the information block,
// or null when it does not lie inside the block.
const uint8_t* RecordAt(const ArchiveHeader* header, const uint8_t* info, uint32_t table,
                        uint64_t offset, uint32_t recordSize) {
  if (offset > header->infoSize) return nullptr;  // keeps the sum below from wrapping
  uint64_t at = uint64_t(table) + offset;
  return Inside(at, recordSize, header->infoSize) ? info + at : nullptr;
}

}  // namespace

// ---- scrambling --------------------------------------------------------------------

void ApplyArchiveKey(size_t count, void* buffer, uint64_t offset,
                     const uint8_t key[ARCHIVE_KEY_SIZE]) {
  uint8_t* p = (uint8_t*)buffer;
  unsigned k = unsigned(offset % ARCHIVE_KEY_SIZE);
  // Up to the next key index 0, then whole 12-byte groups as three words, then the tail.
  while (count > 0 && k != 0) {
    *p++ ^= key[k];
    k = (k + 1) % ARCHIVE_KEY_SIZE;
    count--;
  }
  uint32_t words[3];
  std::memcpy(words, key, sizeof words);
  for (; count >= ARCHIVE_KEY_SIZE; count -= ARCHIVE_KEY_SIZE, p += ARCHIVE_KEY_SIZE) {
    for (int i = 0; i < 3; i++) {
      uint32_t w;
      std::memcpy(&w, p + 4 * i, 4);
      w ^= words[i];
      std::memcpy(p + 4 * i, &w, 4);
    }
  }
  for (size_t i = 0; i < count; i++) p[i] ^= key[i];
}

void BuildArchiveKey(const char* keyString, uint8_t key[ARCHIVE_KEY_SIZE]) {
  size_t length = keyString ? std::strlen(keyString) : 0;
  for (int i = 0; i < ARCHIVE_KEY_SIZE; i++) {
    uint8_t source = length ? uint8_t(keyString[size_t(i) % length]) : kArchiveKeyFiller;
    key[i] = KeyStep(source, kArchiveKeySteps[i]);
  }
}

void BuildArchiveFallbackKey(uint8_t key[ARCHIVE_KEY_SIZE]) {
  for (int i = 0; i < ARCHIVE_KEY_SIZE; i++)
    key[i] = KeyStep(kArchiveFallbackSeed[i], kArchiveKeySteps[i]);
}

// ---- records -----------------------------------------------------------------------

void ReadArchiveHeader(const uint8_t bytes[ARCHIVE_HEADER_SIZE], ArchiveHeader* header) {
  header->magic[0] = bytes[0];
  header->magic[1] = bytes[1];
  header->version = Get16(bytes + 2);
  header->infoSize = Get32(bytes + 4);
  header->dataOffset = Get32(bytes + 8);
  header->infoOffset = Get32(bytes + 12);
  header->fileTableOffset = Get32(bytes + 16);
  header->dirTableOffset = Get32(bytes + 20);
}

void WriteArchiveHeader(const ArchiveHeader* header, uint8_t bytes[ARCHIVE_HEADER_SIZE]) {
  bytes[0] = header->magic[0];
  bytes[1] = header->magic[1];
  Put16(bytes + 2, header->version);
  Put32(bytes + 4, header->infoSize);
  Put32(bytes + 8, header->dataOffset);
  Put32(bytes + 12, header->infoOffset);
  Put32(bytes + 16, header->fileTableOffset);
  Put32(bytes + 20, header->dirTableOffset);
}

int ArchiveHeaderHasMagic(const ArchiveHeader* header) {
  return header->magic[0] == 'K' && header->magic[1] == 'R';
}

int CheckArchiveHeader(const ArchiveHeader* header, uint64_t archiveSize) {
  if (!ArchiveHeaderHasMagic(header) || header->version > ARCHIVE_MAX_VERSION) return -1;
  if (!Inside(header->infoOffset, header->infoSize, archiveSize)) return -1;
  if (header->fileTableOffset > header->infoSize) return -1;
  if (!Inside(header->dirTableOffset, ARCHIVE_DIR_RECORD_SIZE, header->infoSize)) return -1;
  if (header->dataOffset > archiveSize) return -1;
  return 0;
}

uint32_t ArchiveFileRecordSize(uint32_t version) {
  return version < 2 ? ARCHIVE_FILE_RECORD_SIZE_V0 : ARCHIVE_FILE_RECORD_SIZE_V2;
}

int ReadArchiveNameRecord(const ArchiveHeader* header, const uint8_t* info, uint64_t offset,
                          ArchiveNameRecord* record) {
  uint64_t size = header->infoSize;
  if (!Inside(offset, 4, size)) return -1;
  const uint8_t* p = info + offset;
  uint16_t units = Get16(p);
  uint64_t nameStart = offset + 4 + uint64_t(units) * 4;
  if (nameStart >= size) return -1;  // the written name needs at least its terminator
  if (!std::memchr(info + nameStart, 0, size_t(size - nameStart))) return -1;
  record->units = units;
  record->sum = Get16(p + 2);
  record->key = p + 4;
  record->name = (const char*)(info + nameStart);
  return 0;
}

int ReadArchiveFileRecord(const ArchiveHeader* header, const uint8_t* info, uint64_t offset,
                          ArchiveFileRecord* record) {
  const uint8_t* p = RecordAt(header, info, header->fileTableOffset, offset,
                              ArchiveFileRecordSize(header->version));
  if (!p) return -1;
  record->nameOffset = Get32(p);
  record->attributes = Get32(p + 4);
  record->createTime = Get64(p + 8);
  record->accessTime = Get64(p + 16);
  record->writeTime = Get64(p + 24);
  record->dataOffset = Get32(p + 32);
  record->size = Get32(p + 36);
  record->compressedSize = header->version >= 2 ? Get32(p + 40) : ARCHIVE_NONE;
  return 0;
}

int ReadArchiveDirRecord(const ArchiveHeader* header, const uint8_t* info, uint64_t offset,
                         ArchiveDirRecord* record) {
  const uint8_t* p =
      RecordAt(header, info, header->dirTableOffset, offset, ARCHIVE_DIR_RECORD_SIZE);
  if (!p) return -1;
  record->ownOffset = Get32(p);
  record->parentOffset = Get32(p + 4);
  record->fileCount = Get32(p + 8);
  record->firstFileOffset = Get32(p + 12);
  return 0;
}

int ReadArchiveDirEntry(const ArchiveHeader* header, const uint8_t* info,
                        const ArchiveDirRecord* dir, uint32_t index, ArchiveFileRecord* record) {
  if (index >= dir->fileCount) return -1;
  uint64_t offset =
      uint64_t(dir->firstFileOffset) + uint64_t(index) * ArchiveFileRecordSize(header->version);
  return ReadArchiveFileRecord(header, info, offset, record);
}

int ArchiveFileIsCompressed(const ArchiveHeader* header, const ArchiveFileRecord* record) {
  return header->version >= 2 && record->compressedSize != ARCHIVE_NONE;
}

uint64_t ArchiveFileDataStart(const ArchiveHeader* header, const ArchiveFileRecord* record) {
  return uint64_t(header->dataOffset) + record->dataOffset;
}

uint32_t ArchiveFileStoredSize(const ArchiveHeader* header, const ArchiveFileRecord* record) {
  return ArchiveFileIsCompressed(header, record) ? record->compressedSize : record->size;
}

int CheckArchiveFileData(const ArchiveHeader* header, const ArchiveFileRecord* record,
                         uint64_t archiveSize) {
  if (ArchiveFileIsCompressed(header, record)) {
    if (record->compressedSize < ARCHIVE_BLOCK_HEAD_SIZE) return -1;
    // A size the block cannot decode to is refused before anything is allocated for it.
    const uint64_t coded = record->compressedSize - ARCHIVE_BLOCK_HEAD_SIZE;
    if (record->size > coded * ARCHIVE_MAX_EXPANSION) return -1;
  }
  uint64_t start = ArchiveFileDataStart(header, record);
  return Inside(start, ArchiveFileStoredSize(header, record), archiveSize) ? 0 : -1;
}

// ---- names -------------------------------------------------------------------------

int BuildArchiveKeyName(const char* name, size_t length, uint8_t* key, size_t capacity,
                        uint16_t* units, uint16_t* sum) {
  size_t unitCount = length / 4 + 1;
  if (unitCount > 0xFFFF || unitCount * 4 > capacity) return -1;
  uint16_t total = 0;
  size_t i = 0;
  while (i < length) {
    uint8_t c = uint8_t(name[i]);
    if (IsShiftJisLeadByte(c) && i + 1 < length) {
      key[i] = c;
      key[i + 1] = uint8_t(name[i + 1]);
      total = uint16_t(total + c + key[i + 1]);
      i += 2;
      continue;
    }
    if (c >= 'a' && c <= 'z') c = uint8_t(c - 'a' + 'A');
    key[i++] = c;
    total = uint16_t(total + c);
  }
  std::memset(key + length, 0, unitCount * 4 - length);
  *units = uint16_t(unitCount);
  *sum = total;
  return int(unitCount * 4);
}

int ArchiveKeyNameEquals(const ArchiveNameRecord* record, const uint8_t* key, uint16_t units,
                         uint16_t sum) {
  if (record->units != units || record->sum != sum) return 0;
  return std::memcmp(record->key, key, size_t(units) * 4) == 0;
}

int FindArchiveDirEntry(const ArchiveHeader* header, const uint8_t* info,
                        const ArchiveDirRecord* dir, const uint8_t* key, uint16_t units,
                        uint16_t sum, int wantDirectory, ArchiveFileRecord* record,
                        uint32_t* index) {
  for (uint32_t i = 0; i < dir->fileCount; i++) {
    ArchiveFileRecord entry;
    if (ReadArchiveDirEntry(header, info, dir, i, &entry) != 0) return -1;
    int isDirectory = (entry.attributes & ARCHIVE_ATTR_DIRECTORY) != 0;
    if (isDirectory != (wantDirectory != 0)) continue;
    ArchiveNameRecord name;
    if (ReadArchiveNameRecord(header, info, entry.nameOffset, &name) != 0) return -1;
    if (!ArchiveKeyNameEquals(&name, key, units, sum)) continue;
    if (record) *record = entry;
    if (index) *index = i;
    return 0;
  }
  return -1;
}

// ---- compressed blocks -------------------------------------------------------------

int64_t DecodeArchiveData(const void* block, size_t blockSize, void* destination, size_t size) {
  const uint8_t* in = (const uint8_t*)block;
  if (blockSize < ARCHIVE_BLOCK_HEAD_SIZE) return -1;
  uint32_t decodedSize = Get32(in);
  uint32_t encodedSize = Get32(in + 4);
  if (encodedSize < ARCHIVE_BLOCK_HEAD_SIZE || encodedSize > blockSize) return -1;
  if (!destination) return decodedSize;
  if (decodedSize != size) return -1;

  const uint8_t escape = in[8];
  const uint8_t* src = in + ARCHIVE_BLOCK_HEAD_SIZE;
  const uint8_t* const srcEnd = in + encodedSize;
  uint8_t* const out = (uint8_t*)destination;
  size_t written = 0;
  while (src < srcEnd) {
    uint8_t c = *src++;
    if (c != escape) {
      if (written == size) return -1;
      out[written++] = c;
      continue;
    }
    if (src == srcEnd) return -1;
    c = *src++;
    if (c == escape) {
      if (written == size) return -1;
      out[written++] = escape;
      continue;
    }
    if (c > escape) c--;
    size_t length = size_t(c >> 3) + 4;
    if (c & 4) {
      if (src == srcEnd) return -1;
      length += size_t(*src++) << 5;
    }
    unsigned fieldSize = (c & 3u) + 1;
    if (fieldSize == 4 || size_t(srcEnd - src) < fieldSize) return -1;
    size_t distance = 0;
    for (unsigned i = 0; i < fieldSize; i++) distance |= size_t(src[i]) << (8 * i);
    src += fieldSize;
    distance += 1;
    if (distance > written || length > size - written) return -1;
    // A copy longer than its distance repeats the pattern: copy in chunks that double,
    // each one reading only bytes already written.
    const uint8_t* from = out + written - distance;
    uint8_t* to = out + written;
    size_t done = 0;
    while (done < length) {
      size_t n = distance + done;
      if (n > length - done) n = length - done;
      std::memcpy(to + done, from, n);
      done += n;
    }
    written += length;
  }
  return written == size ? int64_t(written) : -1;
}
