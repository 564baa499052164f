// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop side of the associations: mimeapps.list editing, the real
// freedesktop integration on a temporary home, and what xdg-mime then reports.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>

#include "core/Paths.h"
#include "settings/Registry.h"
#include "shell/Associations.h"
#include "shell/DesktopIntegration.h"
#include "shell/MimeAppsList.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

using shell::MimeAppsList;

namespace {

const QString kSection = QStringLiteral("Default Applications");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// A literal with NUL bytes in it, whole.
template <std::size_t N> QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

} // namespace

class tst_assoc_mirror : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<testsupport::ScriptedPrompts> m_prompts;
    std::unique_ptr<shell::FreedesktopIntegration> m_desktop;

    QString path(const QString &relative) const { return m_dir->filePath(relative); }
    QString mimeApps() const { return m_desktop->mimeAppsPath(); }

private slots:
    void init()
    {
        m_dir = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                    ? std::make_unique<QTemporaryDir>(
                          QStringLiteral("/dev/shm/tst_assoc_mirror-XXXXXX"))
                    : std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        settings::Registry::setFolder(path("registry"));
        // An installed program the desktop can start.
        const QString program = path("prefix/bin/pictavo");
        QVERIFY(writeAll(program, "#!/bin/sh\nexit 0\n"));
        QVERIFY(
            QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QDir().mkpath(path("prefix/share/pictavo/icons"));
        core::setProgramFolder(path("prefix/share/pictavo"));
        m_desktop = std::make_unique<shell::FreedesktopIntegration>(path("config"),
                                                                    path("data/applications"));
        shell::setDesktopIntegration(m_desktop.get());
        m_prompts = std::make_unique<testsupport::ScriptedPrompts>();
    }

    void cleanup()
    {
        shell::setDesktopIntegration(nullptr);
        m_desktop.reset();
        m_prompts.reset();
        core::setProgramFolder(QString());
        settings::Registry::setFolder(QString());
        m_dir.reset();
    }

    void editsOneLine_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value"); // empty: remove the line
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("empty file") << QByteArray() << "image/png"
                                    << "p;" << QByteArray("[Default Applications]\nimage/png=p;\n");
        QTest::newRow("added at the end of its section")
            << QByteArray("[Default Applications]\ntext/plain=ed.desktop\n\n[Added Associations]\n"
                          "image/png=gimp.desktop;\n")
            << "image/png"
            << "p;"
            << QByteArray("[Default Applications]\ntext/plain=ed.desktop\nimage/png=p;\n\n"
                          "[Added Associations]\nimage/png=gimp.desktop;\n");
        QTest::newRow("replaced in place")
            << QByteArray("[Default Applications]\na/b=x\nimage/png=eog.desktop;\nc/d=y\n")
            << "image/png"
            << "p;eog.desktop;"
            << QByteArray("[Default Applications]\na/b=x\nimage/png=p;eog.desktop;\nc/d=y\n");
        QTest::newRow("section appended")
            << QByteArray("[Added Associations]\nimage/png=gimp.desktop;\n") << "image/png"
            << "p;"
            << QByteArray("[Added Associations]\nimage/png=gimp.desktop;\n\n"
                          "[Default Applications]\nimage/png=p;\n");
        QTest::newRow("no final line break")
            << QByteArray("[Default Applications]\na/b=x") << "image/png"
            << "p;" << QByteArray("[Default Applications]\na/b=x\nimage/png=p;\n");
        QTest::newRow("CRLF kept")
            << QByteArray("[Default Applications]\r\na/b=x\r\n") << "image/png"
            << "p;" << QByteArray("[Default Applications]\r\na/b=x\r\nimage/png=p;\r\n");
        QTest::newRow("blanks around = removed")
            << QByteArray("[Default Applications]\nimage/png = eog.desktop;\nz=1\n") << "image/png"
            << "" << QByteArray("[Default Applications]\nz=1\n");
        QTest::newRow("remove a missing line")
            << QByteArray("[Default Applications]\nz=1") << "image/png"
            << "" << QByteArray("[Default Applications]\nz=1");
        QTest::newRow("other section's key untouched")
            << QByteArray("[Added Associations]\nimage/png=a;\n[Default Applications]\n")
            << "image/png"
            << "" << QByteArray("[Added Associations]\nimage/png=a;\n[Default Applications]\n");
        QTest::newRow("damaged lines kept")
            << bytes("garbage\x01\xff\x00x\n[Default Applications\nno equals\n# image/png=c\n"
                     "[Default Applications]\n=nokey\nimage/png=eog.desktop;\n")
            << "image/png"
            << "p;"
            << bytes("garbage\x01\xff\x00x\n[Default Applications\nno equals\n# image/png=c\n"
                     "[Default Applications]\n=nokey\nimage/png=p;\n");
        QTest::newRow("damaged header ends the section")
            << QByteArray("[Default Applications]\na/b=x\n[unterminated\njunk\n") << "image/png"
            << "p;"
            << QByteArray("[Default Applications]\na/b=x\nimage/png=p;\n[unterminated\njunk\n");
        QTest::newRow("section twice, first line counts")
            << QByteArray("[Default Applications]\na/b=x\n[Other]\n[Default Applications]\n"
                          "image/png=eog;\nimage/png=late;\n")
            << "image/png"
            << "p;"
            << QByteArray("[Default Applications]\na/b=x\n[Other]\n[Default Applications]\n"
                          "image/png=p;\nimage/png=late;\n");
        QTest::newRow("section left empty at the end goes with its blank line")
            << QByteArray("[Added Associations]\nimage/png=gimp.desktop;\n\n"
                          "[Default Applications]\nimage/png=p;\n")
            << "image/png"
            << "" << QByteArray("[Added Associations]\nimage/png=gimp.desktop;\n");
        QTest::newRow("section left empty in the middle stays")
            << QByteArray("[Default Applications]\nimage/png=p;\n\n[Added Associations]\na=b\n")
            << "image/png"
            << "" << QByteArray("[Default Applications]\n\n[Added Associations]\na=b\n");
        QTest::newRow("section left empty right after other lines stays")
            << QByteArray("[Other]\na=b\n[Default Applications]\nimage/png=p;\n") << "image/png"
            << "" << QByteArray("[Other]\na=b\n[Default Applications]\n");
    }

    void editsOneLine()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        MimeAppsList list(before);
        if (value.isEmpty())
            list.removeValue(kSection, key);
        else
            list.setValue(kSection, key, value);
        QCOMPARE(list.text(), after);
        if (!value.isEmpty())
            QCOMPARE(MimeAppsList(after).value(kSection, key), value);
    }

    void associateAndRemoveOnTheDesktop()
    {
        const QByteArray original("# kept by hand\n"
                                  "[Default Applications]\n"
                                  "text/plain=org.gnome.TextEditor.desktop;\n"
                                  "image/png=org.gnome.eog.desktop;\n"
                                  "application/pdf=evince.desktop;\n"
                                  "\n"
                                  "[Added Associations]\n"
                                  "image/png=gimp.desktop;org.gnome.eog.desktop;\n"
                                  "image/jpeg=gimp.desktop;\n");
        QVERIFY(writeAll(mimeApps(), original));

        shell::associations::ensureAssociated();

        QByteArray expected("# kept by hand\n"
                            "[Default Applications]\n"
                            "text/plain=org.gnome.TextEditor.desktop;\n"
                            "image/png=pictavo.desktop;org.gnome.eog.desktop;\n"
                            "application/pdf=evince.desktop;\n");
        for (const char *type :
             {"image/jpeg", "image/gif", "image/bmp", "image/vnd.adobe.photoshop", "image/tiff",
              "image/vnd.zbrush.pcx", "image/x-tga", "image/vnd.wap.wbmp", "image/wmf",
              "image/vnd.microsoft.icon", "image/emf"})
            expected += QByteArray(type) + "=pictavo.desktop;\n";
        expected += "\n[Added Associations]\n"
                    "image/png=gimp.desktop;org.gnome.eog.desktop;\n"
                    "image/jpeg=gimp.desktop;\n";
        QCOMPARE(readAll(mimeApps()), expected);
        const QString entry = path("data/applications/pictavo.desktop");
        QCOMPARE(readAll(entry), shell::associations::desktopEntryText());
        if (!QStandardPaths::findExecutable("update-desktop-database").isEmpty())
            QVERIFY(QFileInfo::exists(path("data/applications/mimeinfo.cache")));
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (!validator.isEmpty()) {
            QProcess validate;
            validate.start(validator, {entry});
            QVERIFY(validate.waitForFinished(10000));
            QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());
        }

        shell::associations::restorePrevious();

        QCOMPARE(readAll(mimeApps()), original);
        QVERIFY(settings::Registry::valueNames(settings::Root::CurrentUser,
                                               shell::associations::desktopBackupKey())
                    .isEmpty());
    }

    // Whatever the list looked like, binding and unbinding every type
    // leaves it byte for byte as it was.
    void deassociateRestoresTheList_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::newRow("without the section")
            << QByteArray("[Added Associations]\nimage/png=gimp.desktop;\n");
        QTest::newRow("section elsewhere, CRLF")
            << QByteArray("[Default Applications]\r\ntext/plain=ed.desktop;\r\n\r\n"
                          "[Added Associations]\r\nimage/png=gimp.desktop;\r\n");
        QTest::newRow("only a comment") << QByteArray("# mine\n");
        QTest::newRow("empty file") << QByteArray();
    }

    void deassociateRestoresTheList()
    {
        QFETCH(QByteArray, original);
        QVERIFY(writeAll(mimeApps(), original));
        shell::associations::ensureAssociated();
        QVERIFY(readAll(mimeApps()).contains("image/png=pictavo.desktop;"));
        shell::associations::restorePrevious();
        QCOMPARE(readAll(mimeApps()), original);
    }

    void damagedListSurvives()
    {
        QByteArray damaged =
            bytes("\xff\xfe\x00bin\x00ary\n[Default Applications\nimage/png\n=x\n");
        damaged += "[Default Applications]\nimage/gif=other.desktop;\n[unterminated\n\n\n";
        damaged += QByteArray(3000, '\x7f');
        QVERIFY(writeAll(mimeApps(), damaged));

        shell::associations::ensureAssociated();
        const QByteArray bound = readAll(mimeApps());
        QVERIFY(bound.startsWith(damaged.left(damaged.indexOf("image/gif="))));
        QVERIFY2(
            bound.contains("image/gif=pictavo.desktop;other.desktop;\nimage/jpeg=pictavo.desktop;"),
            bound.left(300).constData());
        QVERIFY(bound.endsWith(damaged.mid(damaged.indexOf("[unterminated"))));

        shell::associations::restorePrevious();
        QCOMPARE(readAll(mimeApps()), damaged);
    }

    // A list that cannot be read (a folder or a pipe in its place) is never
    // overwritten, and never waited on; the store side still binds.
    void unreadableListIsNotReplaced_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("folder") << "folder";
        QTest::newRow("pipe") << "fifo";
    }

    void unreadableListIsNotReplaced()
    {
        QFETCH(QString, what);
        QVERIFY(QDir().mkpath(what == "folder" ? mimeApps() : path("config")));
        if (what == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(mimeApps()).constData(), 0600), 0);
        QElapsedTimer timer;
        timer.start();
        shell::associations::ensureAssociated();
        QVERIFY(!m_desktop->setDefaultApplications("image/png", QStringLiteral("x;")));
        QCOMPARE(m_desktop->defaultApplications("image/png"), std::nullopt);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        const QFileInfo info(mimeApps());
        QVERIFY(what == "folder" ? info.isDir() : !info.isFile() && info.exists());
        QVERIFY(shell::associations::isAssociated(".png", "Pictavo.png"));
    }

    void xdgMimeFollows()
    {
        const QString xdgMime = QStandardPaths::findExecutable("xdg-mime");
        if (xdgMime.isEmpty())
            QSKIP("xdg-mime is not installed");
        QVERIFY(writeAll(path("data/applications/other-viewer.desktop"),
                         "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %f\n"
                         "MimeType=image/png;\n"));
        QVERIFY(writeAll(mimeApps(), "[Default Applications]\nimage/png=other-viewer.desktop;\n"));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                 "GNOME_DESKTOP_SESSION_ID", "XDG_MENU_PREFIX", "DISPLAY",
                                 "WAYLAND_DISPLAY", "MATE_DESKTOP_SESSION_ID"})
            env.remove(QString::fromLatin1(name));
        env.insert("HOME", path("home"));
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("XDG_DATA_HOME", path("data"));
        env.insert("XDG_CONFIG_DIRS", path("none"));
        env.insert("XDG_DATA_DIRS", path("none"));
        const auto query = [&] {
            QProcess process;
            process.setProcessEnvironment(env);
            process.start(xdgMime, {"query", "default", "image/png"});
            if (!process.waitForFinished(20000))
                return QStringLiteral("(timed out)");
            return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
        };

        const QString before = query();
        QCOMPARE(before, "other-viewer.desktop"); // xdg-mime reads XDG_CONFIG_HOME/mimeapps.list
        shell::associations::ensureAssociated();
        QCOMPARE(query(), "pictavo.desktop");
        shell::associations::restorePrevious();
        QCOMPARE(query(), before);
    }

    void packagedEntryDeclaresTheSameTypes()
    {
        const QByteArray packaged =
            readAll(qEnvironmentVariable("PICTAVO_SOURCE_DIR") + "/packaging/pictavo.desktop");
        QVERIFY(!packaged.isEmpty());
        const QByteArray line =
            "\nMimeType=" + shell::associations::desktopMimeTypes().join(';').toUtf8() + ";\n";
        QVERIFY(packaged.contains(line));
        QVERIFY(shell::associations::desktopEntryText().contains(line));
    }
};

PICTAVO_TEST_MAIN(tst_assoc_mirror)
#include "tst_assoc_mirror.moc"
