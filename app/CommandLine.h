// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Routines of the command-line start; frmMain::HandleCommandLine lives in
// CommandLine.cpp beside them.
namespace modMain {

// The association switches; the whole command text must be exactly one of
// them, in this letter case.
inline constexpr char16_t kAssociateSwitch[] = u"/Associate";
inline constexpr char16_t kDeAssociateSwitch[] = u"/DeAssociate";

// True when the text names a file or folder that exists. The root "/" always
// exists; an empty text never does. Never fails.
bool PathExists(const QString &path);

// Index of the first entry of list equal to path (case-sensitive), 0 when
// none is.
int FindImageIndex(const QStringList &list, const QString &path);

// The folder that holds path: the text before its last "/", without a
// trailing "/" except for the root itself.
QString ParentFolder(const QString &path);

// The command text as a path to open: a relative text is taken against the
// current folder (a trailing "/" kept), an absolute one stays as it is.
QString AbsoluteCommandPath(const QString &commandText);

} // namespace modMain
