#include "shell/CommandTable.h"

#include <stdexcept>

namespace orvane::shell {

const std::vector<CommandInfo>& commandTable()
{
    static const std::vector<CommandInfo> table = {
        {Command::Open, "tbtnOpenClick", "Get logs from P3...", "Open project", 0},
        {Command::SaveTo, "tbtnSaveToClick", "Set logs to P3...", "Save to Primavera", 4},
        {Command::Save, "tbtnSaveClick", nullptr, "Save", 8},
        {Command::Exit, "mExitClick", "Exit", nullptr, -1},
        {Command::Log2Log, "tbtnLog2LogClick", "Log # X => Log # Y...", "Log# X => Log# Y", 1},
        {Command::Act2Log, "tbtnAct2LogClick", "Description && Log...", "Description & Log", 2},
        {Command::AD2Log, "mAD2LogClick", "Activity data => Log...", "Data => Log", 3},
        {Command::MultyLog, "mMultyLogClick", "Logs multy edit...", "Multy edit logs", 6},
        {Command::Customize, "mCustClick", "Customize fields...", "Customize fields", 7},
        {Command::Export, "m2ExcellClick", "Export to MS Excell...", "Export to Excell", 5},
        {Command::Docs, "mDocsClick", "Orvane Help", nullptr, -1},
        {Command::Web, "mWebClick", "Marbolt ltd. Home Page", nullptr, -1},
        {Command::About, "mAboutClick", "About...", nullptr, -1},
        {Command::FromWorkbook, "mFromWorkbookClick", "Get logs from workbook...", "Logs from workbook", 9},
        {Command::Undo, "mUndoClick", "Undo (import and saves to P3 end the undo history)", nullptr, -1},
        {Command::Review, "mReviewClick", "Review changes...", nullptr, -1},
        {Command::Compare, "mCompareClick", "Compare with P3...", nullptr, -1},
    };
    return table;
}

const CommandInfo& commandInfo(Command command)
{
    for (const CommandInfo& info : commandTable())
        if (info.command == command)
            return info;
    throw std::logic_error("command missing from the command table");
}

const std::vector<MenuInfo>& menuLayout()
{
    static const std::vector<MenuInfo> menus = {
        {"File",
         {{false, Command::Open}, {false, Command::SaveTo}, {false, Command::Compare}, {true, Command::Exit},
          {false, Command::Exit}}},
        {"Edit", {{false, Command::Undo}, {true, Command::Exit}, {false, Command::Review}}},
        {"Actions",
         {{false, Command::Log2Log}, {false, Command::Act2Log}, {false, Command::AD2Log}, {true, Command::Exit},
          {false, Command::MultyLog}, {false, Command::Customize}, {true, Command::Exit}, {false, Command::Export},
          {false, Command::FromWorkbook}}},
        {"Help",
         {{false, Command::Docs}, {true, Command::Exit}, {false, Command::Web}, {true, Command::Exit},
          {false, Command::About}}},
    };
    return menus;
}

const std::vector<MenuEntry>& toolBarLayout()
{
    static const std::vector<MenuEntry> bar = {
        {false, Command::Open}, {false, Command::Save}, {false, Command::SaveTo}, {true, Command::Exit},
        {false, Command::Log2Log}, {false, Command::Act2Log}, {false, Command::AD2Log}, {true, Command::Exit},
        {false, Command::MultyLog}, {false, Command::Customize}, {true, Command::Exit},
        {false, Command::Export}, {false, Command::FromWorkbook}, {true, Command::Exit},
    };
    return bar;
}

} // namespace orvane::shell
