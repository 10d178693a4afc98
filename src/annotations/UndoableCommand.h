#pragma once

namespace ombrix {

// A user change that can be taken back. Neither step reports failure: a command that
// finds nothing to act on does nothing.
class UndoableCommand {
public:
    virtual ~UndoableCommand() = default;
    virtual void execute() = 0;
    virtual void undo() = 0;
};

} // namespace ombrix
