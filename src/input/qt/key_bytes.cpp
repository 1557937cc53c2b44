#include "input/qt/key_bytes.h"

namespace vellor {

namespace {

KeyAction Chars(uint16_t code) {
    return {KeyAction::Kind::Chars, ArrowKey::Left, {code}};
}

KeyAction Arrow(ArrowKey key) {
    return {KeyAction::Kind::Arrow, key, {}};
}

}  // namespace

KeyAction KeyActionFor(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    if (modifiers & Qt::AltModifier) return {};
    switch (key) {
        case Qt::Key_Left:
            return Arrow(ArrowKey::Left);
        case Qt::Key_Up:
            return Arrow(ArrowKey::Up);
        case Qt::Key_Right:
            return Arrow(ArrowKey::Right);
        case Qt::Key_Down:
            return Arrow(ArrowKey::Down);
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return Chars(0x0D);
        case Qt::Key_Backspace:
            return Chars(0x08);
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return Chars(0x09);
        case Qt::Key_Escape:
            return Chars(0x1B);
        default:
            break;
    }
    if (modifiers & Qt::ControlModifier) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z) return Chars(uint16_t(key - Qt::Key_A + 1));
        switch (key) {
            case Qt::Key_BracketLeft:
                return Chars(0x1B);
            case Qt::Key_Backslash:
                return Chars(0x1C);
            case Qt::Key_BracketRight:
                return Chars(0x1D);
            case Qt::Key_AsciiCircum:
                return Chars(0x1E);
            case Qt::Key_Underscore:
                return Chars(0x1F);
            default:
                return {};
        }
    }
    // Keys without a character of their own (Delete, function keys, ...) send nothing.
    if (text.isEmpty() || key == Qt::Key_Delete) return {};
    KeyAction action{KeyAction::Kind::Chars, ArrowKey::Left, {}};
    for (QChar unit : text)
        action.units.push_back(unit.unicode());
    return action;
}

}  // namespace vellor
