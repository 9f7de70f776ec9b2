#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace wexal {
namespace {

TEST(TextCodec, JapaneseTextRoundTripsWithTheExpectedBytes) {
    struct Case {
        std::string utf8;
        std::string cp932;
    };
    const std::vector<Case> cases = {
        {"ﾌｧｲﾙ送信", "\xCC\xA7\xB2\xD9\x91\x97\x90\x4D"},
        {"～", "\x81\x60"},
        {"①", "\x87\x40"},
        {"＼", "\x81\x5F"},
        {"C:\\NC\\O1000.NC", "C:\\NC\\O1000.NC"},
        {std::string("A\0B", 3), std::string("A\0B", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToCp932(c.utf8), c.cp932) << c.utf8;
        EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << c.utf8;
        EXPECT_EQ(Cp932Width(c.utf8), c.cp932.size()) << c.utf8;
    }
}

TEST(TextCodec, HalfWidthKatakanaAreSingleBytesA1ToDF) {
    for (unsigned cp = 0xFF61; cp <= 0xFF9F; ++cp) {
        std::string utf8;
        utf8 += static_cast<char>(0xE0 | (cp >> 12));
        utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
        const std::string byte(1, static_cast<char>(0xA1 + (cp - 0xFF61)));
        EXPECT_EQ(Utf8ToCp932(utf8), byte) << std::hex << cp;
        EXPECT_EQ(Cp932ToUtf8(byte), utf8) << std::hex << cp;
        EXPECT_EQ(Cp932Width(utf8), 1u) << std::hex << cp;
    }
}

TEST(TextCodec, EveryDoubleByteCharacterDecodesStablyAndIsTwoColumnsWide) {
    int valid = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead <= 0xDF) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
            const std::optional<std::string> utf8 = Cp932ToUtf8(bytes);
            if (!utf8) continue;
            ++valid;
            EXPECT_EQ(Cp932Width(*utf8), 2u) << std::hex << lead << ' ' << trail;
            const std::optional<std::string> back = Utf8ToCp932(*utf8);
            ASSERT_TRUE(back.has_value()) << std::hex << lead << ' ' << trail;
            EXPECT_EQ(Cp932ToUtf8(*back), utf8) << std::hex << lead << ' ' << trail;
        }
    }
    // JIS X 0208 alone has 6879 characters; cp932 adds NEC, IBM and user areas.
    EXPECT_GT(valid, 7000);
}

TEST(TextCodec, StrictDecodingRejectsWhatLossyDecodingReplaces) {
    const std::string bad[] = {"\x81", "A\x81 B", "\x80", "\xFF", "\x81\x7F"};
    for (const std::string& bytes : bad) EXPECT_FALSE(Cp932ToUtf8(bytes).has_value()) << bytes;

    EXPECT_EQ(Cp932ToUtf8Lossy("A\x81 B"), "A\xEF\xBF\xBD B");
    EXPECT_EQ(Cp932ToUtf8Lossy("\x82\xA0\xFF\x82\xA2\x81"), "あ\xEF\xBF\xBDい\xEF\xBF\xBD");
    EXPECT_EQ(Cp932ToUtf8Lossy("\x91\x97\x90\x4D"), "送信");
}

TEST(TextCodec, EncodingRejectsInvalidUtf8AndCharactersOutsideCp932) {
    const std::string bad[] = {"\xC3", "a\xFF", "\xED\xA0\x80", "\xC0\xAF", "😀", "é"};
    for (const std::string& text : bad) EXPECT_FALSE(Utf8ToCp932(text).has_value()) << text;
}

TEST(TextCodec, WidthCountsUnmappableCharactersWideAndInvalidBytesNarrow) {
    EXPECT_EQ(Cp932Width(""), 0u);
    EXPECT_EQ(Cp932Width("O1000.NC"), 8u);
    EXPECT_EQ(Cp932Width("😀"), 2u);
    EXPECT_EQ(Cp932Width("a😀ｱ送"), 1u + 2u + 1u + 2u);
    EXPECT_EQ(Cp932Width("a\xFF\xFE"
                         "b"),
              4u);
    EXPECT_EQ(Cp932Width("送\xE3\x81"), 2u + 2u);  // a cut-off character: one per byte
}

TEST(TextCodec, ConcurrentConversionsDoNotDisturbEachOther) {
    const std::string utf8 = "ﾌｧｲﾙ送信 ①～＼ O1000";
    const std::string cp932 = *Utf8ToCp932(utf8);
    std::vector<std::thread> threads;
    std::vector<int> failures(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (Utf8ToCp932(utf8) != cp932 || Cp932ToUtf8(cp932) != utf8 ||
                    Cp932ToUtf8Lossy(cp932 + "\x81") != utf8 + "\xEF\xBF\xBD" ||
                    Cp932Width(utf8) != cp932.size()) {
                    ++failures[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

TEST(TextCodec, Utf16ConvertsBothWaysWithoutLoss) {
    EXPECT_TRUE(IsUtf8("ASCII, 日本語, 😀"));
    EXPECT_FALSE(IsUtf8("\xFF"));
    EXPECT_FALSE(IsUtf8("\xED\xA0\x80"));  // a surrogate is not UTF-8
    EXPECT_FALSE(IsUtf8("\xE3\x81"));

    // "A", "金", "😀" (a surrogate pair) in both byte orders.
    const std::string little("A\0\xD1\x91\x3D\xD8\x00\xDE", 8);
    const std::string big("\0A\x91\xD1\xD8\x3D\xDE\x00", 8);
    EXPECT_EQ(Utf16ToWtf8(little, false), "A金😀");
    EXPECT_EQ(Utf16ToWtf8(big, true), "A金😀");
    EXPECT_EQ(Wtf8ToUtf16("A金😀", false), little);
    EXPECT_EQ(Wtf8ToUtf16("A金😀", true), big);

    // Unpaired surrogates survive the round trip; an odd byte is left out.
    const std::string lone("\x00\xD8x\0\x00\xDC", 6);
    const std::string wtf8 = Utf16ToWtf8(lone + "z", false);
    EXPECT_EQ(wtf8, "\xED\xA0\x80x\xED\xB0\x80");
    EXPECT_EQ(Wtf8ToUtf16(wtf8, false), lone);
    EXPECT_EQ(Wtf8ToUtf16("\xFF", false), std::nullopt);
}

}  // namespace
}  // namespace wexal
