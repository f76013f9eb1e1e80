// A file that holds its bytes back (-recover): what reaches the disk, when, and in what order;
// and a line longer than the buffer's room for one.
#include "output/out_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace skelv::test {
namespace {

void put(OutFile& f, const std::string& text) { out_write(f, text.data(), text.size()); }

// A file holding its bytes back from the start, in a folder of its own.
class HeldOutFile : public ::testing::Test {
 protected:
  void SetUp() override { out_hold(f); }
  TempDir dir;
  OutFile f;
};

TEST_F(HeldOutFile, OnlyReleasedBytesReachTheFileAndTheRestCanBeTakenBack) {
  const std::string name = dir.file("held.txt");
  put(f, "head\n");
  const std::uint64_t first = out_position(f);  // 5
  put(f, "one\n");
  const std::uint64_t second = out_position(f);  // 9
  put(f, "two\n");
  // Nothing is created before a release: the old file stays.
  write_file(name, "old");
  out_flush(f);
  EXPECT_EQ(read_file(name), "old");
  EXPECT_FALSE(std::filesystem::exists(name + kPartialSuffix));

  ASSERT_TRUE(out_open_held(f, name.c_str()));
  EXPECT_FALSE(std::filesystem::exists(name));
  out_release(f, first);
  out_flush(f);
  EXPECT_EQ(read_file(name + kPartialSuffix), "head\n");
  // Taken back to the second line: "two" never reaches the file; a take-back before what was
  // released changes nothing.
  out_take_back(f, second);
  out_take_back(f, 2);
  put(f, "three\n");
  out_release(f, out_position(f));
  out_flush(f);
  EXPECT_EQ(read_file(name + kPartialSuffix), "head\none\nthree\n");
  put(f, "tail\n");
  ASSERT_TRUE(out_close(f));
  EXPECT_EQ(read_file(name), "head\none\nthree\ntail\n");
}

TEST_F(HeldOutFile, InsertedBytesGoWhereThePositionStood) {
  const std::string name = dir.file("note.txt");
  put(f, "a\nb\n");
  const std::uint64_t at = out_position(f);  // 4
  put(f, "c\n");
  ASSERT_TRUE(out_open_held(f, name.c_str()));
  out_release(f, 2);
  out_flush(f);
  out_insert(f, at, "@note\n", 6);
  // Before what already left the buffer: refused.
  out_insert(f, 1, "x", 1);
  EXPECT_EQ(out_position(f), 12u);
  ASSERT_TRUE(out_close(f));
  EXPECT_EQ(read_file(name), "a\nb\n@note\nc\n");
}

TEST_F(HeldOutFile, BufferGrowsWhileNothingIsReleasedAndLosesNothing) {
  const std::string name = dir.file("big.txt");
  std::string expected;
  // Eight times a plain file's buffer, in lines of their own numbers, none of it released.
  for (int i = 0; expected.size() < 8 * kOutBufferSize; ++i) {
    const std::string line = std::to_string(i) + "\n";
    put(f, line);
    expected += line;
  }
  out_printf(f, "%s|%d\n", std::string(5000, 'p').c_str(), 7);
  expected += std::string(5000, 'p') + "|7\n";
  EXPECT_EQ(out_position(f), expected.size());
  ASSERT_TRUE(out_open_held(f, name.c_str()));
  ASSERT_TRUE(out_close(f));
  EXPECT_EQ(read_file(name), expected);
}

TEST_F(HeldOutFile, NameThatCantBeTakenDropsWhatWasHeld) {
  const std::string name = dir.file("folder");
  std::filesystem::create_directory(name);
  put(f, "line\n");
  EXPECT_FALSE(out_open_held(f, name.c_str()));
  // The file takes no more bytes, and closing it writes nothing.
  EXPECT_FALSE(out_is_open(f));
  EXPECT_TRUE(out_close(f));
  EXPECT_TRUE(std::filesystem::is_directory(name));
}

// A line formatted longer than the room the buffer offers for one goes whole, every byte of it.
TEST(OutFilePrintf, LinesLongerThanTheRoomForOneGoWhole) {
  TempDir dir;
  const std::string name = dir.file("long.txt");
  OutFile f;
  ASSERT_TRUE(out_open(f, name.c_str()));
  const std::string line = std::string(5000, 'x') + "y";
  out_printf(f, "%s\n", line.c_str());
  out_printf(f, "%d\n", 7);
  ASSERT_TRUE(out_close(f));
  EXPECT_EQ(read_file(name), line + "\n7\n");
}

}  // namespace
}  // namespace skelv::test
