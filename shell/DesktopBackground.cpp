// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/DesktopBackground.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QUrl>

#include "shell/Logging.h"

namespace shell {

namespace {

DesktopBackground *g_replacement = nullptr;

QString fileUri(const QString &file)
{
    return QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
}

ProgramCall gsettingsSet(const QString &schema, const QString &key, const QString &value)
{
    return {QStringLiteral("gsettings"),
            {QStringLiteral("set"), schema, key, gvariantString(value)}};
}

// Plasma's scripting call: every desktop gets the picture plugin and the
// picture.
QString plasmaScript(const QString &file)
{
    return QStringLiteral("var all = desktops();\n"
                          "for (var i = 0; i < all.length; i++) {\n"
                          "    var d = all[i];\n"
                          "    d.wallpaperPlugin = \"org.kde.image\";\n"
                          "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", "
                          "\"General\"];\n"
                          "    d.writeConfig(\"Image\", %1);\n"
                          "}\n")
        .arg(javaScriptString(fileUri(file)));
}

// The names Qt's D-Bus tool goes by on different distributions.
QString findProgram(const QString &program)
{
    QStringList names{program};
    if (program == QLatin1String("qdbus"))
        names << QStringLiteral("qdbus6") << QStringLiteral("qdbus-qt6")
              << QStringLiteral("qdbus-qt5");
    for (const QString &name : names) {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty())
            return found;
    }
    return {};
}

QString firstLine(const QByteArray &text)
{
    const QString all = QString::fromLocal8Bit(text).trimmed();
    return all.section(QLatin1Char('\n'), 0, 0).trimmed().left(200);
}

} // namespace

Desktop desktopFromXdg(const QString &currentDesktop)
{
    for (const QString &part : currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString name = part.trimmed().toLower();
        if (name == QLatin1String("x-cinnamon") || name == QLatin1String("cinnamon"))
            return Desktop::Cinnamon;
        if (name == QLatin1String("mate"))
            return Desktop::Mate;
        if (name == QLatin1String("kde"))
            return Desktop::Kde;
        if (name == QLatin1String("xfce"))
            return Desktop::Xfce;
        // Desktops built on GNOME's settings name themselves first.
        if (name == QLatin1String("gnome") || name == QLatin1String("gnome-classic") ||
            name == QLatin1String("gnome-flashback") || name == QLatin1String("unity") ||
            name == QLatin1String("budgie") || name == QLatin1String("pantheon"))
            return Desktop::Gnome;
    }
    return Desktop::Unknown;
}

QString desktopName(Desktop desktop)
{
    switch (desktop) {
    case Desktop::Gnome:
        return QStringLiteral("GNOME");
    case Desktop::Cinnamon:
        return QStringLiteral("Cinnamon");
    case Desktop::Mate:
        return QStringLiteral("MATE");
    case Desktop::Kde:
        return QStringLiteral("KDE Plasma");
    case Desktop::Xfce:
        return QStringLiteral("Xfce");
    case Desktop::Unknown:
        break;
    }
    return QStringLiteral("an unknown desktop");
}

QString gvariantString(const QString &text)
{
    QString out = QStringLiteral("'");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'\'')
            out += u'\\';
        out += c;
    }
    return out + u'\'';
}

QString javaScriptString(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"') {
            out += QLatin1Char('\\');
            out += c;
        } else if (c.unicode() < 0x20 || c == QChar(0x2028) || c == QChar(0x2029)) {
            out += QStringLiteral("\\u%1").arg(uint(c.unicode()), 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out + u'"';
}

QList<ProgramCall> backgroundCalls(Desktop desktop, const QString &file)
{
    switch (desktop) {
    case Desktop::Gnome: {
        const QString schema = QStringLiteral("org.gnome.desktop.background");
        // The dark style has a picture of its own since GNOME 42.
        return {gsettingsSet(schema, QStringLiteral("picture-uri"), fileUri(file)),
                gsettingsSet(schema, QStringLiteral("picture-uri-dark"), fileUri(file))};
    }
    case Desktop::Cinnamon:
        return {gsettingsSet(QStringLiteral("org.cinnamon.desktop.background"),
                             QStringLiteral("picture-uri"), fileUri(file))};
    case Desktop::Mate:
        return {gsettingsSet(QStringLiteral("org.mate.background"),
                             QStringLiteral("picture-filename"), file)};
    case Desktop::Kde:
        return {{QStringLiteral("qdbus"),
                 {QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
                  QStringLiteral("org.kde.PlasmaShell.evaluateScript"), plasmaScript(file)}}};
    case Desktop::Xfce:
    case Desktop::Unknown:
        break;
    }
    return {};
}

ProgramCall xfceListCall()
{
    return {QStringLiteral("xfconf-query"),
            {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-l")}};
}

QList<ProgramCall> xfceBackgroundCalls(const QStringList &properties, const QString &file)
{
    const QString program = QStringLiteral("xfconf-query");
    const QString channel = QStringLiteral("xfce4-desktop");
    QList<ProgramCall> calls;
    for (const QString &line : properties) {
        const QString property = line.trimmed();
        if (property.startsWith(QLatin1String("/backdrop/")) &&
            property.endsWith(QLatin1String("/last-image")))
            calls.append({program,
                          {QStringLiteral("-c"), channel, QStringLiteral("-p"), property,
                           QStringLiteral("-s"), file}});
    }
    if (calls.isEmpty())
        calls.append({program,
                      {QStringLiteral("-c"), channel, QStringLiteral("-p"),
                       QStringLiteral("/backdrop/screen0/monitor0/workspace0/last-image"),
                       QStringLiteral("-n"), QStringLiteral("-t"), QStringLiteral("string"),
                       QStringLiteral("-s"), file}});
    return calls;
}

ProgramDesktopBackground::ProgramDesktopBackground(const QString &currentDesktop, int timeoutMs)
    : m_currentDesktop(currentDesktop), m_desktop(desktopFromXdg(currentDesktop)),
      m_timeoutMs(timeoutMs)
{
}

bool ProgramDesktopBackground::run(const ProgramCall &call, QByteArray *output,
                                   QString *problem) const
{
    const QString found = findProgram(call.program);
    if (found.isEmpty()) {
        *problem = QStringLiteral("%1 is not installed").arg(call.program);
        return false;
    }
    QProcess process;
    process.setProgram(found);
    process.setArguments(call.arguments);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(m_timeoutMs)) {
        *problem = QStringLiteral("%1 could not be started").arg(call.program);
        return false;
    }
    if (!process.waitForFinished(m_timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        *problem = QStringLiteral("%1 did not answer").arg(call.program);
        return false;
    }
    const QByteArray errors = process.readAllStandardError();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString why = firstLine(errors);
        *problem = why.isEmpty() ? QStringLiteral("%1 failed").arg(call.program)
                                 : QStringLiteral("%1 failed: %2").arg(call.program, why);
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

bool ProgramDesktopBackground::setPicture(const QString &file, QString *problem)
{
    QString why;
    QList<ProgramCall> calls;
    if (m_desktop == Desktop::Unknown) {
        why = m_currentDesktop.isEmpty()
                  ? QStringLiteral("the desktop in use is not known (XDG_CURRENT_DESKTOP is "
                                   "not set)")
                  : QStringLiteral("the desktop \"%1\" is not one Pictavo knows (GNOME, "
                                   "Cinnamon, MATE, KDE Plasma, Xfce)")
                        .arg(m_currentDesktop);
    } else if (m_desktop == Desktop::Xfce) {
        QByteArray listed;
        if (run(xfceListCall(), &listed, &why))
            calls = xfceBackgroundCalls(QString::fromLocal8Bit(listed).split(u'\n'), file);
    } else {
        calls = backgroundCalls(m_desktop, file);
    }
    for (const ProgramCall &call : std::as_const(calls)) {
        if (!run(call, nullptr, &why))
            break;
    }
    if (why.isEmpty())
        return true;
    qCWarning(lcShell, "wallpaper not set on %s: %s", qUtf8Printable(desktopName(m_desktop)),
              qUtf8Printable(why));
    if (problem)
        *problem = m_desktop == Desktop::Unknown
                       ? why
                       : QStringLiteral("on %1, %2").arg(desktopName(m_desktop), why);
    return false;
}

std::unique_ptr<DesktopBackground> createDesktopBackground()
{
    return std::make_unique<ProgramDesktopBackground>(
        QProcessEnvironment::systemEnvironment().value(QStringLiteral("XDG_CURRENT_DESKTOP")));
}

DesktopBackground &desktopBackground()
{
    if (g_replacement)
        return *g_replacement;
    // Made on each use, so that the desktop is read when the user asks.
    static std::unique_ptr<DesktopBackground> session;
    session = createDesktopBackground();
    return *session;
}

void setDesktopBackground(DesktopBackground *replacement)
{
    g_replacement = replacement;
}

} // namespace shell
