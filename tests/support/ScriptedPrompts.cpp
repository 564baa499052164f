// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ScriptedPrompts.h"

#include <algorithm>

namespace testsupport {

ScriptedPrompts::ScriptedPrompts()
{
    core::setPrompts(this);
}

ScriptedPrompts::~ScriptedPrompts()
{
    if (&core::prompts() == this)
        core::setPrompts(nullptr);
}

int ScriptedPrompts::count(const QString &kind) const
{
    return int(std::count_if(shown.cbegin(), shown.cend(),
                             [&](const Shown &s) { return s.kind == kind; }));
}

QStringList ScriptedPrompts::texts(const QString &kind) const
{
    QStringList out;
    for (const Shown &s : shown)
        if (s.kind == kind)
            out << s.text;
    return out;
}

MsgResult ScriptedPrompts::message(const QString &text, MsgIcon icon, MsgButtons buttons,
                                   const QString &caption)
{
    shown.append(
        {QStringLiteral("message"), text, icon, buttons, core::promptCaption(caption), {}});
    if (!messageAnswers.isEmpty())
        return messageAnswers.takeFirst();
    return (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) ? MsgResult::Yes
                                                                                : MsgResult::Ok;
}

std::optional<QString> ScriptedPrompts::input(const QString &prompt, const QString &title,
                                              const QString &defaultText)
{
    Shown s{QStringLiteral("input"),    prompt, MsgIcon::None, MsgButtons::OkCancel,
            core::promptCaption(title), {}};
    s.fileRequest.fileName = defaultText;
    shown.append(s);
    return inputAnswers.isEmpty() ? std::nullopt : inputAnswers.takeFirst();
}

FileDialogResult ScriptedPrompts::fileDialog(const FileDialogRequest &request)
{
    shown.append(
        {QStringLiteral("file"), request.title, MsgIcon::None, MsgButtons::Ok, {}, request});
    return fileAnswers.isEmpty() ? FileDialogResult{} : fileAnswers.takeFirst();
}

QString ScriptedPrompts::folderDialog(const QString &title, const QString &startFolder)
{
    Shown s{QStringLiteral("folder"), title, MsgIcon::None, MsgButtons::Ok, {}, {}};
    s.fileRequest.folder = startFolder;
    shown.append(s);
    return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
}

bool ScriptedPrompts::printDialog(QPrinter &printer, PrintRange *range)
{
    shown.append({QStringLiteral("print"), {}, MsgIcon::None, MsgButtons::Ok, {}, {}});
    if (onPrintDialog)
        onPrintDialog(printer);
    if (range)
        *range = printRange;
    return printAnswers.isEmpty() ? false : printAnswers.takeFirst();
}

bool ScriptedPrompts::pageSetupDialog(QPrinter &printer)
{
    Q_UNUSED(printer);
    shown.append({QStringLiteral("pageSetup"), {}, MsgIcon::None, MsgButtons::Ok, {}, {}});
    return printAnswers.isEmpty() ? false : printAnswers.takeFirst();
}

ReplaceChoice ScriptedPrompts::replaceQuestion(const QString &text, bool offerApplyToAll)
{
    shown.append({QStringLiteral("replace"),
                  text,
                  MsgIcon::Question,
                  MsgButtons::YesNoCancel,
                  core::promptCaption({}),
                  {}});
    lastReplaceOfferedApplyToAll = offerApplyToAll;
    if (onReplaceQuestion)
        onReplaceQuestion();
    return replaceAnswers.isEmpty() ? ReplaceChoice{} : replaceAnswers.takeFirst();
}

} // namespace testsupport
