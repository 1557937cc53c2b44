#pragma once

#include <array>
#include <span>
#include <string>

namespace vellor {

// One entry of a drop-down menu: a command item, or a separator (id 0). Labels carry their Alt
// mnemonic as "&"; the text the user sees is the label with the "&" taken out. Shortcuts are
// written as Qt reads them ("Ctrl+Shift+C") and always hold Ctrl+Shift: a plain Ctrl+letter is
// the device's.
struct MenuEntry {
    int id = 0;
    const char* label = nullptr;
    const char* shortcut = nullptr;
    bool checkable = false;
    bool IsSeparator() const { return id == 0; }
};

struct MenuSpec {
    const char* title;
    std::span<const MenuEntry> entries;
};

// The five menus of the menu bar, left to right.
std::span<const MenuSpec> MainMenus();

// A label as shown: "&" marks removed, "&&" kept as one "&".
std::string StripMnemonic(const std::string& label);

}  // namespace vellor
