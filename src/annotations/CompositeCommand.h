#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/UndoableCommand.h"

#include <memory>
#include <vector>

namespace ombrix {

// Several commands as one step: run in order, undone in reverse. A text selection that
// runs over pages becomes one markup per page this way, undone at once. Main thread only.
class CompositeCommand : public UndoableCommand {
public:
    explicit CompositeCommand(std::vector<std::shared_ptr<UndoableCommand>> parts)
        : parts_(std::move(parts)) {}

    void execute() override {
        for (const auto& part : parts_) {
            part->execute();
        }
    }
    void undo() override {
        for (auto it = parts_.rbegin(); it != parts_.rend(); ++it) {
            (*it)->undo();
        }
    }
    CommandScope scope() const override {
        CommandScope merged;
        for (const auto& part : parts_) {
            CommandScope one = part->scope();
            if (!merged.document) {
                merged.document = one.document;
            }
            merged.pages.insert(merged.pages.end(), one.pages.begin(), one.pages.end());
        }
        return merged;
    }

    const std::vector<std::shared_ptr<UndoableCommand>>& parts() const { return parts_; }

private:
    std::vector<std::shared_ptr<UndoableCommand>> parts_;
};

} // namespace ombrix

OMBRIX_API_END
