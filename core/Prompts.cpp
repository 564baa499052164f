// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Prompts.h"

#include <QAbstractPrintDialog>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

#include "core/Process.h"

namespace core {

namespace {

// Room beside a window's title for the window manager's icon and buttons.
constexpr int kTitleBarExtra = 140;

class QtPrompts final : public Prompts
{
public:
    QPointer<QWidget> parent;

    QWidget *dialogParent() const { return parent ? parent.data() : QApplication::activeWindow(); }

    MsgResult message(const QString &text, MsgIcon icon, MsgButtons buttons,
                      const QString &caption) override
    {
        QMessageBox box(dialogParent());
        box.setWindowTitle(promptCaption(caption));
        box.setText(text);
        switch (icon) {
        case MsgIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MsgIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        }
        switch (buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        case MsgButtons::RetryCancel:
            box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Yes:
            return MsgResult::Yes;
        case QMessageBox::No:
            return MsgResult::No;
        case QMessageBox::Cancel:
            return MsgResult::Cancel;
        case QMessageBox::Retry:
            return MsgResult::Retry;
        default:
            return buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
        }
    }

    std::optional<QString> input(const QString &prompt, const QString &title,
                                 const QString &defaultText) override
    {
        QInputDialog dialog(dialogParent());
        dialog.setWindowTitle(promptCaption(title));
        dialog.setInputMode(QInputDialog::TextInput);
        dialog.setLabelText(prompt);
        dialog.setTextValue(defaultText);
        // Wide enough for the whole title next to the window manager's
        // buttons, and of a fixed size, so that no resize handle is drawn
        // under it.
        QFont titleFont = dialog.font();
        titleFont.setBold(true);
        const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(dialog.windowTitle());
        if (auto *edit = dialog.findChild<QLineEdit *>())
            edit->setMinimumWidth(titleWidth + kTitleBarExtra);
        // The dialog sets up its layout when first measured; the window
        // manager must see the fixed size before the box is mapped.
        dialog.sizeHint();
        if (dialog.layout())
            dialog.layout()->setSizeConstraint(QLayout::SetFixedSize);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.textValue();
    }

    FileDialogResult fileDialog(const FileDialogRequest &request) override
    {
        QFileDialog dialog(dialogParent(), request.title, request.folder);
        using Mode = FileDialogRequest::Mode;
        dialog.setAcceptMode(request.mode == Mode::Save ? QFileDialog::AcceptSave
                                                        : QFileDialog::AcceptOpen);
        if (request.mode == Mode::OpenMultiple)
            dialog.setFileMode(QFileDialog::ExistingFiles);
        else if (request.mode == Mode::Open)
            dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
        else
            dialog.setFileMode(QFileDialog::AnyFile);
        if (!request.confirmOverwrite)
            dialog.setOption(QFileDialog::DontConfirmOverwrite);
        // QFileDialog keeps its filters with runs of blanks collapsed, and
        // only finds a filter again in that form.
        QStringList filters;
        for (const QString &filter : request.nameFilters)
            filters << filter.simplified();
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters);
            const int index = qBound(0, request.filterIndex, int(filters.size()) - 1);
            dialog.selectNameFilter(filters.at(index));
        }
        if (!request.defaultSuffix.isEmpty())
            dialog.setDefaultSuffix(request.defaultSuffix);
        if (!request.fileName.isEmpty())
            dialog.selectFile(request.fileName);

        FileDialogResult result;
        result.accepted = dialog.exec() == QDialog::Accepted;
        if (result.accepted) {
            result.files = dialog.selectedFiles();
            result.filterIndex =
                std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter().simplified()));
        }
        return result;
    }

    QString folderDialog(const QString &title, const QString &startFolder) override
    {
        return QFileDialog::getExistingDirectory(dialogParent(), title, startFolder);
    }

    bool printDialog(QPrinter &printer, PrintRange *range) override
    {
        QPrintDialog dialog(&printer, dialogParent());
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
        if (range && range->maxPage > 0 && range->minPage <= range->maxPage)
            dialog.setMinMax(range->minPage, range->maxPage);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        if (range) {
            switch (dialog.printRange()) {
            case QAbstractPrintDialog::AllPages:
                range->kind = PrintRange::Kind::All;
                break;
            case QAbstractPrintDialog::Selection:
                range->kind = PrintRange::Kind::Selection;
                break;
            case QAbstractPrintDialog::PageRange:
                range->kind = PrintRange::Kind::PageRange;
                break;
            case QAbstractPrintDialog::CurrentPage:
                range->kind = PrintRange::Kind::CurrentPage;
                break;
            }
            range->from = dialog.fromPage();
            range->to = dialog.toPage();
        }
        return true;
    }

    bool pageSetupDialog(QPrinter &printer) override
    {
        QPageSetupDialog dialog(&printer, dialogParent());
        return dialog.exec() == QDialog::Accepted;
    }

    ReplaceChoice replaceQuestion(const QString &text, bool offerApplyToAll) override
    {
        QMessageBox box(dialogParent());
        box.setObjectName(QStringLiteral("replaceQuestion"));
        box.setWindowTitle(promptCaption({}));
        box.setIcon(QMessageBox::Question);
        box.setText(text);
        QPushButton *replace = box.addButton(QObject::tr("&Replace"), QMessageBox::AcceptRole);
        QPushButton *skip = box.addButton(QObject::tr("&Skip"), QMessageBox::RejectRole);
        QPushButton *cancel = box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(skip);
        box.setEscapeButton(cancel);
        if (offerApplyToAll)
            box.setCheckBox(new QCheckBox(QObject::tr("&Apply to all"), &box));
        box.exec();
        ReplaceChoice choice;
        choice.applyToAll = box.checkBox() && box.checkBox()->isChecked();
        if (box.clickedButton() == replace)
            choice.answer = ReplaceAnswer::Replace;
        else if (box.clickedButton() == skip)
            choice.answer = ReplaceAnswer::Skip;
        else
            choice.answer = ReplaceAnswer::Cancel;
        return choice;
    }
};

QtPrompts &realPrompts()
{
    static QtPrompts instance;
    return instance;
}

Prompts *g_replacement = nullptr;

} // namespace

ReplaceChoice Prompts::replaceQuestion(const QString &text, bool offerApplyToAll)
{
    Q_UNUSED(offerApplyToAll);
    switch (message(text, MsgIcon::Question, MsgButtons::YesNoCancel)) {
    case MsgResult::Yes:
        return {ReplaceAnswer::Replace, false};
    case MsgResult::No:
        return {ReplaceAnswer::Skip, false};
    default:
        return {ReplaceAnswer::Cancel, false};
    }
}

Prompts &prompts()
{
    return g_replacement ? *g_replacement : realPrompts();
}

void setPrompts(Prompts *replacement)
{
    g_replacement = replacement;
}

void setPromptParent(QWidget *parent)
{
    realPrompts().parent = parent;
}

QString promptCaption(const QString &caption)
{
    if (!caption.isEmpty())
        return caption;
    const QString title = applicationTitle();
    return title.isEmpty() ? QString::fromUtf16(kAppTitle) : title;
}

} // namespace core
