#include "ui/support/Person.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

namespace ombrix::uitest {

Person::Person(std::vector<std::optional<QString>> answers) : answers_(std::move(answers)) {
    connect(&timer_, &QTimer::timeout, this, [this] { look(); });
    timer_.start(20);
}

void Person::look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* dialog = qobject_cast<QInputDialog*>(modal)) {
        prompts.push_back(dialog->labelText());
        hidden.push_back(dialog->textEchoMode() == QLineEdit::Password);
        auto* field = dialog->findChild<QLineEdit*>();
        std::optional<QString> answer;
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.erase(answers_.begin());
        }
        if (answer) {
            QTest::keyClicks(field, *answer);
            QTest::keyClick(field, Qt::Key_Return);
        } else {
            QTest::keyClick(field, Qt::Key_Escape);
        }
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        alerts.push_back(box->windowTitle() + ": " + box->text());
        warnings.push_back(box->icon() == QMessageBox::Warning);
        box->accept();
    }
}

} // namespace ombrix::uitest
