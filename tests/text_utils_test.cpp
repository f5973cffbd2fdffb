#include "packetdb/text_utils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace quib {
namespace {

namespace fs = std::filesystem;

class ReadWholeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    dir = fs::temp_directory_path() / ("quib_text_utils_" + std::to_string(seed()));
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const fs::path path = dir / name;
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  fs::path dir;
};

TEST_F(ReadWholeFileTest, MissingAndEmptyFilesBothGiveEmptyText) {
  EXPECT_EQ(ReadWholeFile((dir / "absent.txt").string()), "");
  EXPECT_EQ(ReadWholeFile(Write("empty.txt", "")), "");
}

TEST_F(ReadWholeFileTest, DirectoryGivesEmptyText) { EXPECT_EQ(ReadWholeFile(dir.string()), ""); }

TEST_F(ReadWholeFileTest, KeepsCarriageReturns) {
  const std::string text = ReadWholeFile(Write("crlf.txt", "a\r\nb"));
  EXPECT_EQ(text, "a\r\nb");
  EXPECT_EQ(text.size(), 4u);
}

TEST_F(ReadWholeFileTest, EveryByteValueReadsAsOneCharacter) {
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
  bytes += bytes;  // NULs in the middle, not only at the start
  EXPECT_EQ(ReadWholeFile(Write("bytes.bin", bytes)), bytes);
}

TEST_F(ReadWholeFileTest, ReadsFilesLargerThanOneChunk) {
  std::string bytes(100000, 'x');
  bytes[0] = 'a';
  bytes.back() = 'z';
  EXPECT_EQ(ReadWholeFile(Write("large.txt", bytes)), bytes);
}

TEST_F(ReadWholeFileTest, RegularFileIsReadUpToTheLimitExactly) {
  const std::string path = Write("four.txt", "abcd");
  std::string text;
  EXPECT_EQ(ReadRegularFile(path, 4, text), ReadResult::kRead);
  EXPECT_EQ(text, "abcd");
  EXPECT_EQ(ReadRegularFile(path, 3, text), ReadResult::kTooLarge);
  EXPECT_EQ(text, "");
#ifndef _WIN32
  // Says it holds 0 bytes, holds more: caught while it is read.
  EXPECT_EQ(ReadRegularFile("/proc/self/maps", 10, text), ReadResult::kTooLarge);
  EXPECT_EQ(ReadRegularFile("/dev/null", 10, text), ReadResult::kNotRegularFile);
#else
  EXPECT_EQ(ReadRegularFile("NUL", 10, text), ReadResult::kNotRegularFile);
  EXPECT_EQ(ReadRegularFile("C:\\Windows", 10, text), ReadResult::kNotRegularFile);
#endif
}

TEST(TakeFieldTest, ReturnsTextBeforeFirstSeparatorAndKeepsTheRest) {
  std::string text = "packet_ver: 5";
  EXPECT_EQ(TakeField(text, ':'), "packet_ver");
  EXPECT_EQ(text, " 5");

  text = "a:b:c";
  EXPECT_EQ(TakeField(text, ':'), "a");
  EXPECT_EQ(text, "b:c");
}

TEST(TakeFieldTest, SeparatorAtEitherEnd) {
  std::string text = ",x";
  EXPECT_EQ(TakeField(text, ','), "");
  EXPECT_EQ(text, "x");

  text = "ab,";
  EXPECT_EQ(TakeField(text, ','), "ab");
  EXPECT_EQ(text, "");
}

TEST(TakeFieldTest, AbsentSeparatorTakesEverything) {
  std::string text = "last line";
  EXPECT_EQ(TakeField(text, '\n'), "last line");
  EXPECT_EQ(text, "");
}

TEST(RemoveAllTest, RemovesEveryOccurrenceAndKeepsOrder) {
  EXPECT_EQ(RemoveAll("\r\r\r", '\r'), "");
  EXPECT_EQ(RemoveAll("\ra\rb\r\rc", '\r'), "abc");
  EXPECT_EQ(RemoveAll("abc", '\r'), "abc");
  EXPECT_EQ(RemoveAll(std::string("a\0\rb", 4), '\r'), std::string("a\0b", 3));
}

TEST(SplitFirstFieldsTest, CountsFieldsUpToTheWantedNumber) {
  using Fields = std::vector<std::string_view>;
  struct Case {
    std::string_view text;
    std::size_t wanted;
    Fields expected;
  };
  const Case cases[] = {
      {"2:6:10", 4, {"2", "6", "10"}},
      {"abc", 4, {"abc"}},
      {"a:b:", 4, {"a", "b"}},  // a trailing separator gives no empty last field
      {":", 4, {""}},
      {":a::b", 4, {"", "a", "", "b"}},
      {"", 4, {}},
      {"1:2:3:4:5", 2, {"1", "2"}},
      {"a::", 3, {"a", ""}},
      {"a:b", 0, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string_view> fields(c.wanted, "untouched");
    const std::size_t count = SplitFirstFields(c.text, ':', fields);
    fields.resize(count);
    EXPECT_EQ(fields, c.expected) << c.text;
  }
}

}  // namespace
}  // namespace quib
