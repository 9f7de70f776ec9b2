#include "serial/speed_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wexal {
namespace {

TEST(SpeedTextTest, EveryOfferedTextOpensItsFormat) {
    const struct {
        const char* frame;
        int dataBits;
        Parity parity;
        StopBits stopBits;
    } frames[] = {
        {"8,N,1", 8, Parity::None, StopBits::One}, {"8,N,2", 8, Parity::None, StopBits::Two},
        {"7,N,1", 7, Parity::None, StopBits::One}, {"7,N,2", 7, Parity::None, StopBits::Two},
        {"7,E,1", 7, Parity::Even, StopBits::One}, {"7,E,2", 7, Parity::Even, StopBits::Two},
        {"7,O,1", 7, Parity::Odd, StopBits::One},  {"7,O,2", 7, Parity::Odd, StopBits::Two},
    };
    int count = 0;
    for (const int baud : kOfferedBauds) {
        for (const auto& f : frames) {
            const std::string text = std::to_string(baud) + "," + f.frame;
            const SpeedTextResult result = ParseSpeedText(text);
            ASSERT_TRUE(result.ok()) << text;
            EXPECT_EQ(result.format, (LineFormat{baud, f.dataBits, f.parity, f.stopBits})) << text;
            ++count;
        }
    }
    EXPECT_EQ(count, 48);
}

TEST(SpeedTextTest, EdgeCases) {
    const struct {
        const char* text;
        SpeedTextError error;
        LineFormat format;
    } cases[] = {
        // With 8 data bits the letter only marks where the stop bits begin.
        {"4800,8,E,1", SpeedTextError::None, {4800, 8, Parity::None, StopBits::One}},
        {"9600,8,O,2", SpeedTextError::None, {9600, 8, Parity::None, StopBits::Two}},
        {"9600,7,O,1", SpeedTextError::None, {9600, 7, Parity::Odd, StopBits::One}},
        {"2400,7,N,2", SpeedTextError::None, {2400, 7, Parity::None, StopBits::Two}},
        {"4800,8,N,3", SpeedTextError::None, {4800, 8, Parity::None, StopBits::OneAndHalf}},
        {"4800,7,E,0", SpeedTextError::None, {4800, 7, Parity::Even, StopBits::OneAndHalf}},
        {"38400,8,N,1", SpeedTextError::BaudNotOffered, {}},
        {"0,8,N,1", SpeedTextError::BaudNotOffered, {}},
        {"115200", SpeedTextError::BaudNotOffered, {}},
        {"", SpeedTextError::Malformed, {}},
        {"fast,8,N,1", SpeedTextError::Malformed, {}},
        {"4800 ,8,N,1", SpeedTextError::Malformed, {}},
        {"4800", SpeedTextError::Malformed, {}},
        {"4800,", SpeedTextError::Malformed, {}},
        {"4800,X,N,1", SpeedTextError::Malformed, {}},
        {"4800,8,N,", SpeedTextError::Malformed, {}},
        {"4800,8,N,two", SpeedTextError::Malformed, {}},
        {"4800,8,N,1 ", SpeedTextError::Malformed, {}},
        {"4800,8", SpeedTextError::Malformed, {}},
        {"4800,7,E", SpeedTextError::Malformed, {}},
    };
    for (const auto& c : cases) {
        const SpeedTextResult result = ParseSpeedText(c.text);
        EXPECT_EQ(result.error, c.error) << c.text;
        if (c.error == SpeedTextError::None) {
            EXPECT_EQ(result.format, c.format) << c.text;
        }
    }
}

TEST(SpeedTextTest, FormatReplacesOnlyTheFrameFieldsOfARecord) {
    LineSettings settings;
    settings.xoffChar = kDc3WithParity;
    settings.inputXonXoff = true;
    settings.baud = 300;
    ApplyLineFormat({14400, 7, Parity::Even, StopBits::Two}, settings);

    LineSettings expected;
    expected.xoffChar = kDc3WithParity;
    expected.inputXonXoff = true;
    expected.baud = 14400;
    expected.dataBits = 7;
    expected.parity = Parity::Even;
    expected.stopBits = StopBits::Two;
    EXPECT_EQ(settings, expected);
}

TEST(SpeedTextTest, FrameLengthCountsStartParityAndStopBits) {
    LineSettings s;
    ApplyLineFormat({4800, 8, Parity::None, StopBits::Two}, s);
    EXPECT_DOUBLE_EQ(BitsPerFrame(s), 11.0);
    ApplyLineFormat({4800, 7, Parity::Even, StopBits::One}, s);
    EXPECT_DOUBLE_EQ(BitsPerFrame(s), 10.0);
    ApplyLineFormat({4800, 8, Parity::None, StopBits::OneAndHalf}, s);
    EXPECT_DOUBLE_EQ(BitsPerFrame(s), 10.5);
}

}  // namespace
}  // namespace wexal
