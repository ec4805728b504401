#pragma once
// The main window's commands: captions of menu items and tool buttons, the
// picture of each button, and the handler they share. Menus and the tool bar
// are built from this table, in this order.

#include <QString>
#include <vector>

namespace orvane::shell {

enum class Command {
    Open, SaveTo, Save, Exit, Log2Log, Act2Log, AD2Log, MultyLog, Customize, Export, Docs, Web, About,
    FromWorkbook, Undo, Review, Compare
};

struct CommandInfo {
    Command command;
    const char* handler;      // the handler's name, e.g. "tbtnOpenClick"
    const char* menuCaption;  // nullptr: tool bar only ("&&" shows as "&")
    const char* toolCaption;  // nullptr: menu only
    int picture;              // index into the tool bar's picture list, or -1
};

const std::vector<CommandInfo>& commandTable();
const CommandInfo& commandInfo(Command command);

// Menu layout: top-level captions with their items; Separator marks a line.
struct MenuEntry {
    bool separator;
    Command command;
};
struct MenuInfo {
    const char* caption;
    std::vector<MenuEntry> entries;
};
const std::vector<MenuInfo>& menuLayout();

// Tool bar layout, left to right; separator entries have separator = true.
const std::vector<MenuEntry>& toolBarLayout();

} // namespace orvane::shell
