// The archive file format: a file with the extension KRA standing in for a directory.
//
// Layout (little-endian, every byte scrambled by its archive offset, see ApplyArchiveKey):
//   header (24 bytes at offset 0), an information block (name table at its start, then
//   the file and directory tables at the offsets the header gives) and a data area
//   holding the files, stored as they are or, from version 2, as compressed blocks.
//
// Records are parsed field by field from byte buffers. Every reader checks the record
// against the size of what was read (the information block is header.infoSize bytes),
// so a malformed archive makes a lookup fail instead of reading out of bounds.
#pragma once

#include "engine/file/archivekey.h"

#include <cstddef>
#include <cstdint>

enum : uint32_t {
  ARCHIVE_HEADER_SIZE = 24,
  ARCHIVE_DIR_RECORD_SIZE = 16,
  ARCHIVE_FILE_RECORD_SIZE_V0 = 40,  // versions 0 and 1
  ARCHIVE_FILE_RECORD_SIZE_V2 = 44,  // versions 2 and 3: with the compressed size
  ARCHIVE_BLOCK_HEAD_SIZE = 9,       // decoded size, encoded size, escape byte
  ARCHIVE_MAX_VERSION = 3,
  ARCHIVE_NONE = 0xFFFFFFFFu,        // parent of the root; compressed size of a stored file
  ARCHIVE_ATTR_DIRECTORY = 0x10,
  ARCHIVE_ATTR_ARCHIVE = 0x20,
  ARCHIVE_MAX_KEY_NAME = 1024,       // room for a key name, padding included
  // Bytes one coded byte can decode to at most: the longest code (escape, code, length
  // byte, one distance byte) copies 31 + (255 << 5) + 4 = 8195 bytes from 4 coded bytes.
  ARCHIVE_MAX_EXPANSION = 2049,
};

struct ArchiveHeader {
  uint8_t magic[2];  // "KR"
  uint16_t version;
  uint32_t infoSize;         // bytes of the information block
  uint32_t dataOffset;       // archive offset of the data area
  uint32_t infoOffset;       // archive offset of the information block
  uint32_t fileTableOffset;  // from the start of the information block
  uint32_t dirTableOffset;   // from the start of the information block
};

// A name record of the name table, pointing into the information block.
struct ArchiveNameRecord {
  uint16_t units;      // key name length in 4-byte units
  uint16_t sum;        // byte sum of the key name, 16 bits wrapping
  const uint8_t* key;  // units * 4 bytes: upper-cased name, zero-padded
  const char* name;    // the name as written, zero-terminated inside the block
};

struct ArchiveFileRecord {
  uint32_t nameOffset;      // of its name record in the name table
  uint32_t attributes;      // ARCHIVE_ATTR_DIRECTORY for a directory
  uint64_t createTime;      // FILETIME
  uint64_t accessTime;      // FILETIME; written, never read
  uint64_t writeTime;       // FILETIME
  uint32_t dataOffset;      // file: from the data area; directory: its directory record
  uint32_t size;            // file: bytes (decoded size when compressed)
  uint32_t compressedSize;  // bytes of the stored block, ARCHIVE_NONE when stored plain
                            // (always ARCHIVE_NONE before version 2)
};

struct ArchiveDirRecord {
  uint32_t ownOffset;        // its own offset in the directory table; written, never read
  uint32_t parentOffset;     // ARCHIVE_NONE for the root
  uint32_t fileCount;        // records of this directory (files and subdirectories)
  uint32_t firstFileOffset;  // of its first record, from the start of the file table
};

// ---- scrambling --------------------------------------------------------------------

// Scrambles or unscrambles (the same operation) count bytes in place: the byte at archive
// offset p is combined by exclusive-or with key[p % 12]; offset is the archive offset of
// buffer[0].
void ApplyArchiveKey(size_t count, void* buffer, uint64_t offset,
                     const uint8_t key[ARCHIVE_KEY_SIZE]);
// The key for a key string (its bytes repeated to 12, the first 12 of a longer one), or
// for no key string (null or empty: the filler), each byte then changed by its position's
// step.
void BuildArchiveKey(const char* keyString, uint8_t key[ARCHIVE_KEY_SIZE]);
// The second key an open tries when the first does not show the magic.
void BuildArchiveFallbackKey(uint8_t key[ARCHIVE_KEY_SIZE]);

// ---- records -----------------------------------------------------------------------

void ReadArchiveHeader(const uint8_t bytes[ARCHIVE_HEADER_SIZE], ArchiveHeader* header);
void WriteArchiveHeader(const ArchiveHeader* header, uint8_t bytes[ARCHIVE_HEADER_SIZE]);
// 1 when the header begins with "KR".
int ArchiveHeaderHasMagic(const ArchiveHeader* header);
// 0 when the header can be used with an archive of archiveSize bytes: magic, version 0
// to 3, the information block inside the archive, the table offsets inside the block
// with room for the root's directory record, and the data area inside the archive.
int CheckArchiveHeader(const ArchiveHeader* header, uint64_t archiveSize);

// 40 bytes before version 2, 44 from version 2.
uint32_t ArchiveFileRecordSize(uint32_t version);

// Each reader takes the checked header and the information block (header->infoSize
// bytes) and an offset from the start of its table; 0, or -1 when the record (for a name:
// its key and the terminator of its written name) does not lie inside the block.
int ReadArchiveNameRecord(const ArchiveHeader* header, const uint8_t* info, uint64_t offset,
                          ArchiveNameRecord* record);
int ReadArchiveFileRecord(const ArchiveHeader* header, const uint8_t* info, uint64_t offset,
                          ArchiveFileRecord* record);
int ReadArchiveDirRecord(const ArchiveHeader* header, const uint8_t* info, uint64_t offset,
                         ArchiveDirRecord* record);
// The index-th record of a directory (0 to fileCount - 1); -1 past the end or outside the
// block.
int ReadArchiveDirEntry(const ArchiveHeader* header, const uint8_t* info,
                        const ArchiveDirRecord* dir, uint32_t index, ArchiveFileRecord* record);

// 1 for a file stored as a compressed block (version 2 or later and a compressed size).
int ArchiveFileIsCompressed(const ArchiveHeader* header, const ArchiveFileRecord* record);
// Archive offset of a file's stored bytes (data area + data offset).
uint64_t ArchiveFileDataStart(const ArchiveHeader* header, const ArchiveFileRecord* record);
// Bytes stored for a file: its compressed size, or its size when stored plain.
uint32_t ArchiveFileStoredSize(const ArchiveHeader* header, const ArchiveFileRecord* record);
// 0 when a file's stored bytes lie inside an archive of archiveSize bytes (and a
// compressed block is long enough for its head and for the file's size).
int CheckArchiveFileData(const ArchiveHeader* header, const ArchiveFileRecord* record,
                         uint64_t archiveSize);

// ---- names -------------------------------------------------------------------------

// Builds the key name of the first length bytes of name: a-z upper-cased, Shift-JIS
// double-byte characters copied unchanged (a lead byte in the last place stands alone),
// then zero bytes up to units * 4 with units = length / 4 + 1; sum is the byte sum of the
// key. Returns the key's length in bytes, or -1 when it would not fit capacity bytes.
int BuildArchiveKeyName(const char* name, size_t length, uint8_t* key, size_t capacity,
                        uint16_t* units, uint16_t* sum);
// 1 when a name record carries this key (units and sum first, then the bytes).
int ArchiveKeyNameEquals(const ArchiveNameRecord* record, const uint8_t* key, uint16_t units,
                         uint16_t sum);
// Looks a key name up among a directory's records, directories only (wantDirectory 1) or
// files only (0); the first match wins. 0 with the record and its index, or -1 (also when
// a record or its name lies outside the block: the walk stops there).
int FindArchiveDirEntry(const ArchiveHeader* header, const uint8_t* info,
                        const ArchiveDirRecord* dir, const uint8_t* key, uint16_t units,
                        uint16_t sum, int wantDirectory, ArchiveFileRecord* record,
                        uint32_t* index);

// ---- compressed blocks -------------------------------------------------------------

// Expands a compressed block of blockSize bytes (the file's compressed size). Without a
// destination, returns the decoded size from the block's head (-1 when the head is
// unreadable). With one, size is the decoded size expected (the file's size): -1 unless
// the head says the same and the coded stream decodes to exactly that many bytes, every
// code and its operands inside the encoded size, every distance inside the output
// written so far, no distance field of the reserved size 3. Never reads outside the
// block nor writes outside destination[0, size).
int64_t DecodeArchiveData(const void* block, size_t blockSize, void* destination, size_t size);
