// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

#include <functional>

#include "core/Prompts.h"

namespace testsupport {

using core::FileDialogRequest;
using core::FileDialogResult;
using core::MsgButtons;
using core::MsgIcon;
using core::MsgResult;
using core::PrintRange;
using core::ReplaceAnswer;
using core::ReplaceChoice;

// A Prompts for tests: records every prompt and answers from queues, or with
// a default answer when its queue is empty. Installs itself while alive.
class ScriptedPrompts : public core::Prompts
{
public:
    struct Shown
    {
        // "message", "input", "file", "folder", "print", "pageSetup", "replace"
        QString kind;
        QString text;
        MsgIcon icon = MsgIcon::None;
        MsgButtons buttons = MsgButtons::Ok;
        QString caption;
        FileDialogRequest fileRequest;
    };

    ScriptedPrompts();
    ~ScriptedPrompts() override;

    QList<Shown> shown;
    QList<MsgResult> messageAnswers;               // default: Ok, or Yes for yes/no
    QList<std::optional<QString>> inputAnswers;    // default: cancel
    QList<FileDialogResult> fileAnswers;           // default: cancel
    QList<QString> folderAnswers;                  // default: cancel
    QList<bool> printAnswers;                      // default: cancel
    PrintRange printRange;                         // handed back by printDialog
    std::function<void(QPrinter &)> onPrintDialog; // optional, to configure the printer
    QList<ReplaceChoice> replaceAnswers;           // default: cancel
    // Runs when a replace question is shown, before it is answered (a test
    // changes the disk there, as a user could while the question waits).
    std::function<void()> onReplaceQuestion;
    bool lastReplaceOfferedApplyToAll = false;

    int count(const QString &kind) const;
    QStringList texts(const QString &kind = QStringLiteral("message")) const;

    MsgResult message(const QString &text, MsgIcon icon, MsgButtons buttons,
                      const QString &caption) override;
    std::optional<QString> input(const QString &prompt, const QString &title,
                                 const QString &defaultText) override;
    FileDialogResult fileDialog(const FileDialogRequest &request) override;
    QString folderDialog(const QString &title, const QString &startFolder) override;
    bool printDialog(QPrinter &printer, PrintRange *range) override;
    bool pageSetupDialog(QPrinter &printer) override;
    ReplaceChoice replaceQuestion(const QString &text, bool offerApplyToAll) override;
};

} // namespace testsupport
