// SPDX-License-Identifier: GPL-3.0-or-later
// The GNOME wallpaper set for real: gsettings with dconf behind it, on a
// private session bus from dbus-run-session, read back by gsettings. The test
// runs itself a second time inside that session; where the programs are
// missing it skips and says which.

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "shell/DesktopBackground.h"
#include "support/TestSupport.h"

namespace {

constexpr char kChildMarker[] = "PICTAVO_IN_DBUS_SESSION";
const QString kSchema = QStringLiteral("org.gnome.desktop.background");
const QString kPicture = QStringLiteral("/tmp/pictavo wallpaper/it's.png");

QString gsettingsGet(const QString &key)
{
    QProcess get;
    get.start(QStringLiteral("gsettings"), {QStringLiteral("get"), kSchema, key});
    if (!get.waitForFinished(20000) || get.exitCode() != 0)
        return QStringLiteral("<gsettings get failed: %1>")
            .arg(QString::fromLocal8Bit(get.readAllStandardError()));
    return QString::fromUtf8(get.readAllStandardOutput()).trimmed();
}

} // namespace

class TestWallpaperGsettings : public QObject
{
    Q_OBJECT

private slots:
    void realGnomeSettingChangesAndReadsBack()
    {
        if (qEnvironmentVariableIsSet(kChildMarker))
            QSKIP("this is the run inside the session");
        for (const char *program : {"dbus-run-session", "gsettings"}) {
            if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps "
                                                "installs it)")
                                     .arg(QLatin1String(program))));
        }
        QProcess schemas;
        schemas.start(QStringLiteral("gsettings"), {QStringLiteral("list-schemas")});
        QVERIFY(schemas.waitForFinished(20000));
        if (!schemas.readAllStandardOutput().split('\n').contains(kSchema.toUtf8()))
            QSKIP("GNOME's desktop schemas are not installed (gsettings-desktop-schemas)");

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(kChildMarker), QStringLiteral("1"));
        // dconf, not the memory back-end, so that another gsettings process
        // sees the change.
        env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("dconf"));
        child.setProcessEnvironment(env);
        child.start(QStringLiteral("dbus-run-session"),
                    {QStringLiteral("--"), QCoreApplication::applicationFilePath(),
                     QStringLiteral("inSessionGnomeSetting")});
        QVERIFY(child.waitForFinished(120000));
        const QString out = QString::fromLocal8Bit(child.readAllStandardOutput() + '\n' +
                                                   child.readAllStandardError());
        if (out.contains(QLatin1String("Can't find module 'dconf'")) ||
            out.contains(QLatin1String("'memory' GSettings backend")))
            QSKIP("dconf's GSettings back-end is not installed (dconf-gsettings-backend)");
        if (out.contains(QLatin1String("Failed to start message bus")))
            QSKIP(
                qPrintable(QStringLiteral("no session bus can be started here: ") + out.left(300)));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 qPrintable(out));
        QVERIFY2(out.contains(QLatin1String("PASS   : TestWallpaperGsettings::"
                                            "inSessionGnomeSetting()")),
                 qPrintable(out));
    }

    void inSessionGnomeSetting()
    {
        if (!qEnvironmentVariableIsSet(kChildMarker))
            QSKIP("runs only inside dbus-run-session, started by the test before");
        // gsettings prints a string that holds a single quote in double quotes.
        const QString uri = QStringLiteral("\"file:///tmp/pictavo%20wallpaper/it's.png\"");
        QVERIFY(gsettingsGet(QStringLiteral("picture-uri")) != uri);
        shell::ProgramDesktopBackground desktop(QStringLiteral("ubuntu:GNOME"));
        QString problem;
        QVERIFY2(desktop.setPicture(kPicture, &problem), qPrintable(problem));
        QCOMPARE(gsettingsGet(QStringLiteral("picture-uri")), uri);
        QCOMPARE(gsettingsGet(QStringLiteral("picture-uri-dark")), uri);
    }
};

// The run inside the session keeps the outer run's home, so that both see
// the same dconf database.
int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet(kChildMarker))
        testsupport::isolateHome();
    QApplication app(argc, argv);
    TestWallpaperGsettings tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_wallpaper_gsettings.moc"
