#include "ui/window/KeyTranslation.h"

#include <QKeyEvent>

namespace ombrix::ui {

KeyEvent translateKeyEvent(const QKeyEvent& event) {
    const Qt::KeyboardModifiers mods = event.modifiers();
    KeyModifiers modifiers;
    modifiers.shift = mods & Qt::ShiftModifier;
    modifiers.command = mods & Qt::ControlModifier; // Command is Ctrl here
    modifiers.option = mods & Qt::AltModifier;
    modifiers.control = mods & Qt::MetaModifier;

    switch (event.key()) {
    case Qt::Key_Escape:
        return KeyEvent::special(KeyCode::escape, modifiers);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return KeyEvent::special(KeyCode::returnKey, modifiers);
    case Qt::Key_Backspace:
        return KeyEvent::special(KeyCode::deleteBackward, modifiers);
    case Qt::Key_Delete:
        return KeyEvent::special(KeyCode::deleteForward, modifiers);
    default:
        break;
    }

    KeyEvent key;
    key.modifiers = modifiers;
    const QString text = event.text();
    // With Ctrl held Qt reports a control character: only printable text counts.
    if (!text.isEmpty() && text.at(0).isPrint()) {
        key.characters = text.toStdString();
    }
    const int code = event.key();
    if (code >= Qt::Key_A && code <= Qt::Key_Z) {
        const char letter = static_cast<char>((modifiers.shift ? 'A' : 'a') + (code - Qt::Key_A));
        key.charactersIgnoringModifiers = std::string(1, letter);
        if (key.characters.empty()) {
            key.characters = key.charactersIgnoringModifiers;
        }
    } else {
        key.charactersIgnoringModifiers = key.characters;
    }
    return key;
}

} // namespace ombrix::ui
