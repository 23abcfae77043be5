// The archive format's pieces on their own: scrambling, key names, the decoder against
// hand-made blocks and the encoder's blocks.
#include "engine/file/archiveformat.h"
#include "engine/file/writer/archivewriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Encode(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> block(ArchiveEncodeBound(data.size()));
  int64_t n = EncodeArchiveData(data.data(), data.size(), block.data(), block.size());
  EXPECT_GE(n, int64_t(ARCHIVE_BLOCK_HEAD_SIZE));
  block.resize(n < 0 ? 0 : size_t(n));
  return block;
}

// Decodes into a buffer of exactly the expected size, so AddressSanitizer sees any
// write past it.
std::vector<uint8_t> Decode(const std::vector<uint8_t>& block, size_t size, int64_t* result) {
  std::vector<uint8_t> out(size);
  uint8_t none;
  *result = DecodeArchiveData(block.data(), block.size(), size ? out.data() : &none, size);
  return out;
}

void ExpectRoundTrip(const std::vector<uint8_t>& data, const char* what) {
  std::vector<uint8_t> block = Encode(data);
  ASSERT_LE(block.size(), ArchiveEncodeBound(data.size())) << what;
  EXPECT_EQ(DecodeArchiveData(block.data(), block.size(), nullptr, 0), int64_t(data.size()));
  int64_t result;
  std::vector<uint8_t> back = Decode(block, data.size(), &result);
  EXPECT_EQ(result, int64_t(data.size())) << what;
  EXPECT_TRUE(back == data) << what;
}

std::vector<uint8_t> Block(uint32_t decodedSize, uint8_t escape, std::vector<uint8_t> stream) {
  // Built in one buffer of the final size (an insert after a 9-byte vector trips a GCC 12
  // -Warray-bounds false alarm in optimised builds).
  std::vector<uint8_t> b(ARCHIVE_BLOCK_HEAD_SIZE + stream.size());
  uint32_t encoded = uint32_t(b.size());
  for (int i = 0; i < 4; i++) {
    b[size_t(i)] = uint8_t(decodedSize >> (8 * i));
    b[size_t(4 + i)] = uint8_t(encoded >> (8 * i));
  }
  b[8] = escape;
  std::copy(stream.begin(), stream.end(), b.begin() + ARCHIVE_BLOCK_HEAD_SIZE);
  return b;
}

}  // namespace

TEST(ArchiveKey, KeyStringRepeatsToTwelveBytes) {
  uint8_t a[ARCHIVE_KEY_SIZE], b[ARCHIVE_KEY_SIZE];
  BuildArchiveKey("AB", a);
  BuildArchiveKey("ABABABABABAB", b);
  EXPECT_EQ(0, std::memcmp(a, b, sizeof a));
  BuildArchiveKey("ABCDEFGHIJKLMNOP", a);
  BuildArchiveKey("ABCDEFGHIJKL", b);
  EXPECT_EQ(0, std::memcmp(a, b, sizeof a));
  // No key string and an empty one both use the filler; the fallback is another key.
  BuildArchiveKey(nullptr, a);
  BuildArchiveKey("", b);
  EXPECT_EQ(0, std::memcmp(a, b, sizeof a));
  BuildArchiveFallbackKey(b);
  EXPECT_NE(0, std::memcmp(a, b, sizeof a));
  BuildArchiveKey("AB", b);
  EXPECT_NE(0, std::memcmp(a, b, sizeof a));
}

TEST(ArchiveKey, ScramblingFollowsTheArchiveOffset) {
  uint8_t key[ARCHIVE_KEY_SIZE];
  BuildArchiveKey(nullptr, key);
  std::mt19937 rng(7);
  std::vector<uint8_t> original(64);
  for (uint8_t& b : original) b = uint8_t(rng());
  const uint64_t offsets[] = {0, 1, 11, 12, 13, 23, 25, 0x100000007ull};
  for (uint64_t offset : offsets) {
    for (size_t length = 0; length <= 40; length++) {
      std::vector<uint8_t> buf(original.begin(), original.begin() + long(length));
      ApplyArchiveKey(length, buf.data(), offset, key);
      for (size_t i = 0; i < length; i++)
        ASSERT_EQ(buf[i], original[i] ^ key[(offset + i) % 12]) << offset << " " << i;
      ApplyArchiveKey(length, buf.data(), offset, key);
      ASSERT_TRUE(std::equal(buf.begin(), buf.end(), original.begin())) << offset;
    }
  }
  // Offset 13 starts at key index 1.
  uint8_t byte = 0;
  ApplyArchiveKey(1, &byte, 13, key);
  EXPECT_EQ(byte, key[1]);
  // Unaligned buffers work too.
  std::vector<uint8_t> buf(original);
  ApplyArchiveKey(37, buf.data() + 3, 5, key);
  for (size_t i = 0; i < 37; i++) EXPECT_EQ(buf[3 + i], original[3 + i] ^ key[(5 + i) % 12]);
}

TEST(ArchiveNames, KeyNameTable) {
  struct Case {
    std::string name;
    std::string key;  // without padding
    int bytes;
  } cases[] = {
      {"a.png", "A.PNG", 8},
      {"ABCD", "ABCD", 8},       // exactly 4 bytes: 2 units, one zero unit
      {"abc", "ABC", 4},
      {"\x82\x61z", "\x82\x61Z", 4},  // the trail byte 'a' of a double-byte character stays
      {"x\x83", "X\x83", 4},          // a lead byte in the last place stands alone
  };
  for (const Case& c : cases) {
    uint8_t key[64];
    uint16_t units = 0, sum = 0;
    ASSERT_EQ(BuildArchiveKeyName(c.name.data(), c.name.size(), key, sizeof key, &units, &sum),
              c.bytes)
        << c.name;
    EXPECT_EQ(units, c.bytes / 4);
    EXPECT_EQ(0, std::memcmp(key, c.key.data(), c.key.size())) << c.name;
    uint16_t expectedSum = 0;
    for (size_t i = 0; i < size_t(c.bytes); i++) {
      if (i >= c.key.size()) {
        EXPECT_EQ(key[i], 0) << c.name;
      }
      expectedSum = uint16_t(expectedSum + key[i]);
    }
    EXPECT_EQ(sum, expectedSum) << c.name;
  }
  uint8_t small[8];
  uint16_t units, sum;
  EXPECT_EQ(BuildArchiveKeyName("12345678", 8, small, sizeof small, &units, &sum), -1);
  EXPECT_EQ(BuildArchiveKeyName("1234567", 7, small, sizeof small, &units, &sum), 8);
}

TEST(ArchiveDecode, HandMadeBlocks) {
  struct Case {
    const char* what;
    std::vector<uint8_t> block;
    std::string expected;
  } cases[] = {
      {"literals only", Block(3, 0xFF, {'a', 'b', 'c'}), "abc"},
      {"distance 1, length 10", Block(11, 0xFF, {'x', 0xFF, 0x30, 0x00}), std::string(11, 'x')},
      {"code above the escape loses 1", Block(11, 0x10, {'x', 0x10, 0x31, 0x00}),
       std::string(11, 'x')},
      {"escape pair", Block(2, 'e', {'e', 'e', 'f'}), "ef"},
      {"length byte", Block(38, 0xFF, {'a', 'b', 0xFF, 0x04, 1, 0x01}), [] {
         std::string s;
         for (int i = 0; i < 19; i++) s += "ab";  // 4 + 1 * 32 bytes from distance 2
         return s;
       }()},
      {"two-byte distance", Block(6, 0xFF, {'a', 'b', 0xFF, 0x01, 0x01, 0x00}), "ababab"},
      {"empty", Block(0, 0, {}), ""},
      {"bytes after the encoded size are not read", [] {
         std::vector<uint8_t> b = Block(1, 0xFF, {'q'});
         b.push_back(0xFF);
         return b;
       }(), "q"},
  };
  for (const Case& c : cases) {
    int64_t result;
    std::vector<uint8_t> out = Decode(c.block, c.expected.size(), &result);
    EXPECT_EQ(result, int64_t(c.expected.size())) << c.what;
    EXPECT_EQ(std::string(out.begin(), out.end()), c.expected) << c.what;
  }
}

TEST(ArchiveDecode, RefusesMalformedBlocks) {
  struct Case {
    const char* what;
    std::vector<uint8_t> block;
    size_t size;
  } cases[] = {
      {"shorter than the head", {1, 0, 0, 0, 9, 0, 0, 0}, 1},
      {"encoded size below the head", [] {
         std::vector<uint8_t> b = Block(1, 0xFF, {'a'});
         b[4] = 8;
         return b;
       }(), 1},
      {"encoded size past the block", [] {
         std::vector<uint8_t> b = Block(1, 0xFF, {'a'});
         b[4] = 11;
         return b;
       }(), 1},
      {"decoded size other than expected", Block(2, 0xFF, {'a', 'b'}), 3},
      {"empty stream for a non-empty file", Block(4, 0xFF, {}), 4},
      {"stream ends short", Block(4, 0xFF, {'a', 'b'}), 4},
      {"literals past the decoded size", Block(1, 0xFF, {'a', 'b'}), 1},
      {"escape pair past the decoded size", Block(1, 0xFF, {'a', 0xFF, 0xFF}), 1},
      {"escape at the end", Block(2, 0xFF, {'a', 0xFF}), 2},
      {"length byte missing", Block(40, 0xFF, {'a', 0xFF, 0x04}), 40},
      {"distance missing", Block(5, 0xFF, {'a', 0xFF, 0x00}), 5},
      {"distance cut short", Block(5, 0xFF, {'a', 0xFF, 0x02, 0x00, 0x00}), 5},
      {"reserved distance size", Block(5, 0xFF, {'a', 0xFF, 0x03, 0, 0, 0, 0}), 5},
      {"distance before the start", Block(6, 0xFF, {'a', 'b', 0xFF, 0x00, 0x02}), 6},
      {"match at the very start", Block(4, 0xFF, {0xFF, 0x00, 0x00}), 4},
      {"match past the decoded size", Block(5, 0xFF, {'a', 'b', 0xFF, 0x00, 0x00}), 5},
  };
  for (const Case& c : cases) {
    int64_t result;
    Decode(c.block, c.size, &result);
    EXPECT_EQ(result, -1) << c.what;
  }
  // Without a destination only the head counts.
  std::vector<uint8_t> shortHead = {1, 0, 0, 0};
  EXPECT_EQ(DecodeArchiveData(shortHead.data(), shortHead.size(), nullptr, 0), -1);
  std::vector<uint8_t> bad = Block(7, 0xFF, {0xFF});
  EXPECT_EQ(DecodeArchiveData(bad.data(), bad.size(), nullptr, 0), 7);
}

TEST(ArchiveEncode, RoundTrips) {
  std::mt19937 rng(12345);
  std::vector<uint8_t> random(5000);
  for (uint8_t& b : random) b = uint8_t(rng());
  ExpectRoundTrip(random, "random");
  ExpectRoundTrip({}, "empty");
  ExpectRoundTrip({0x42}, "one byte");

  std::vector<uint8_t> run(100000, 'z');  // far longer than one match can be
  ExpectRoundTrip(run, "run");
  EXPECT_LT(Encode(run).size(), 200u);

  // A short pattern repeated: matches overlap their own output.
  std::vector<uint8_t> pattern;
  for (int i = 0; i < 30000; i++) pattern.push_back(uint8_t("abcdefg"[i % 7]));
  ExpectRoundTrip(pattern, "pattern");

  // Every byte value equally often: the escape byte occurs in the data, in literals
  // and inside matches.
  std::vector<uint8_t> all;
  for (int r = 0; r < 8; r++)
    for (int v = 0; v < 256; v++) all.push_back(uint8_t(r & 1 ? 255 - v : v));
  ExpectRoundTrip(all, "all byte values");
  std::vector<uint8_t> escapes(3000, 0);  // the least frequent byte is absent: 1 is picked
  for (size_t i = 0; i < escapes.size(); i += 3) escapes[i] = 1;
  ExpectRoundTrip(escapes, "escape byte repeated");

  // Repeats further back than two distance bytes reach.
  std::vector<uint8_t> far(random);
  std::vector<uint8_t> filler(70000);
  for (uint8_t& b : filler) b = uint8_t(rng());
  far.insert(far.end(), filler.begin(), filler.end());
  far.insert(far.end(), random.begin(), random.end());
  ExpectRoundTrip(far, "three-byte distances");
  EXPECT_LT(Encode(far).size(), far.size() - 4000);

  // Mixed text-like data with runs and repeats of every length.
  std::vector<uint8_t> mixed;
  for (int i = 0; i < 2000; i++) {
    int kind = int(rng() % 3);
    int length = int(rng() % 300);
    if (kind == 0) mixed.insert(mixed.end(), size_t(length), uint8_t(rng()));
    if (kind == 1 && !mixed.empty()) {
      size_t from = rng() % mixed.size();
      for (int j = 0; j < length; j++) mixed.push_back(mixed[from + size_t(j) % (mixed.size() - from)]);
    }
    if (kind == 2) mixed.push_back(uint8_t(rng()));
  }
  ExpectRoundTrip(mixed, "mixed");
}

TEST(ArchiveEncode, RefusesTooSmallDestination) {
  std::vector<uint8_t> data(100, 'a');
  std::vector<uint8_t> block(8);
  EXPECT_EQ(EncodeArchiveData(data.data(), data.size(), block.data(), block.size()), -1);
  std::mt19937 rng(3);
  for (uint8_t& b : data) b = uint8_t(rng());
  block.resize(50);
  EXPECT_EQ(EncodeArchiveData(data.data(), data.size(), block.data(), block.size()), -1);
}
