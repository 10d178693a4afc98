#include "ui/platform/FileOpener.h"

#include "core/LogSink.h"
#include "pdfkit/Document.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "ui/platform/QtMainQueue.h"
#include "ui/platform/QtUserInteraction.h"
#include "ui/support/Person.h"
#include "ui/support/UiTestSupport.h"

#include <QApplication>
#include <QtTest>
#include <algorithm>
#include <fstream>
#include <optional>

using namespace ombrix;

class FileOpenerTest : public QObject {
    Q_OBJECT
private:
    testing::TempDir dir;
    std::shared_ptr<MemorySink> sink;

    struct Outcome {
        bool finished = false;
        std::shared_ptr<PDFDocument> document;
    };
    Outcome open(const std::filesystem::path& path, UserInteraction& user) {
        ui::FileOpener opener(user, Logging("com.ombrix.pdf", "test", sink));
        Outcome outcome;
        opener.open(path, [&](std::shared_ptr<PDFDocument> document) {
            outcome.finished = true;
            outcome.document = std::move(document);
        });
        uitest::waitUntil([&] { return outcome.finished; }, 20000);
        return outcome;
    }
    bool logged(const std::string& part) const {
        auto lines = sink->lines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }

private slots:
    void initTestCase() {
        setMainQueue(ui::QtMainQueue::install());
        testing::writeEncryptedPdf(dir / "locked.pdf", "secret");
    }
    void init() { sink = std::make_shared<MemorySink>(true); }

    void theRightPasswordOpensTheDocument() {
        ui::QtUserInteraction user;
        uitest::Person person({QString("secret")});
        Outcome outcome = open(dir / "locked.pdf", user);
        QVERIFY(outcome.finished);
        QVERIFY(outcome.document);
        QCOMPARE(outcome.document->pageCount, 2);
        QCOMPARE(person.prompts.size(), std::size_t(1));
        QVERIFY(person.prompts[0].contains("“locked” is protected by a password"));
        QVERIFY(person.alerts.empty());
    }

    void aWrongPasswordAsksAgainSayingSo() {
        ui::QtUserInteraction user;
        uitest::Person person({QString("guess"), QString("secret")});
        Outcome outcome = open(dir / "locked.pdf", user);
        QVERIFY(outcome.document);
        QCOMPARE(person.prompts.size(), std::size_t(2));
        QVERIFY(!person.prompts[0].contains("does not open"));
        QCOMPARE(person.prompts[1], QString("That password does not open “locked”. Try again:"));
        QVERIFY(person.alerts.empty());
    }

    void cancellingClosesQuietly() {
        ui::QtUserInteraction user;
        uitest::Person person({std::nullopt});
        Outcome outcome = open(dir / "locked.pdf", user);
        QVERIFY(outcome.finished);
        QVERIFY(!outcome.document);
        QCOMPARE(person.prompts.size(), std::size_t(1));
        QVERIFY(person.alerts.empty());
        QVERIFY(!logged("Cannot open"));
    }

    void scriptedAnswersDriveTheSamePromptsHeadless() {
        HeadlessUserInteraction user;
        user.passwordAnswers = {std::string("guess"), std::string("also wrong")};
        Outcome outcome = open(dir / "locked.pdf", user);
        QVERIFY(outcome.finished);
        QVERIFY(!outcome.document); // the answers ran out: cancelled
        const std::vector<HeadlessUserInteraction::PasswordPrompt> expected = {
            {"locked", false}, {"locked", true}, {"locked", true}};
        QVERIFY(user.passwordPrompts() == expected);
        QVERIFY(user.alerts().empty());
    }

    void aRepairedFileOpensAndTheRepairIsLogged() {
        // A sound file whose cross-reference offset points nowhere: MuPDF rebuilds it.
        testing::writePdf(testing::textDocument(2), dir / "moved.pdf");
        std::string bytes;
        {
            std::ifstream in(dir / "moved.pdf", std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        const auto at = bytes.rfind("startxref");
        QVERIFY(at != std::string::npos);
        bytes.replace(at + 10, bytes.find('\n', at + 10) - (at + 10), "17");
        std::ofstream(dir / "moved.pdf", std::ios::binary | std::ios::trunc) << bytes;

        HeadlessUserInteraction user;
        Outcome outcome = open(dir / "moved.pdf", user);
        QVERIFY(outcome.document);
        QCOMPARE(outcome.document->pageCount, 2);
        QVERIFY(logged("Opened moved.pdf after repairing it"));
        QVERIFY(user.alerts().empty());
    }

    void filesThatCannotOpenSayWhy() {
        testing::writeTextFileNamedPdf(dir / "notes.pdf");
        HeadlessUserInteraction user;
        QVERIFY(!open(dir / "notes.pdf", user).document);
        QVERIFY(!open(dir / "missing.pdf", user).document);
        QCOMPARE(user.alerts().size(), std::size_t(2));
        QCOMPARE(user.alerts()[0].title, std::string("“notes.pdf” cannot be opened"));
        QVERIFY(!user.alerts()[0].message.empty());
        QVERIFY(user.alerts()[0].message != user.alerts()[1].message);
        QVERIFY(user.alerts()[1].style == AlertStyle::warning);
    }
};

QTEST_MAIN(FileOpenerTest)
#include "FileOpenerTest.moc"
