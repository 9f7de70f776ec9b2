#include "programs/program_names.h"

#include <gtest/gtest.h>

namespace wexal {
namespace {

TEST(ProgramNamesTest, NamesStayInsideTheFolderAndApart) {
    struct Case {
        const char* line;
        int serial;
        const char* extension;
        const char* name;
    };
    const Case cases[] = {
        {"O1000(A)", 0, ".NC", "O1000.NC"},
        {":100", 0, ".NC", "O100.NC"},
        {"O1000", 12, ".NC", "O1000_012.NC"},
        {"O1000", 1234, ".NC", "O1000_1234.NC"},
        {"O../../X", 0, ".NC", "O..%2F..%2FX.NC"},
        {"O1/2", 0, ".NC", "O1%2F2.NC"},
        {":A*B", 0, ".NC", "OA%2AB.NC"},
        {"O1%2F2", 0, ".NC", "O1%252F2.NC"},  // never the name of "O1/2"
        {"O1\\2:3", 0, "", "O1%5C2%3A3"},
        {"O5", 0, "/../x", "O5%2F..%2Fx"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProgramFileName(c.line, c.serial, c.extension), c.name) << c.line;
    }
}

TEST(ProgramNamesTest, MaskExtensionDropsTheFirstCharacter) {
    EXPECT_EQ(MaskExtension("*.NC"), ".NC");
    EXPECT_EQ(MaskExtension("*"), "");
    EXPECT_EQ(MaskExtension(""), "");
    EXPECT_EQ(MaskExtension("＊.NC"), ".NC");
}

}  // namespace
}  // namespace wexal
