#include "app/connection_actions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quib {
namespace {

// What send takes as bytes: hex digits two a byte, blanks between bytes only,
// 1 to kMostInjectedBytes bytes; and what #N takes as a connection.
TEST(ConnectionActionsTest, HexBytesAndConnectionNumbersAreReadOrRefused) {
  const std::string most(2 * kMostInjectedBytes, 'f');
  struct Case {
    std::string Text;
    std::vector<std::uint8_t> Bytes;
    std::string Error;  // after "send takes hex digits, two a byte: "
  };
  const Case cases[] = {
      {"c2000700", {0xC2, 0x00, 0x07, 0x00}, ""},
      {" 0a Ff\t10 ", {0x0A, 0xFF, 0x10}, ""},
      {most, std::vector<std::uint8_t>(kMostInjectedBytes, 0xFF), ""},
      {most + "00", {}, "at most 2048 bytes, not 2049"},
      {"123", {}, "an odd number of digits"},
      {"1 23", {}, "a byte is split by a blank"},
      {"0x12", {}, "\"x\" is not one"},
      {"  ", {}, "none given"},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_EQ(ParseHexBytes(c.Text, bytes, error), c.Error.empty()) << c.Text;
    if (c.Error.empty()) {
      EXPECT_EQ(bytes, c.Bytes) << c.Text;
    } else {
      EXPECT_EQ(error, "send takes hex digits, two a byte: " + c.Error) << c.Text;
    }
  }

  std::uint64_t number = 0;
  EXPECT_TRUE(ParseConnectionNumber("#12", number));
  EXPECT_EQ(number, 12u);
  EXPECT_TRUE(ParseConnectionNumber("7", number));
  EXPECT_EQ(number, 7u);
  for (const char* refused : {"#", "#0", "#-1", "# 3", "#3a", "", "1234567890123456789"}) {
    EXPECT_FALSE(ParseConnectionNumber(refused, number)) << refused;
  }
}

}  // namespace
}  // namespace quib
