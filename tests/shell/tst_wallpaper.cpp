// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop wallpaper: the bitmap written under the image's own name, the
// protected-file refusal, and each desktop's programs with their exact
// argument lists, recorded by stand-ins on PATH.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "core/Formats.h"
#include "core/Paths.h"
#include "imaging/ImageEngine.h"
#include "shell/DesktopBackground.h"
#include "shell/Wallpaper.h"
#include "support/FakeDesktopBackground.h"
#include "support/ImageFixtures.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

using shell::Desktop;
using shell::ProgramCall;
using testsupport::FakeDesktopBackground;
using testsupport::ScriptedPrompts;

Q_DECLARE_METATYPE(shell::Desktop)

namespace {

// Writes every call as its program name and arguments, separated by unit
// separators, each call ended by a record separator. xfconf-query lists
// two monitors' properties; FAKE_FAIL makes every program fail.
const char kFakeProgram[] = R"(#!/bin/sh
name=$(basename "$0")
printf '%s\037' "$name" "$@" >> "$FAKE_LOG"
printf '\036' >> "$FAKE_LOG"
if [ -n "$FAKE_FAIL" ]; then echo "$FAKE_FAIL" >&2; exit 3; fi
if [ "$name" = xfconf-query ] && [ "$3" = -l ]; then
  printf '%s\n' /backdrop/screen0/monitorHDMI-1/workspace0/last-image \
    /backdrop/screen0/monitorHDMI-1/workspace0/image-style \
    /backdrop/screen0/monitoreDP-1/workspace1/last-image
fi
exit 0
)";

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestWallpaper : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_fakeBin;
    QString m_log;
    QByteArray m_path;

    QList<ProgramCall> recorded() const
    {
        QList<ProgramCall> calls;
        for (const QByteArray &record : readAll(m_log).split('\036')) {
            if (record.isEmpty())
                continue;
            QStringList parts = QString::fromUtf8(record).split(u'\037');
            parts.removeLast(); // after the last separator
            ProgramCall call{parts.takeFirst(), parts};
            calls << call;
        }
        return calls;
    }

    imaging::ImageEngine *loaded(imaging::ImageEngine &engine, const QString &name,
                                 QColor colour = Qt::blue)
    {
        const QString file = m_dir.filePath(name);
        QImage image(24, 16, QImage::Format_RGB32);
        image.fill(colour);
        image.save(file, "PNG");
        engine.loadFile(file);
        return &engine;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_fakeBin = m_dir.filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(m_fakeBin));
        const QString script = m_fakeBin + QStringLiteral("/fake-program");
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kFakeProgram);
        f.close();
        QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        for (const char *name : {"gsettings", "qdbus", "xfconf-query"})
            QVERIFY(QFile::link(script, m_fakeBin + u'/' + QLatin1String(name)));
        m_log = m_dir.filePath(QStringLiteral("calls.log"));
        qputenv("FAKE_LOG", QFile::encodeName(m_log));
        m_path = qgetenv("PATH");
    }

    void init()
    {
        QFile::remove(m_log);
        qunsetenv("FAKE_FAIL");
        qputenv("PATH", QFile::encodeName(m_fakeBin) + ':' + m_path);
        QDir(shell::wallpaperFolder()).removeRecursively();
    }

    void cleanup() { qputenv("PATH", m_path); }

    void desktopFromXdg_data()
    {
        QTest::addColumn<QString>("xdg");
        QTest::addColumn<Desktop>("desktop");
        QTest::newRow("GNOME") << "GNOME" << Desktop::Gnome;
        QTest::newRow("Ubuntu") << "ubuntu:GNOME" << Desktop::Gnome;
        QTest::newRow("Unity") << "Unity" << Desktop::Gnome;
        QTest::newRow("Budgie") << "Budgie:GNOME" << Desktop::Gnome;
        QTest::newRow("Cinnamon") << "X-Cinnamon" << Desktop::Cinnamon;
        QTest::newRow("MATE") << "MATE" << Desktop::Mate;
        QTest::newRow("KDE") << "KDE" << Desktop::Kde;
        QTest::newRow("Xfce") << "XFCE" << Desktop::Xfce;
        QTest::newRow("first known name wins") << "LXQt:XFCE:GNOME" << Desktop::Xfce;
        QTest::newRow("unknown") << "LXQt" << Desktop::Unknown;
        QTest::newRow("empty") << "" << Desktop::Unknown;
    }
    void desktopFromXdg()
    {
        QFETCH(QString, xdg);
        QFETCH(Desktop, desktop);
        QCOMPARE(shell::desktopFromXdg(xdg), desktop);
    }

    // The exact argument lists, for a file whose name holds blanks, quotes
    // and a backslash: nothing goes through a shell.
    void programCalls_data()
    {
        QTest::addColumn<QString>("xdg");
        QTest::addColumn<QList<QStringList>>("expected");
        const QString file = QStringLiteral("/w p/it's \"a\\b\".png");
        const QString uri = QStringLiteral("'file:///w%20p/it\\'s%20%22a%5Cb%22.png'");
        QTest::newRow("GNOME")
            << "ubuntu:GNOME"
            << QList<QStringList>{
                   {"gsettings", "set", "org.gnome.desktop.background", "picture-uri", uri},
                   {"gsettings", "set", "org.gnome.desktop.background", "picture-uri-dark", uri}};
        QTest::newRow("Cinnamon") << "X-Cinnamon"
                                  << QList<QStringList>{{"gsettings", "set",
                                                         "org.cinnamon.desktop.background",
                                                         "picture-uri", uri}};
        QTest::newRow("MATE") << "MATE"
                              << QList<QStringList>{{"gsettings", "set", "org.mate.background",
                                                     "picture-filename",
                                                     "'/w p/it\\'s \"a\\\\b\".png'"}};
        QTest::newRow("KDE")
            << "KDE"
            << QList<QStringList>{
                   {"qdbus", "org.kde.plasmashell", "/PlasmaShell",
                    "org.kde.PlasmaShell.evaluateScript",
                    "var all = desktops();\n"
                    "for (var i = 0; i < all.length; i++) {\n"
                    "    var d = all[i];\n"
                    "    d.wallpaperPlugin = \"org.kde.image\";\n"
                    "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                    "    d.writeConfig(\"Image\", \"file:///w%20p/it's%20%22a%5Cb%22.png\");\n"
                    "}\n"}};
        QTest::newRow("Xfce") << "XFCE"
                              << QList<QStringList>{
                                     {"xfconf-query", "-c", "xfce4-desktop", "-l"},
                                     {"xfconf-query", "-c", "xfce4-desktop", "-p",
                                      "/backdrop/screen0/monitorHDMI-1/workspace0/last-image", "-s",
                                      file},
                                     {"xfconf-query", "-c", "xfce4-desktop", "-p",
                                      "/backdrop/screen0/monitoreDP-1/workspace1/last-image", "-s",
                                      file}};
    }
    void programCalls()
    {
        QFETCH(QString, xdg);
        QFETCH(QList<QStringList>, expected);
        shell::ProgramDesktopBackground desktop(xdg);
        QString problem;
        QVERIFY2(desktop.setPicture(QStringLiteral("/w p/it's \"a\\b\".png"), &problem),
                 qPrintable(problem));
        QList<QStringList> got;
        for (const ProgramCall &call : recorded())
            got << (QStringList{call.program} + call.arguments);
        QCOMPARE(got, expected);
    }

    void xfceWithoutPropertiesCreatesTheFirstMonitors()
    {
        const QList<ProgramCall> calls = shell::xfceBackgroundCalls({}, QStringLiteral("/a.png"));
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls.first().arguments,
                 QStringList({"-c", "xfce4-desktop", "-p",
                              "/backdrop/screen0/monitor0/workspace0/last-image", "-n", "-t",
                              "string", "-s", "/a.png"}));
    }

    // One short problem naming what was tried; nothing is left running.
    void setterFailures_data()
    {
        QTest::addColumn<QString>("xdg");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("problem");
        QTest::newRow("missing program") << "GNOME"
                                         << "missing"
                                         << "on GNOME, gsettings is not installed";
        QTest::newRow("failing program") << "MATE"
                                         << "failing"
                                         << "on MATE, gsettings failed: No such schema";
        QTest::newRow("failing Xfce listing") << "XFCE"
                                              << "failing"
                                              << "on Xfce, xfconf-query failed: No such schema";
        QTest::newRow("unknown desktop")
            << "LXQt"
            << ""
            << "the desktop \"LXQt\" is not one Pictavo knows (GNOME, Cinnamon, MATE, KDE "
               "Plasma, Xfce)";
        QTest::newRow("no desktop")
            << ""
            << ""
            << "the desktop in use is not known (XDG_CURRENT_DESKTOP is not set)";
    }
    void setterFailures()
    {
        QFETCH(QString, xdg);
        QFETCH(QString, situation);
        QFETCH(QString, problem);
        if (situation == QLatin1String("missing"))
            qputenv("PATH", QFile::encodeName(m_dir.filePath(QStringLiteral("empty"))));
        if (situation == QLatin1String("failing"))
            qputenv("FAKE_FAIL", "No such schema");
        shell::ProgramDesktopBackground desktop(xdg);
        QString got;
        QVERIFY(!desktop.setPicture(QStringLiteral("/a.png"), &got));
        QCOMPARE(got, problem);
        // A failing step stops the rest.
        QVERIFY(recorded().size() <= 1);
    }

    // The picture goes as a bitmap under the image's own name into the
    // wallpaper folder, and the desktop is pointed at it; a second setting
    // replaces the file.
    void writesBitmapUnderTheImagesName()
    {
        ScriptedPrompts prompts;
        FakeDesktopBackground desktop;
        imaging::ImageEngine engine;
        shell::setWallpaper(*loaded(engine, QStringLiteral("holiday photo.png")));
        const QString target = shell::wallpaperFolder() + QStringLiteral("holiday photo.png");
        QVERIFY(target.startsWith(core::dataFolder() + QStringLiteral("/wallpaper/")));
        QCOMPARE(desktop.pictures, QStringList{target});
        QVERIFY(readAll(target).startsWith("BM"));
        const imaging::Decoded first = imaging::decodeFile(target);
        QVERIFY2(first.ok(), qPrintable(first.error));
        QCOMPARE(first.formatCode, int(core::FormatBMP));
        QCOMPARE(first.pages.first().pixelColor(0, 0), QColor(Qt::blue));

        QDir().mkpath(m_dir.filePath(QStringLiteral("other")));
        shell::setWallpaper(*loaded(engine, QStringLiteral("other/holiday photo.png"), Qt::red));
        QCOMPARE(desktop.pictures, QStringList({target, target}));
        const imaging::Decoded second = imaging::decodeFile(target);
        QVERIFY2(second.ok(), qPrintable(second.error));
        QCOMPARE(second.pages.first().pixelColor(0, 0), QColor(Qt::red));
        QCOMPARE(QDir(shell::wallpaperFolder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("holiday photo.png")});
        QCOMPARE(prompts.texts(), QStringList());
    }

    // A hidden file that cannot be written stands for a protected system
    // file: the message, and neither the file nor the desktop change.
    void protectedFileIsRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("refused");
        QTest::newRow("hidden, read-only") << ".secret.png" << false << true;
        QTest::newRow("hidden, writable") << ".plain.png" << true << false;
        QTest::newRow("visible, read-only") << "locked.png" << false << false;
    }
    void protectedFileIsRefused()
    {
        QFETCH(QString, name);
        QFETCH(bool, writable);
        QFETCH(bool, refused);
        ScriptedPrompts prompts;
        FakeDesktopBackground desktop;
        const QString target = shell::wallpaperFolder() + name;
        QVERIFY(QDir().mkpath(shell::wallpaperFolder()));
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old wallpaper");
        old.close();
        if (!writable)
            QVERIFY(old.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QCOMPARE(shell::isProtectedWallpaperFile(target), refused);

        imaging::ImageEngine engine;
        shell::setWallpaper(*loaded(engine, name));
        if (refused) {
            QCOMPARE(prompts.count(QStringLiteral("message")), 1);
            const ScriptedPrompts::Shown &shown = prompts.shown.last();
            QCOMPARE(shown.text, QStringLiteral("this picture is hidden or system file.we can "
                                                "not put it as wallpaper"));
            QCOMPARE(shown.icon, core::MsgIcon::None);
            QCOMPARE(shown.buttons, core::MsgButtons::Ok);
            QCOMPARE(shown.caption, core::promptCaption({}));
            QCOMPARE(readAll(target), QByteArray("old wallpaper"));
            QCOMPARE(desktop.pictures, QStringList());
        } else {
            QCOMPARE(prompts.texts(), QStringList());
            QVERIFY(readAll(target).startsWith("BM"));
            QCOMPARE(desktop.pictures, QStringList{target});
        }
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    }

    void emptyImageDoesNothing()
    {
        ScriptedPrompts prompts;
        FakeDesktopBackground desktop;
        imaging::ImageEngine engine;
        shell::setWallpaper(engine, m_dir.filePath(QStringLiteral("x.png")));
        QCOMPARE(prompts.shown.size(), 0);
        QCOMPARE(desktop.pictures, QStringList());
        QVERIFY(!QFileInfo::exists(shell::wallpaperFolder()));
    }

    // An icon reaches the engine as a picture, without a name: the name of
    // the file shown serves.
    void pictureTakesTheShownFilesName()
    {
        ScriptedPrompts prompts;
        FakeDesktopBackground desktop;
        imaging::ImageEngine engine;
        engine.loadPicture(fixtures::picture(16, 16));
        shell::setWallpaper(engine, QStringLiteral("/somewhere/app.ico"));
        QCOMPARE(desktop.pictures, QStringList{shell::wallpaperFolder() + "app.ico"});
        QVERIFY(readAll(shell::wallpaperFolder() + "app.ico").startsWith("BM"));
    }

    // A failed save or a failed setter says why and Pictavo goes on.
    void failuresAreReported()
    {
        ScriptedPrompts prompts;
        FakeDesktopBackground desktop;
        imaging::ImageEngine engine;
        QVERIFY(QDir().mkpath(shell::wallpaperFolder() + "taken.png"));
        shell::setWallpaper(*loaded(engine, QStringLiteral("taken.png")));
        QCOMPARE(prompts.texts(), QStringList{"Cannot write taken.png: it is a folder"});
        QCOMPARE(desktop.pictures, QStringList());

        desktop.failWith = QStringLiteral("on GNOME, gsettings is not installed");
        shell::setWallpaper(*loaded(engine, QStringLiteral("fine.png")));
        QCOMPARE(prompts.texts().size(), 2);
        QCOMPARE(prompts.texts().last(),
                 QStringLiteral("The picture was saved as %1, but the wallpaper could not be "
                                "set: on GNOME, gsettings is not installed.")
                     .arg(shell::wallpaperFolder() + "fine.png"));
    }
};

PICTAVO_TEST_MAIN(TestWallpaper)
#include "tst_wallpaper.moc"
