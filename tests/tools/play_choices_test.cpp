// quavr-play's pure choices: device numbers and names, and the progress line's width.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tools/decimal.h"
#include "tools/device_choice.h"
#include "tools/play_options.h"
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

TEST(PlayOptionsTest, AtTakesEachBoundaryAndNothingElse) {
  const struct {
    const char* text;
    std::optional<std::uint32_t> when;
  } cases[] = {
      {"now", QUAVR_AT_NOW},
      {"beat", QUAVR_AT_BEAT},
      {"bar", QUAVR_AT_BAR},
      {"beat/3", QUAVR_AT_BEATS(3)},
      {"bar/255", QUAVR_AT_BARS(255)},
      {"marker", QUAVR_AT_MARKER},
      {"marker:0", QUAVR_AT_MARKER_INDEX(0)},
      {"marker:65534", QUAVR_AT_MARKER_INDEX(65534)},
      {"loop-end", QUAVR_AT_LOOP_END},
      {"end", QUAVR_AT_END},
      // N 1-255 and I below 65535 fit their bits; nothing wraps into another rule.
      {"bar/0", std::nullopt},
      {"bar/256", std::nullopt},
      {"beat/4294967297", std::nullopt},
      {"marker:65535", std::nullopt},
      {"bar/", std::nullopt},
      {"bar/+2", std::nullopt},
      {"marker:-1", std::nullopt},
      {"beat/2x", std::nullopt},
      {"marker/2", std::nullopt},
      {"end/2", std::nullopt},
      {"loop-end:1", std::nullopt},
      {"Bar", std::nullopt},
      {"bars", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseWhen(c.text), c.when) << c.text;
}

}  // namespace
}  // namespace quavr::tools
