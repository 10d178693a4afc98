#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <memory>
#include <vector>

namespace ombrix {

class PDFDocument;

// What a command changes: the views repaint these pages of this document after it runs
// or is undone, whatever kind of command it is.
struct CommandScope {
    std::shared_ptr<PDFDocument> document;
    std::vector<int> pages; // 0-based
};

// A user change that can be taken back. Neither step reports failure: a command that
// finds nothing to act on does nothing.
class UndoableCommand {
public:
    virtual ~UndoableCommand() = default;
    virtual void execute() = 0;
    virtual void undo() = 0;
    // None when the command cannot say (the views then repaint nothing of their own).
    virtual CommandScope scope() const { return {}; }
};

} // namespace ombrix

OMBRIX_API_END
