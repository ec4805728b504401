#include "shell/ErrorBox.h"

#include <gtest/gtest.h>

using orvane::shell::errorBoxText;
using orvane::shell::titleFromProgramPath;

TEST(ErrorBoxText, FullStopOnlyAfterCharactersThatSortAfterTheDot)
{
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Loading project failed!", "Loading project failed!"},
        {"Project loading canceled by user.", "Project loading canceled by user."},
        {"Invalid user name", "Invalid user name."},
        {"Code 42", "Code 42."},                 // digits sort after "."
        {"(see log)", "(see log)"},              // ")" sorts before "."
        {"List index out of bounds (150)", "List index out of bounds (150)"},
        {"Path is C:/", "Path is C:/."},         // "/" sorts after "."
        {"", ""},
        {"Ends in a dash -", "Ends in a dash -"},
        {"Bad value: Straße", "Bad value: Straße."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorBoxText(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown)) << c.message;
}

TEST(ErrorBoxText, TitleBeforeStartUpComesFromTheProgramName)
{
    EXPECT_EQ(titleFromProgramPath("/opt/orvane/bin/orvane"), "orvane");
    EXPECT_EQ(titleFromProgramPath("C:/Program Files/ORVANE.EXE"), "Orvane");
    EXPECT_EQ(titleFromProgramPath("/x/MyTool.v2.exe"), "Mytool");
}
