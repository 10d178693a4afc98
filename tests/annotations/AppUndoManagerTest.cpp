#include "annotations/AppUndoManager.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace ombrix;

namespace {

// Writes "+name" on execute and "-name" on undo into a shared journal.
class JournalCommand : public UndoableCommand {
public:
    JournalCommand(std::string name, std::vector<std::string>& journal)
        : name_(std::move(name)), journal_(journal) {}
    void execute() override { journal_.push_back("+" + name_); }
    void undo() override { journal_.push_back("-" + name_); }

private:
    std::string name_;
    std::vector<std::string>& journal_;
};

using Journal = std::vector<std::string>;

class AppUndoManagerTest : public ::testing::Test {
protected:
    void record(const std::string& name) {
        manager.record(std::make_shared<JournalCommand>(name, journal));
    }
    Journal journal;
    AppUndoManager manager;
};

TEST_F(AppUndoManagerTest, UndoAndRedoPastEitherEndDoNothing) {
    manager.undo();
    manager.redo();
    record("a");
    manager.undo();
    manager.undo();
    manager.redo();
    manager.redo();
    EXPECT_EQ(journal, (Journal{"+a", "-a", "+a"}));
    EXPECT_TRUE(manager.canUndo());
    EXPECT_FALSE(manager.canRedo());
}

TEST_F(AppUndoManagerTest, RecordingDiscardsWhatWasUndone) {
    record("a");
    manager.undo();
    record("b");
    manager.redo();
    EXPECT_EQ(journal, (Journal{"+a", "-a", "+b"}));
    EXPECT_EQ(manager.undoStack.get().size(), 1u);
}

TEST_F(AppUndoManagerTest, UndoAndRedoAreLastInFirstOut) {
    for (const char* name : {"a", "b", "c"}) {
        record(name);
    }
    manager.undo();
    manager.undo();
    manager.redo();
    manager.undo();
    manager.undo();
    manager.redo();
    manager.redo();
    EXPECT_EQ(journal, (Journal{"+a", "+b", "+c", "-c", "-b", "+b", "-b", "-a", "+a", "+b"}));
}

TEST_F(AppUndoManagerTest, TenThousandCommandsAreAllKeptAndUndoneInReverse) {
    constexpr int n = 10000;
    for (int i = 0; i < n; ++i) {
        record(std::to_string(i));
    }
    while (manager.canUndo()) {
        manager.undo();
    }
    ASSERT_EQ(journal.size(), 2u * n);
    EXPECT_EQ(journal[n], "-" + std::to_string(n - 1));
    EXPECT_EQ(journal.back(), "-0");
    EXPECT_EQ(manager.redoStack.get().size(), static_cast<std::size_t>(n));
}

TEST_F(AppUndoManagerTest, StacksNotifyTheirObserversAndClearEmptiesBoth) {
    std::vector<std::size_t> undoSizes, redoSizes;
    auto u = manager.undoStack.observe([&](const auto& s) { undoSizes.push_back(s.size()); });
    auto r = manager.redoStack.observe([&](const auto& s) { redoSizes.push_back(s.size()); });
    record("a");
    record("b");
    manager.undo();
    EXPECT_EQ(undoSizes, (std::vector<std::size_t>{1, 2, 1}));
    EXPECT_EQ(redoSizes, (std::vector<std::size_t>{0, 0, 1}));

    manager.clear();
    manager.redo();
    manager.undo();
    EXPECT_EQ(journal, (Journal{"+a", "+b", "-b"}));
}

} // namespace
