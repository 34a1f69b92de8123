// quavr-play's pure choices: device numbers and names, and the progress line's width.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tools/decimal.h"
#include "tools/device_choice.h"
#include "tools/progress.h"

namespace quavr::tools {
namespace {

TEST(DeviceChoiceTest, ANumberIsTakenOnlyWhenItFits32BitsNeverWrapped) {
  std::mt19937_64 random(15);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t value = random() >> (random() % 64);
    const auto parsed = parseDecimal(std::to_string(value));
    if (value <= 0xFFFFFFFFu) {
      EXPECT_EQ(parsed, static_cast<std::uint32_t>(value));
    } else {
      EXPECT_FALSE(parsed) << value;
    }
  }
  EXPECT_FALSE(parseDecimal("99999999999999999999999"));
  EXPECT_EQ(parseDecimal("0004294967295"), 0xFFFFFFFFu) << "leading zeros are still digits";
  for (const char* text : {"", "-1", "+1", " 1", "1 ", "0x10", "1e3"}) {
    EXPECT_FALSE(parseDecimal(text)) << text;
  }
}

TEST(DeviceChoiceTest, AnExactNameWinsOverPartsOfOthers) {
  const std::vector<std::string> names = {"Port 10", "Port 1", "Quavr Monitor"};
  EXPECT_EQ(findDevice("port 1", names), 1u);
  EXPECT_EQ(findDevice("PORT 10", names), 0u);
  EXPECT_EQ(findDevice("monitor", names), 2u);
  EXPECT_EXIT(findDevice("port", names), ::testing::ExitedWithCode(1), "more than one device");
  EXPECT_EXIT(findDevice("synth", names), ::testing::ExitedWithCode(1), "no device is called");
  EXPECT_EXIT(findDevice("4294967296", names), ::testing::ExitedWithCode(1), "out of range");
}

TEST(ProgressLineTest, FitsEveryWidthLeavingTheLastColumnAndKeepsTheTimesWhenItCan) {
  for (int width = 1; width <= 120; ++width) {
    for (const bool paused : {false, true}) {
      for (const std::uint32_t elapsed : {0u, 61000u, 0xFFFFFFFFu}) {
        const std::string line = progressLine(elapsed, 0xFFFFFFFFu, paused, width);
        EXPECT_LE(static_cast<int>(line.size()), width - 1) << width;
        if (width > 40) {
          EXPECT_NE(line.find(" / "), std::string::npos) << line;
        }
      }
    }
  }
  EXPECT_EQ(progressLine(15000, 30000, false, 0), "  0:15 / 0:30 [###############---------------]")
      << "no terminal: the whole bar";
}

}  // namespace
}  // namespace quavr::tools
