// The SHA-256 of kvctl's audit log and of the simulated tracker's received
// images, against the published test vectors, the padding boundaries,
// piecewise input and whole files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/sha256.h"
#include "file_sha256.h"
#include "temp_folder.h"

namespace {

TEST(Sha256, PublishedVectors) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  // The simulator's form: bytes and a length.
  const unsigned char abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(Sha256Hex(abc, sizeof abc), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

// Lengths around the 56-byte point where the length no longer fits the
// last block (values from sha256sum).
TEST(Sha256, PaddingBoundaries) {
  const std::pair<std::size_t, const char*> cases[] = {
      {55, "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
      {56, "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e"},
      {63, "75220b47218278e656f2013bb8f0c455a25eaf01e86c64924e9d48d89776d6f2"},
      {64, "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
      {119, "000b48d4edf0fa7bee3c6236ecd2785baa5db4eeb8bb54341b029e0d9fa5fb0c"},
      {120, "13f05a0b594787f5ecd315edc96141bd3243203d1b7d4f0836f37308b276ba98"},
  };
  for (const auto& [length, digest] : cases) EXPECT_EQ(Sha256Hex(std::string(length, 'x')), digest) << length;
}

TEST(Sha256, PiecewiseInputAndFilesGiveTheSameDigest) {
  std::string data(5000, '\0');
  unsigned seed = 7;
  for (auto& c : data) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
  const std::string whole = Sha256Hex(data);
  for (const std::size_t piece : {1u, 3u, 63u, 64u, 65u, 1000u}) {
    Sha256 sha;
    for (std::size_t at = 0; at < data.size(); at += piece) sha.Update(std::string_view(data).substr(at, piece));
    EXPECT_EQ(DigestHex(sha.Finish()), whole) << piece;
  }
  // Two pieces that straddle the 64-byte blocks.
  const std::string text(200, 'q');
  Sha256 pieces;
  pieces.Update(text.data(), 63);
  pieces.Update(text.data() + 63, 137);
  EXPECT_EQ(DigestHex(pieces.Finish()), Sha256Hex(text));
  test_support::TempFolder folder;
  test_support::WriteTestFile(folder.File("image.bin"), data);
  std::string hex, error;
  ASSERT_TRUE(Sha256OfFile(folder.File("image.bin"), hex, error)) << error;
  EXPECT_EQ(hex, whole);
  EXPECT_FALSE(Sha256OfFile(folder.File("missing"), hex, error));
  EXPECT_FALSE(Sha256OfFile(folder.path(), hex, error));
  ASSERT_EQ(::mkfifo(folder.File("fifo").c_str(), 0600), 0);
  EXPECT_FALSE(Sha256OfFile(folder.File("fifo"), hex, error)) << "a FIFO is never read";
  EXPECT_EQ(error, "not a regular file");
}

}  // namespace
