#pragma once

#include <QString>
#include <Qt>
#include <vector>

#include "input/keyboard.h"

namespace vellor {

// What a key press in the view means for the device: an arrow sequence, some character codes
// (one per UTF-16 unit), or nothing.
struct KeyAction {
    enum class Kind { None, Arrow, Chars };
    Kind kind = Kind::None;
    ArrowKey arrow = ArrowKey::Left;
    std::vector<uint16_t> units;
};

// Enter gives CR, Backspace BS, Tab HT, Esc ESC; Ctrl with a letter or one of [ \ ] ^ _ gives
// the control byte; other keys give their text. Alt combinations belong to the menus.
KeyAction KeyActionFor(int key, Qt::KeyboardModifiers modifiers, const QString& text);

}  // namespace vellor
