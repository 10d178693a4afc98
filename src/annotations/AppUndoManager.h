#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/UndoableCommand.h"
#include "core/Signal.h"

#include <memory>
#include <vector>

namespace ombrix {

// Runs commands and keeps them on two unbounded stacks, oldest first. Undo and redo are
// strictly last in, first out; recording a new command discards everything undone.
// Main thread only.
class AppUndoManager {
public:
    using Stack = std::vector<std::shared_ptr<UndoableCommand>>;

    Observable<Stack> undoStack;
    Observable<Stack> redoStack;

    // Executes the command and pushes it, even when its execution found nothing to do.
    void record(std::shared_ptr<UndoableCommand> command);
    void undo();
    void redo();

    bool canUndo() const { return !undoStack.get().empty(); }
    bool canRedo() const { return !redoStack.get().empty(); }
    void clear();
};

} // namespace ombrix

OMBRIX_API_END
