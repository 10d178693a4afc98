#include "annotations/AppUndoManager.h"

namespace ombrix {

void AppUndoManager::record(std::shared_ptr<UndoableCommand> command) {
    if (!command) {
        return;
    }
    command->execute();
    undoStack.mutate([&](Stack& stack) { stack.push_back(std::move(command)); });
    redoStack.mutate([](Stack& stack) { stack.clear(); });
}

void AppUndoManager::undo() {
    if (undoStack.get().empty()) {
        return;
    }
    // Off the stack before it runs, so whatever the command or an observer does to the
    // stacks meanwhile cannot make us pop a different one.
    std::shared_ptr<UndoableCommand> command;
    undoStack.mutate([&](Stack& stack) {
        command = std::move(stack.back());
        stack.pop_back();
    });
    command->undo();
    redoStack.mutate([&](Stack& stack) { stack.push_back(std::move(command)); });
}

void AppUndoManager::redo() {
    if (redoStack.get().empty()) {
        return;
    }
    std::shared_ptr<UndoableCommand> command;
    redoStack.mutate([&](Stack& stack) {
        command = std::move(stack.back());
        stack.pop_back();
    });
    command->execute();
    undoStack.mutate([&](Stack& stack) { stack.push_back(std::move(command)); });
}

void AppUndoManager::clear() {
    undoStack.mutate([](Stack& stack) { stack.clear(); });
    redoStack.mutate([](Stack& stack) { stack.clear(); });
}

} // namespace ombrix
