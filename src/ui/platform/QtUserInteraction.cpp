#include "ui/platform/QtUserInteraction.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

namespace ombrix::ui {

namespace {

QString toQt(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

std::optional<std::filesystem::path> QtUserInteraction::chooseOnePDF() {
    QFileDialog dialog(parent_, QObject::tr("Open PDF"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(QObject::tr("PDF documents (*.pdf *.PDF)"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(chosen.toStdString());
}

void QtUserInteraction::requestTermination() {
    // Queued, so the event that asked finishes first.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void QtUserInteraction::showAlert(const std::string& title, const std::string& message,
                                  AlertStyle style) {
    QMessageBox box(style == AlertStyle::warning ? QMessageBox::Warning : QMessageBox::Information,
                    toQt(title), toQt(message), QMessageBox::Ok, parent_);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtUserInteraction::confirm(const std::string& title, const std::string& message,
                                const std::string& confirmButton) {
    QMessageBox box(QMessageBox::Question, toQt(title), toQt(message), QMessageBox::NoButton,
                    parent_);
    box.setTextFormat(Qt::PlainText);
    QPushButton* yes = box.addButton(toQt(confirmButton), QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel)); // Return does not open unasked
    box.exec();
    return box.clickedButton() == yes;
}

UserInteraction::Choice QtUserInteraction::choose(const std::string& title,
                                                  const std::string& message,
                                                  const std::string& firstButton,
                                                  const std::string& secondButton) {
    // The question is the box's main line too: not every window manager shows titles.
    // (The informative text would guess at rich text, and names come from files.)
    QMessageBox box(QMessageBox::Question, toQt(title), toQt(title + "\n\n" + message),
                    QMessageBox::NoButton, parent_);
    box.setTextFormat(Qt::PlainText);
    QPushButton* first = box.addButton(toQt(firstButton), QMessageBox::AcceptRole);
    first->setObjectName("choiceFirst");
    QPushButton* second = box.addButton(toQt(secondButton), QMessageBox::DestructiveRole);
    second->setObjectName("choiceSecond");
    box.setDefaultButton(first);
    // Escape and the close button answer neither.
    box.setEscapeButton(box.addButton(QMessageBox::Cancel));
    box.button(QMessageBox::Cancel)->hide();
    box.exec();
    if (box.clickedButton() == first) {
        return Choice::first;
    }
    return box.clickedButton() == second ? Choice::second : Choice::dismissed;
}

std::unique_ptr<QMessageBox> QtUserInteraction::actionAlertBox(const std::string& title,
                                                               const std::string& message,
                                                               const std::string& actionButton,
                                                               AlertStyle style, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(
        style == AlertStyle::warning ? QMessageBox::Warning : QMessageBox::Information, toQt(title),
        toQt(message), QMessageBox::NoButton, parent);
    box->setTextFormat(Qt::PlainText);
    QPushButton* action = box->addButton(toQt(actionButton), QMessageBox::ActionRole);
    action->setObjectName("alertAction");
    box->setDefaultButton(box->addButton(QMessageBox::Ok));
    return box;
}

bool QtUserInteraction::showAlertWithAction(const std::string& title, const std::string& message,
                                            const std::string& actionButton, AlertStyle style) {
    auto box = actionAlertBox(title, message, actionButton, style, parent_);
    box->exec();
    return box->clickedButton() == box->findChild<QPushButton*>("alertAction");
}

void QtUserInteraction::showFolder(const std::filesystem::path& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

void QtUserInteraction::beep() {
    QApplication::beep();
}

void QtUserInteraction::copyToClipboard(const std::string& plainText,
                                        const std::optional<std::string>& html) {
    auto* data = new QMimeData;
    data->setText(toQt(plainText));
    if (html) {
        data->setHtml(toQt(*html));
    }
    QGuiApplication::clipboard()->setMimeData(data); // the clipboard takes ownership
}

QString QtUserInteraction::passwordPromptText(const std::string& documentName,
                                              bool afterWrongPassword) {
    const QString name = toQt(documentName);
    if (afterWrongPassword) {
        return QObject::tr("That password does not open “%1”. Try again:").arg(name);
    }
    return QObject::tr("“%1” is protected by a password. Enter it to open the document:").arg(name);
}

std::optional<std::string> QtUserInteraction::askPassword(const std::string& documentName,
                                                          bool afterWrongPassword) {
    QInputDialog dialog(parent_);
    dialog.setObjectName("passwordDialog");
    dialog.setWindowTitle(QObject::tr("Password"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setLabelText(passwordPromptText(documentName, afterWrongPassword));
    dialog.setOkButtonText(QObject::tr("Open"));
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.textValue().toStdString();
}

} // namespace ombrix::ui
