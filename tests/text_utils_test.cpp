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

TEST_F(ReadWholeFileTest, DirectoryGivesEmptyText) {
  EXPECT_EQ(ReadWholeFile(dir.string()), "");
}

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

TEST(SplitFieldsTest, SplitsAtEverySeparator) {
  std::vector<std::string> fields;
  EXPECT_EQ(SplitFields(fields, "2:6:10", ':'), 3);
  EXPECT_EQ(fields, (std::vector<std::string>{"2", "6", "10"}));
}

TEST(SplitFieldsTest, TextWithoutSeparatorIsOneField) {
  std::vector<std::string> fields;
  EXPECT_EQ(SplitFields(fields, "abc", ','), 1);
  EXPECT_EQ(fields, (std::vector<std::string>{"abc"}));
}

TEST(SplitFieldsTest, TrailingSeparatorGivesNoEmptyLastField) {
  std::vector<std::string> fields;
  EXPECT_EQ(SplitFields(fields, "a,b,", ','), 2);
  EXPECT_EQ(fields, (std::vector<std::string>{"a", "b"}));

  EXPECT_EQ(SplitFields(fields, ",", ','), 1);
  EXPECT_EQ(fields, (std::vector<std::string>{""}));
}

TEST(SplitFieldsTest, KeepsLeadingAndInnerEmptyFields) {
  std::vector<std::string> fields;
  EXPECT_EQ(SplitFields(fields, ",a,,b", ','), 4);
  EXPECT_EQ(fields, (std::vector<std::string>{"", "a", "", "b"}));
}

TEST(SplitFieldsTest, EmptyTextLeavesArrayUntouched) {
  std::vector<std::string> fields{"keep", "these"};
  EXPECT_EQ(SplitFields(fields, "", ':'), 0);
  EXPECT_EQ(fields, (std::vector<std::string>{"keep", "these"}));
}

TEST(SplitFieldsTest, ShorterResultShrinksArray) {
  std::vector<std::string> fields{"1", "2", "3", "4", "5"};
  EXPECT_EQ(SplitFields(fields, "x,y", ','), 2);
  EXPECT_EQ(fields, (std::vector<std::string>{"x", "y"}));
}

}  // namespace
}  // namespace quib
