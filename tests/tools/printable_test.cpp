// Texts from files as the tools print them: nothing a terminal obeys gets through.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tools/printable.h"

namespace quavr::tools {
namespace {

// Whether `s` is well-formed UTF-8 holding no C0, DEL or C1 control: what a terminal only shows.
bool onlyShowable(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    if ((lead >= 0x80 && lead < 0xC2) || lead >= 0xF5) return false;
    if (i + length > s.size()) return false;
    for (int k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
      code = code << 6 | (s[i + k] & 0x3F);
    }
    const char32_t lowest = length == 1 ? 0 : length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < lowest || (code >= 0xD800 && code < 0xE000)) return false;  // overlong, surrogate
    if (code < 0x20 || (code >= 0x7F && code < 0xA0) || code > 0x10FFFF) return false;
    i += static_cast<std::size_t>(length);
  }
  return true;
}

TEST(PrintableTest, AnyBytesComeOutShowableAndShowableTextUnchanged) {
  std::mt19937 random(22);
  for (int i = 0; i < 20000; ++i) {
    std::string bytes(random() % 12, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const std::string shown = printable(bytes);
    EXPECT_TRUE(onlyShowable(shown)) << shown;
    if (onlyShowable(bytes)) {
      EXPECT_EQ(shown, bytes);
    }
  }
  EXPECT_EQ(printable("\x1B]0;owned\x07ok\r\n"), "\\x1B]0;owned\\x07ok\\x0D\\x0A");
  EXPECT_EQ(printable("caf\xC3\xA9 \xE2\x99\xAA"), "caf\xC3\xA9 \xE2\x99\xAA") << "UTF-8 stays";
  EXPECT_EQ(printable("caf\xE9 \xC2\x9B"
                      "2J"),
            "caf\\xE9 \\xC2\\x9B2J")
      << "Latin-1 and C1 (CSI) are escaped";
}

}  // namespace
}  // namespace quavr::tools
