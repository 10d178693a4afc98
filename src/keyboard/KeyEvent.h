#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstdint>
#include <string>

namespace ombrix {

// Virtual key codes of the keys recognised by code rather than by their characters. The
// host translates its own keys into these before handing an event on.
namespace KeyCode {
inline constexpr std::uint16_t escape = 53;
inline constexpr std::uint16_t returnKey = 36;
inline constexpr std::uint16_t deleteBackward = 51;
inline constexpr std::uint16_t deleteForward = 117;
// Any key the engine knows only by its characters.
inline constexpr std::uint16_t other = 0xFFFF;
} // namespace KeyCode

// Command is the Control key and Option the Alt key on this platform.
struct KeyModifiers {
    bool shift = false;
    bool control = false;
    bool option = false;
    bool command = false;

    bool any() const { return shift || control || option || command; }
    bool operator==(const KeyModifiers&) const = default;
};

// One key-down event as the host saw it. Both strings are UTF-8 and empty when the key
// produces no text (a modifier pressed alone).
struct KeyEvent {
    std::string characters;                  // with every modifier applied
    std::string charactersIgnoringModifiers; // every modifier ignored except Shift
    KeyModifiers modifiers;
    std::uint16_t keyCode = KeyCode::other;

    // A key producing `text` as typed. With Command, Control or Option the modified
    // characters are left to the caller.
    static KeyEvent typed(std::string text, KeyModifiers modifiers = {}) {
        KeyEvent event;
        event.characters = text;
        event.charactersIgnoringModifiers = std::move(text);
        event.modifiers = modifiers;
        return event;
    }
    // Escape, Return, Delete or Forward Delete, with the characters those keys produce.
    static KeyEvent special(std::uint16_t code, KeyModifiers modifiers = {}) {
        KeyEvent event;
        switch (code) {
        case KeyCode::escape:
            event.characters = "\x1b";
            break;
        case KeyCode::returnKey:
            event.characters = "\r";
            break;
        case KeyCode::deleteBackward:
            event.characters = "\b";
            break;
        case KeyCode::deleteForward:
            event.characters = "\x7f";
            break;
        default:
            break;
        }
        event.charactersIgnoringModifiers = event.characters;
        event.modifiers = modifiers;
        event.keyCode = code;
        return event;
    }
    // A modifier key pressed on its own: no characters.
    static KeyEvent modifierOnly(KeyModifiers modifiers) {
        KeyEvent event;
        event.modifiers = modifiers;
        return event;
    }
};

} // namespace ombrix

OMBRIX_API_END
