// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace shell {

// The desktops whose background Pictavo knows how to set.
enum class Desktop
{
    Unknown,
    Gnome,
    Cinnamon,
    Mate,
    Kde,
    Xfce,
};

// The desktop named by XDG_CURRENT_DESKTOP (a ":"-separated list, the most
// specific name first, as in "ubuntu:GNOME"): the first name Pictavo knows.
Desktop desktopFromXdg(const QString &currentDesktop);
// A name for messages: "GNOME", "KDE Plasma", ...
QString desktopName(Desktop desktop);

// One program run with its argument list; never a shell command line.
struct ProgramCall
{
    QString program;
    QStringList arguments;
    bool operator==(const ProgramCall &) const = default;
};

// What sets the background to file on a desktop of the gsettings kind
// (GNOME, Cinnamon, MATE) or on KDE Plasma; empty for the others.
QList<ProgramCall> backgroundCalls(Desktop desktop, const QString &file);
// Xfce keeps one picture per monitor and workspace: the calls that set
// every "last-image" property among `properties` (as xfconf-query -l lists
// them), or the first monitor's when there is none yet.
QList<ProgramCall> xfceBackgroundCalls(const QStringList &properties, const QString &file);
// The call that lists Xfce's desktop properties.
ProgramCall xfceListCall();
// Text forms used in the calls: a GVariant string and a JavaScript string.
QString gvariantString(const QString &text);
QString javaScriptString(const QString &text);

// Sets the desktop background. The interface in front of the desktop's own
// mechanism, so that tests can put a fake in its place.
class DesktopBackground
{
public:
    virtual ~DesktopBackground() = default;
    // Makes the picture in file the desktop background; false with a short
    // *problem (naming what was tried) when it could not.
    virtual bool setPicture(const QString &file, QString *problem) = 0;
};

// Runs the desktop's own programs (gsettings, qdbus, xfconf-query) with
// QProcess, each bounded in time.
class ProgramDesktopBackground : public DesktopBackground
{
public:
    // currentDesktop: the text of XDG_CURRENT_DESKTOP.
    explicit ProgramDesktopBackground(const QString &currentDesktop, int timeoutMs = 10000);
    bool setPicture(const QString &file, QString *problem) override;

private:
    bool run(const ProgramCall &call, QByteArray *output, QString *problem) const;

    QString m_currentDesktop;
    Desktop m_desktop;
    int m_timeoutMs;
};

// The one for the running session (from XDG_CURRENT_DESKTOP).
std::unique_ptr<DesktopBackground> createDesktopBackground();

// The background setter in force: the session's unless a test installed its
// own.
DesktopBackground &desktopBackground();
// Install a replacement (not owned); nullptr restores the session's.
void setDesktopBackground(DesktopBackground *replacement);

} // namespace shell
