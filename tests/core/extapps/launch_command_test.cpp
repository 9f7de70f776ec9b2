#include "extapps/launch_command.h"

#include <gtest/gtest.h>

namespace wexal {
namespace {

using Words = std::vector<std::string>;

TEST(Placeholders, FromTheSelectedFile) {
    const FilePlaceholders values = PlaceholdersOf("/home/op/nc", "O1234.NC");
    EXPECT_EQ(values.fullPath, "/home/op/nc/O1234.NC");
    EXPECT_EQ(values.fullPathNoExt, "/home/op/nc/O1234");
    EXPECT_EQ(values.fileName, "O1234.NC");
    EXPECT_EQ(values.fileNameNoExt, "O1234");
    EXPECT_EQ(PlaceholdersOf("/", "a.b.NC").fullPathNoExt, "/a.b");
    EXPECT_EQ(PlaceholdersOf("/nc", "PROGRAM").fileNameNoExt, "PROGRAM");
}

TEST(Placeholders, TheLaterOneWinsThePrefill) {
    const FilePlaceholders values = PlaceholdersOf("/nc", "O1234.NC");
    const struct {
        const char* command;
        const char* argument;
    } cases[] = {
        {"/usr/bin/view $A", "/nc/O1234.NC"},
        {"/usr/bin/view $B", "/nc/O1234"},
        {"/usr/bin/view $C", "O1234.NC"},
        {"/usr/bin/view $D", "O1234"},
        {"/usr/bin/view $A $C", "O1234.NC"},
        {"/usr/bin/view $D $A", "O1234"},  // by the order of testing, not of position
        {"/usr/bin/view $a -x", ""},       // placeholders are capitals
        {"/usr/bin/view", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PrefillArgument(c.command, values), c.argument) << c.command;
}

TEST(ArgumentDialogCommand, TheArgumentStandsForEveryPlaceholderAsOneWord) {
    const struct {
        const char* command;
        const char* argument;
        Words argv;
    } cases[] = {
        {"/usr/bin/view $A", "/nc/O1234.NC", {"/usr/bin/view", "/nc/O1234.NC"}},
        {"/usr/bin/view $A --name=$C", "O1.NC", {"/usr/bin/view", "O1.NC", "--name=O1.NC"}},
        {"/usr/bin/view $A", "/nc/my prg/a;b.NC", {"/usr/bin/view", "/nc/my prg/a;b.NC"}},
        // What goes in is not searched again for placeholders.
        {"/usr/bin/view $A $B", "x$By$C", {"/usr/bin/view", "x$By$C", "x$By$C"}},
        {"\"/opt/My View/view\" -f $A", "-a.NC", {"/opt/My View/view", "-f", "-a.NC"}},
        // An empty argument starts the program alone.
        {"/usr/bin/view -f $A", "", {"/usr/bin/view"}},
        // Without a placeholder the command stands as written.
        {"/usr/bin/view -f", "x", {"/usr/bin/view", "-f"}},
        {"/usr/bin/view", "x", {"/usr/bin/view"}},
        {"", "x", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ArgumentDialogCommand(c.command, c.argument), c.argv) << c.command;
    }
    EXPECT_EQ(CommandProgram("\"/opt/My View/view\" $A"), "/opt/My View/view");
}

}  // namespace
}  // namespace wexal
