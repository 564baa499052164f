// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The command-line start: the association switches, and a path that opens
// the viewer on it with the browser hidden.
namespace app::commandline {

// The association switches; the whole command text must be exactly one of
// them, in this letter case.
inline constexpr char16_t kAssociateSwitch[] = u"/Associate";
inline constexpr char16_t kDeAssociateSwitch[] = u"/DeAssociate";

// What the command line needs of the program's browser window.
class Host
{
public:
    virtual ~Host() = default;
    // Full paths of the images of folder, in the browser's listing order.
    virtual QStringList imageList(const QString &folder) const = 0;
    // Ends the program as closing the browser does.
    virtual void shutdown() = 0;
    // Hides the browser and opens the viewer on paths[index] at 100 %;
    // closing that viewer ends the program.
    virtual void openFromCommandLine(const QStringList &paths, int index) = 0;
};

// Carries out the command text: runs the association work, and may end the
// process or open the viewer. True when it opened the viewer, so that the
// browser stays hidden.
bool handleCommandLine(Host &host, const QString &commandText);

// The command text of the process: its arguments after the program name,
// joined by single blanks.
QString commandTextOf(const QStringList &arguments);

// True when the text names a file or folder that exists. The root "/" always
// exists; an empty text never does. Never fails.
bool pathExists(const QString &path);

// Index of the first entry of list equal to path (case-sensitive), 0 when
// none is.
int findImageIndex(const QStringList &list, const QString &path);

// The folder that holds path: the text before its last "/", without a
// trailing "/" except for the root itself.
QString parentFolder(const QString &path);

// The command text as a path to open: a relative text is taken against the
// current folder (a trailing "/" kept), an absolute one stays as it is.
QString absoluteCommandPath(const QString &commandText);

} // namespace app::commandline
