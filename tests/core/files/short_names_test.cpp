#include "files/short_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/text_codec.h"

namespace wexal {
namespace {

std::map<std::string, std::string> FormsOf(const std::vector<std::string>& names) {
    std::vector<std::string_view> views(names.begin(), names.end());
    const std::vector<std::uint32_t> numbers = AssignShortNames(views);
    std::map<std::string, std::string> forms;
    for (std::size_t i = 0; i < names.size(); ++i)
        forms[names[i]] = ShortName(names[i], numbers[i]);
    return forms;
}

TEST(ShortNamesTest, FormOfEachNameAlone) {
    struct Case {
        std::string name;
        const char* form;
    };
    const Case cases[] = {
        {"o1234.nc", "O1234.NC"},
        {"README", "README"},
        {"program_00001.nc", "PROGRA~1.NC"},
        {".profile", "PROFIL~1"},
        {"a b.nc", "AB~1.NC"},
        {"a+b.nc", "A_B~1.NC"},
        {"x.tar.gz", "XTAR~1.GZ"},
        {"O1.NCX1", "O1~1.NCX"},
        {"金型.NC", "金型.NC"},
        {"金型加工用.NC", "金型加~1.NC"},
        {"ﾃｽﾄﾌﾟﾛｸﾞﾗﾑ.nc", "ﾃｽﾄﾌﾟﾛ~1.NC"},
        {"\xff.nc", "_~1.NC"},
        {"-rf", "-RF"},
        {"new\nline", "NEW_LI~1"},
        {"trailing.", "TRAILI~1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormsOf({c.name})[c.name], c.form) << c.name;
    }
}

TEST(ShortNamesTest, UniqueWithinAFolderAndIndependentOfReadingOrder) {
    std::vector<std::string> names = {"O1.NC", "o1.nc", "PROGRA~1.NC", "program_1.nc",
                                      std::string(255, 'n') + ".nc"};
    for (int i = 0; i < 3000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "program_%05d.nc", i);
        names.emplace_back(name);
    }
    const auto forms = FormsOf(names);
    EXPECT_EQ(forms.at("O1.NC"), "O1.NC");
    EXPECT_EQ(forms.at("o1.nc"), "O1~1.NC");
    EXPECT_EQ(forms.at("PROGRA~1.NC"), "PROGRA~1.NC");  // a real name keeps its form
    EXPECT_EQ(forms.at("program_00000.nc"), "PROGRA~2.NC");
    EXPECT_EQ(forms.at("program_00008.nc"), "PROGR~10.NC");

    std::set<std::string> distinct;
    for (const auto& [name, form] : forms) {
        distinct.insert(form);
        const std::string base = form.substr(0, form.find('.'));
        EXPECT_LE(Cp932Width(base), 8u) << form;
    }
    EXPECT_EQ(distinct.size(), names.size());

    std::shuffle(names.begin(), names.end(), std::mt19937(7));
    EXPECT_EQ(FormsOf(names), forms);
}

TEST(ShortNamesTest, ShortBaseIsTheFormWithoutExtension) {
    EXPECT_EQ(ShortBase("o1234.nc", 0), "O1234");
    EXPECT_EQ(ShortBase("program_00001.nc", 12), "PROGR~12");
    EXPECT_EQ(ShortName("program_00001.nc", 12345), "PR~12345.NC");
}

}  // namespace
}  // namespace wexal
