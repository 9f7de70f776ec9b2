#include "platform/fit_text.h"

#include <gtest/gtest.h>

#include "platform/text_codec.h"

namespace wexal {
namespace {

TEST(FitTextTest, KeepsTheBeginningAndTheEndAndCutsTheNameFirst) {
    struct Row {
        const char* text;
        std::size_t columns;
        const char* shown;
    };
    const Row rows[] = {
        {"送信完了しました。!!", 40, "送信完了しました。!!"},
        {"すでにVERYLONGFILENAME_0123456789.NCが有ります。", 30,
         "すでにVERYL…89.NCが有ります。"},
        // A name too short to take the cut: the middle of the whole text goes.
        {"すでにB.NCが有ります。名前を変更できません!!", 30,
         "すでにB.NCが有…更できません!!"},
        {"/home/op/a very long folder name/O1000.NC", 20, "/home/op/…/O1000.NC"},
        {"ABCDEFGHIJ", 1, ""},
    };
    for (const Row& row : rows) {
        const std::string shown = FitMiddle(row.text, row.columns);
        EXPECT_EQ(shown, row.shown) << row.text;
        EXPECT_LE(Cp932Width(shown), row.columns) << row.text;
    }
}

}  // namespace
}  // namespace wexal
