#include "ui/platform/DocumentQuestions.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace ombrix::ui {

namespace {

std::unique_ptr<QMessageBox> questionBox(const char* objectName, const QString& title,
                                         const QString& text, const QString& informative,
                                         QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setObjectName(objectName);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(title);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setInformativeText(informative);
    return box;
}

} // namespace

std::unique_ptr<QMessageBox> QtDocumentQuestions::unsavedBox(const std::string& documentName,
                                                             QWidget* parent) {
    auto box = questionBox("unsavedQuestion", QObject::tr("Unsaved Changes"),
                           QObject::tr("Save the changes to “%1” before closing?")
                               .arg(QString::fromStdString(documentName)),
                           QObject::tr("If you don’t save, your changes will be lost."), parent);
    box->setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box->button(QMessageBox::Discard)->setText(QObject::tr("Don’t Save"));
    box->setDefaultButton(QMessageBox::Save);
    box->setEscapeButton(QMessageBox::Cancel);
    return box;
}

std::unique_ptr<QMessageBox> QtDocumentQuestions::changedOnDiskBox(const std::string& documentName,
                                                                   QWidget* parent) {
    auto box = questionBox(
        "changedOnDiskQuestion", QObject::tr("File Changed on Disk"),
        QObject::tr("“%1” was changed by another program since you opened it.")
            .arg(QString::fromStdString(documentName)),
        QObject::tr("Your changes were not saved over it. Reload the file from disk (your "
                    "changes are dropped), or save them as a copy?"),
        parent);
    box->addButton(QObject::tr("Save a Copy…"), QMessageBox::AcceptRole)->setObjectName("saveCopy");
    box->addButton(QObject::tr("Reload"), QMessageBox::DestructiveRole)->setObjectName("reload");
    box->setDefaultButton(box->addButton(QMessageBox::Cancel));
    box->setEscapeButton(QMessageBox::Cancel);
    return box;
}

DocumentQuestions::UnsavedAnswer QtDocumentQuestions::askUnsaved(const std::string& documentName) {
    auto box = unsavedBox(documentName, parent_);
    switch (box->exec()) {
    case QMessageBox::Save:
        return UnsavedAnswer::save;
    case QMessageBox::Discard:
        return UnsavedAnswer::discard;
    default:
        return UnsavedAnswer::cancel;
    }
}

DocumentQuestions::ChangedOnDiskAnswer
QtDocumentQuestions::askChangedOnDisk(const std::string& documentName) {
    auto box = changedOnDiskBox(documentName, parent_);
    box->exec();
    const QString chosen = box->clickedButton() ? box->clickedButton()->objectName() : QString();
    if (chosen == "saveCopy") {
        return ChangedOnDiskAnswer::saveCopy;
    }
    if (chosen == "reload") {
        return ChangedOnDiskAnswer::reload;
    }
    return ChangedOnDiskAnswer::cancel;
}

std::optional<std::filesystem::path>
QtDocumentQuestions::chooseCopyPath(const std::filesystem::path& suggestion) {
    QFileDialog dialog(parent_, QObject::tr("Save a Copy"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QObject::tr("PDF documents (*.pdf)"));
    dialog.setDefaultSuffix("pdf");
    dialog.selectFile(QString::fromStdString(suggestion.string()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(dialog.selectedFiles().constFirst().toStdString());
}

} // namespace ombrix::ui
