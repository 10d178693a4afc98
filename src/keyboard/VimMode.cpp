#include "keyboard/VimMode.h"

namespace ombrix {

const char* toString(VimMode mode) {
    switch (mode) {
    case VimMode::normal:
        return "normal";
    case VimMode::visual:
        return "visual";
    case VimMode::command:
        return "command";
    case VimMode::outline:
        return "outline";
    case VimMode::hint:
        return "hint";
    }
    return "normal";
}

} // namespace ombrix
