#include "ui/platform/QtUserInteraction.h"

#include "ui/support/Person.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QtTest>

using namespace ombrix;

class QtUserInteractionTest : public QObject {
    Q_OBJECT
private slots:
    void thePasswordIsTypedHiddenAndCancelGivesNone() {
        ui::QtUserInteraction user;
        uitest::Person person({QString("s3cret pass"), std::nullopt});
        QCOMPARE(user.askPassword("report", false), std::optional<std::string>("s3cret pass"));
        QCOMPARE(user.askPassword("report", true), std::optional<std::string>());
        QCOMPARE(person.prompts.size(), std::size_t(2));
        QCOMPARE(person.hidden, (std::vector<bool>{true, true}));
        QCOMPARE(person.prompts[0],
                 QString("“report” is protected by a password. Enter it to open the document:"));
        QCOMPARE(person.prompts[1], QString("That password does not open “report”. Try again:"));
    }

    void alertsAreMessageBoxesOfTheirStyle() {
        ui::QtUserInteraction user;
        uitest::Person person;
        user.showAlert("Table copied", "3 rows");
        user.showAlert("Formula failed", "No server", AlertStyle::warning);
        QCOMPARE(person.alerts,
                 (std::vector<QString>{"Table copied: 3 rows", "Formula failed: No server"}));
        QCOMPARE(person.warnings, (std::vector<bool>{false, true}));
    }

    void theClipboardGetsTextAndHtml() {
        ui::QtUserInteraction user;
        user.copyToClipboard("a | b", std::string("<table><tr><td>a</td><td>b</td></tr></table>"));
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QCOMPARE(data->text(), QString("a | b"));
        QVERIFY(data->hasHtml());
        QVERIFY(data->html().contains("<td>b</td>"));
        user.copyToClipboard("plain");
        QCOMPARE(QGuiApplication::clipboard()->mimeData()->text(), QString("plain"));
        QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasHtml());
    }
};

QTEST_MAIN(QtUserInteractionTest)
#include "QtUserInteractionTest.moc"
