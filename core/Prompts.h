// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QPrinter;
class QWidget;

namespace core {

// Every message box, question, input box and file, folder, print or page-setup
// dialog of the program goes through the Prompts in force, so that tests can
// answer them by script instead of blocking on a real dialog.

enum class MsgIcon
{
    None,
    Critical,
    Question,
    Exclamation,
    Information
};
enum class MsgButtons
{
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel,
    RetryCancel
};
// Values as the classic message-box results, so callers can compare them.
enum class MsgResult
{
    Ok = 1,
    Cancel = 2,
    Retry = 4,
    Yes = 6,
    No = 7
};

// The answer to "a file of that name is already there": replace it, leave
// it and go on with the next file, or stop the whole command. applyToAll
// gives the same answer to every later clash of the same command.
enum class ReplaceAnswer
{
    Replace,
    Skip,
    Cancel
};
struct ReplaceChoice
{
    ReplaceAnswer answer = ReplaceAnswer::Cancel;
    bool applyToAll = false;
};

struct FileDialogRequest
{
    enum class Mode
    {
        Open,
        OpenMultiple,
        Save
    };
    Mode mode = Mode::Open;
    QString title;
    QString folder;          // start folder, may be empty
    QString fileName;        // suggested name (save)
    QStringList nameFilters; // Qt form: "JPEG (*.jpg *.jpeg)"
    int filterIndex = 0;     // 0-based
    QString defaultSuffix;   // without dot
    bool confirmOverwrite = true;
    bool fileMustExist = true;
};

struct FileDialogResult
{
    bool accepted = false;
    QStringList files; // absolute paths
    int filterIndex = 0;
};

struct PrintRange
{
    enum class Kind
    {
        All,
        Selection,
        PageRange,
        CurrentPage
    };
    Kind kind = Kind::All;
    int from = 0;
    int to = 0;
    // In: the pages the dialog offers (ignored when maxPage is 0).
    int minPage = 0;
    int maxPage = 0;
};

class Prompts
{
public:
    virtual ~Prompts() = default;

    // caption empty: the application title
    virtual MsgResult message(const QString &text, MsgIcon icon = MsgIcon::None,
                              MsgButtons buttons = MsgButtons::Ok, const QString &caption = {}) = 0;
    // nullopt when the user cancels
    virtual std::optional<QString> input(const QString &prompt, const QString &title = {},
                                         const QString &defaultText = {}) = 0;
    virtual FileDialogResult fileDialog(const FileDialogRequest &request) = 0;
    // empty when cancelled
    virtual QString folderDialog(const QString &title, const QString &startFolder) = 0;
    // true when the user confirmed; *range gives the pages offered and
    // receives the range chosen
    virtual bool printDialog(QPrinter &printer, PrintRange *range) = 0;
    virtual bool pageSetupDialog(QPrinter &printer) = 0;
    // Asks whether to replace an existing file; offerApplyToAll when more
    // files of the same command may clash. Without an override it is a
    // Yes/No/Cancel message (Yes replaces, No skips).
    virtual ReplaceChoice replaceQuestion(const QString &text, bool offerApplyToAll);
};

// The Prompts in force: the real Qt dialogs unless a test installed its own.
Prompts &prompts();
// Install a replacement (not owned); nullptr restores the real dialogs.
void setPrompts(Prompts *replacement);
// Parent for the real dialogs (the active window when unset).
void setPromptParent(QWidget *parent);
// The caption a prompt shows: the given one, or the application title when
// it is empty.
QString promptCaption(const QString &caption);

// Shorthand for the common case.
inline MsgResult msgBox(const QString &text, MsgIcon icon = MsgIcon::None,
                        MsgButtons buttons = MsgButtons::Ok, const QString &caption = {})
{
    return prompts().message(text, icon, buttons, caption);
}

} // namespace core
