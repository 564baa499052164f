// SPDX-License-Identifier: GPL-3.0-or-later
// File-type associations over the store, with the desktop mirror faked.
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "core/Formats.h"
#include "core/Paths.h"
#include "core/Process.h"
#include "settings/Registry.h"
#include "shell/Associations.h"
#include "support/FakeDesktopIntegration.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

using namespace shell::associations;
using core::MsgResult;
using settings::Registry;

namespace {

const QString kQuestion = QStringLiteral(
    "The following image types are no more associated with Pictavo, Do you want to associate "
    "them now?\r\n");

QString str(const char16_t *text)
{
    return QString::fromUtf16(text);
}

std::optional<QString> storeValue(settings::Root root, const QString &key, const QString &name)
{
    const auto v = Registry::value(root, key, name);
    if (!v)
        return std::nullopt;
    return v->data;
}

struct FileState
{
    QByteArray bytes;
    QDateTime modified;
    bool operator==(const FileState &) const = default;
};

FileState stateOf(const QString &path)
{
    QFile file(path);
    FileState state;
    if (file.open(QIODevice::ReadOnly))
        state.bytes = file.readAll();
    state.modified = QFileInfo(path).lastModified();
    return state;
}

} // namespace

class tst_assoc : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<testsupport::ScriptedPrompts> m_prompts;
    std::unique_ptr<testsupport::FakeDesktopIntegration> m_desktop;
    QString m_program;

    void makeProgram(const QString &prefix)
    {
        QDir().mkpath(prefix + QLatin1String("/bin"));
        QDir().mkpath(prefix + QLatin1String("/share/pictavo/icons"));
        m_program = prefix + QLatin1String("/bin/pictavo");
        QFile exe(m_program);
        QVERIFY(exe.open(QIODevice::WriteOnly));
        exe.write("#!/bin/sh\n");
        exe.close();
        core::setProgramFolder(prefix + QLatin1String("/share/pictavo"));
    }

    QList<FileState> storeState() const
    {
        return {stateOf(Registry::fileOf(settings::Root::ClassesRoot)),
                stateOf(Registry::fileOf(settings::Root::CurrentUser)),
                stateOf(Registry::fileOf(settings::Root::LocalMachine))};
    }

    // Another program takes the types over: in the store or on the desktop.
    static void takeOver(const QStringList &extensions, const QStringList &mimeTypes,
                         testsupport::FakeDesktopIntegration &desktop)
    {
        for (const QString &ext : extensions)
            setStringValue(settings::Root::ClassesRoot, ext, QString(),
                           QLatin1String("Other") + ext);
        for (const QString &mime : mimeTypes)
            desktop.defaults.insert(mime, QStringLiteral("other.desktop;"));
    }

    static QString allNames()
    {
        QString names;
        for (const Association &row : table())
            names += str(row.questionName);
        return names;
    }

private slots:
    void init()
    {
        // Every store write is synced to disk; a memory file system keeps the
        // hundreds of writes of a first start quick.
        m_dir = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                    ? std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/tst_assoc-XXXXXX"))
                    : std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        Registry::setFolder(m_dir->filePath(QStringLiteral("registry")));
        makeProgram(m_dir->filePath(QStringLiteral("prefix")));
        m_prompts = std::make_unique<testsupport::ScriptedPrompts>();
        m_desktop = std::make_unique<testsupport::FakeDesktopIntegration>();
    }

    void cleanup()
    {
        m_desktop.reset();
        m_prompts.reset();
        core::setProgramFolder(QString());
        Registry::setFolder(QString());
        m_dir.reset();
    }

    void firstStartRegistersAndBindsEverything()
    {
        // Previous bindings of one type, in the store and on the desktop.
        setStringValue(settings::Root::ClassesRoot, QStringLiteral(".png"), QString(),
                       QStringLiteral("pngfile"));
        setStringValue(settings::Root::CurrentUser, fileExtsKey(QStringLiteral(".png")),
                       QStringLiteral("ProgID"), QStringLiteral("Viewer.png"));
        m_desktop->defaults.insert(QStringLiteral("image/png"), QStringLiteral("eog.desktop;"));

        ensureAssociated();

        QCOMPARE(m_prompts->shown.size(), 0);
        const QString command = m_program + QLatin1String(" %1");
        for (const Association &row : table()) {
            const QString cls = str(row.progId);
            const QString ext = str(row.extension);
            QCOMPARE(storeValue(settings::Root::ClassesRoot, cls, {}), str(row.description));
            QCOMPARE(storeValue(settings::Root::ClassesRoot, cls + "\\shell", {}), QString());
            QCOMPARE(storeValue(settings::Root::ClassesRoot, cls + "\\shell\\open", {}), QString());
            QCOMPARE(storeValue(settings::Root::ClassesRoot, cls + "\\shell\\open\\command", {}),
                     command);
            QCOMPARE(storeValue(settings::Root::ClassesRoot, cls + "\\DefaultIcon", {}),
                     appFolder() + str(row.icon).mid(1));
            QVERIFY(isAssociated(ext, cls));
            QCOMPARE(storeValue(settings::Root::CurrentUser, fileExtsKey(ext), "ProgID"), cls);
            const bool png = ext == QLatin1String(".png");
            QCOMPARE(storeValue(settings::Root::ClassesRoot, ext, "OldAss"),
                     png ? "pngfile" : QString());
            QCOMPARE(storeValue(settings::Root::CurrentUser, fileExtsKey(ext), "OldProgID"),
                     png ? "Viewer.png" : QString());
        }
        QCOMPARE(Registry::subKeys(settings::Root::ClassesRoot, {}).size(), 30);
        QCOMPARE(appFolder() + str(table()[1].icon).mid(1), appFolder() + "icons/jpg.ico");

        // The desktop: Pictavo first, the previous programs behind it and in the backups.
        QCOMPARE(m_desktop->defaults.value("image/png"), "pictavo.desktop;eog.desktop;");
        QCOMPARE(m_desktop->defaults.value("image/gif"), "pictavo.desktop;");
        QCOMPARE(m_desktop->defaults.size(), 12);
        QCOMPARE(storeValue(settings::Root::CurrentUser, desktopBackupKey(), "image/png"),
                 "eog.desktop;");
        QCOMPARE(storeValue(settings::Root::CurrentUser, desktopBackupKey(), "image/jpeg"),
                 QString());
        QCOMPARE(Registry::valueNames(settings::Root::CurrentUser, desktopBackupKey()).size(), 12);
        QCOMPARE(m_desktop->entries.value("pictavo.desktop"), desktopEntryText());
        QVERIFY(m_desktop->notifications > 0);
    }

    void unchangedSecondStartWritesNothing()
    {
        ensureAssociated();
        const QList<FileState> before = storeState();
        const int writes = m_desktop->writes;
        const int notifications = m_desktop->notifications;
        QTest::qWait(20); // a write now would show in the modification time

        ensureAssociated();

        QCOMPARE(m_prompts->shown.size(), 0);
        QCOMPARE(storeState(), before);
        QCOMPARE(m_desktop->writes, writes);
        QCOMPARE(m_desktop->notifications, notifications);
    }

    void takenOverTypes_data()
    {
        QTest::addColumn<QStringList>("storeTaken");
        QTest::addColumn<QStringList>("desktopTaken");
        QTest::addColumn<QString>("names");

        QTest::newRow("store png gif")
            << QStringList{".png", ".gif"} << QStringList{} << " gif  png ";
        QTest::newRow("desktop png") << QStringList{} << QStringList{"image/png"} << " png ";
        QTest::newRow("desktop jpeg, store tla")
            << QStringList{".tla"} << QStringList{"image/jpeg"} << " jpg  jpeg  tla ";
    }

    void takenOverTypes()
    {
        QFETCH(QStringList, storeTaken);
        QFETCH(QStringList, desktopTaken);
        QFETCH(QString, names);
        ensureAssociated();
        takeOver(storeTaken, desktopTaken, *m_desktop);

        m_prompts->messageAnswers = {MsgResult::Yes};
        ensureAssociated();

        QCOMPARE(m_prompts->shown.size(), 1);
        const auto &shown = m_prompts->shown.first();
        QCOMPARE(shown.text, kQuestion + names);
        QCOMPARE(shown.icon, core::MsgIcon::Question);
        QCOMPARE(shown.buttons, core::MsgButtons::YesNo);
        QCOMPARE(shown.caption, QString::fromUtf16(core::kAppTitle)); // the application title
        for (const QString &ext : storeTaken) {
            QVERIFY(isAssociated(ext, "Pictavo" + ext));
            QCOMPARE(storeValue(settings::Root::ClassesRoot, ext, "OldAss"), "Other" + ext);
        }
        for (const QString &mime : desktopTaken) {
            QCOMPARE(m_desktop->defaults.value(mime), "pictavo.desktop;other.desktop;");
            QCOMPARE(storeValue(settings::Root::CurrentUser, desktopBackupKey(), mime),
                     "other.desktop;");
        }
        // Answered: nothing more to ask.
        ensureAssociated();
        QCOMPARE(m_prompts->shown.size(), 1);
    }

    void answerNoWritesNothing()
    {
        ensureAssociated();
        takeOver({".png", ".gif"}, {"image/tiff"}, *m_desktop);
        const QList<FileState> before = storeState();
        const int writes = m_desktop->writes;
        QTest::qWait(20);

        m_prompts->messageAnswers = {MsgResult::No};
        ensureAssociated();

        QCOMPARE(m_prompts->texts(), QStringList{kQuestion + " gif  png  tif "});
        QCOMPARE(storeState(), before);
        QCOMPARE(m_desktop->writes, writes);
        // The question comes back at the next start.
        m_prompts->messageAnswers = {MsgResult::No};
        ensureAssociated();
        QCOMPARE(m_prompts->shown.size(), 2);
    }

    void removeRestoresPreviousBindings()
    {
        setStringValue(settings::Root::ClassesRoot, ".png", {}, "pngfile");
        setStringValue(settings::Root::CurrentUser, fileExtsKey(".png"), "ProgID", "Viewer.png");
        m_desktop->defaults.insert("image/png", "eog.desktop;");
        m_desktop->defaults.insert("text/plain", "editor.desktop;");
        const auto desktopBefore = m_desktop->defaults;
        ensureAssociated();

        restorePrevious();

        for (const Association &row : table()) {
            const QString ext = str(row.extension);
            const bool png = ext == QLatin1String(".png");
            QCOMPARE(storeValue(settings::Root::ClassesRoot, ext, {}), png ? "pngfile" : QString());
            QCOMPARE(storeValue(settings::Root::CurrentUser, fileExtsKey(ext), "ProgID"),
                     png ? "Viewer.png" : QString());
            QVERIFY(!storeValue(settings::Root::ClassesRoot, ext, "OldAss"));
            QVERIFY(!storeValue(settings::Root::CurrentUser, fileExtsKey(ext), "OldProgID"));
            // The classes stay registered.
            QCOMPARE(storeValue(settings::Root::ClassesRoot, str(row.progId), {}),
                     str(row.description));
        }
        QCOMPARE(m_desktop->defaults, desktopBefore);
        QVERIFY(Registry::valueNames(settings::Root::CurrentUser, desktopBackupKey()).isEmpty());

        // The next start finds the classes and asks for every type.
        m_prompts->messageAnswers = {MsgResult::No};
        ensureAssociated();
        QCOMPARE(m_prompts->texts(), QStringList{kQuestion + allNames()});
    }

    void removeLeavesOtherProgramsAlone()
    {
        ensureAssociated();
        takeOver({".png"}, {"image/gif"}, *m_desktop);

        restorePrevious();

        QCOMPARE(storeValue(settings::Root::ClassesRoot, ".png", {}), "Other.png");
        QCOMPARE(storeValue(settings::Root::ClassesRoot, ".png", "OldAss"), QString());
        QCOMPARE(storeValue(settings::Root::CurrentUser, fileExtsKey(".png"), "ProgID"),
                 "Pictavo.png");
        QCOMPARE(m_desktop->defaults.value("image/gif"), "other.desktop;");
        QCOMPARE(storeValue(settings::Root::ClassesRoot, ".gif", {}),
                 QString()); // its store binding went back
        QVERIFY(!m_desktop->defaults.contains("image/jpeg"));
    }

    void restoreWithoutBackupTakesPictavoOut()
    {
        // A store lost after binding: Pictavo leaves the list, the others stay.
        m_desktop->defaults.insert("image/png", "pictavo.desktop;eog.desktop;");
        m_desktop->defaults.insert("image/gif", "pictavo.desktop;");
        setStringValue(settings::Root::ClassesRoot, ".png", {}, "Pictavo.png");

        restoreExtension(".png", "Pictavo.png");
        restoreExtension(".gif", "Pictavo.gif");

        QCOMPARE(m_desktop->defaults.value("image/png"), "eog.desktop;");
        QVERIFY(!m_desktop->defaults.contains("image/gif"));
    }

    void registerProgIdDropsKeyNamedByDescription_data()
    {
        QTest::addColumn<QString>("pointsTo");
        QTest::addColumn<bool>("kept");
        QTest::newRow("points to the class") << "Pictavo.jpg" << false;
        QTest::newRow("anything else") << "Other.jpg" << true;
    }

    void registerProgIdDropsKeyNamedByDescription()
    {
        QFETCH(QString, pointsTo);
        QFETCH(bool, kept);
        setStringValue(settings::Root::ClassesRoot, "Pictavo JPG image", {}, pointsTo);
        registerProgId("Pictavo.jpg", "Pictavo JPG image", "open", QString());
        QCOMPARE(Registry::keyExists(settings::Root::ClassesRoot, "Pictavo JPG image"), kept);
        // No icon given: the program stands for it.
        QCOMPARE(storeValue(settings::Root::ClassesRoot, "Pictavo.jpg\\DefaultIcon", {}),
                 m_program);
    }

    void openCommandQuoting_data()
    {
        QTest::addColumn<QString>("prefix");   // below the temporary folder; empty: no program
        QTest::addColumn<QString>("expected"); // with @ for the temporary folder
        QTest::newRow("plain") << "p"
                               << "@/p/bin/pictavo %1";
        QTest::newRow("blank") << "my apps"
                               << "\"@/my apps/bin/pictavo\" %1";
        QTest::newRow("quote") << "a\"b"
                               << "\"@/a\\\"b/bin/pictavo\" %1";
        QTest::newRow("missing program") << ""
                                         << " %1";
    }

    void openCommandQuoting()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, expected);
        if (prefix.isEmpty())
            core::setProgramFolder(m_dir->filePath("nowhere/share/pictavo"));
        else
            makeProgram(m_dir->filePath(prefix));
        QCOMPARE(openCommand(), QString(expected).replace('@', m_dir->path()));
        ensureAssociated();
        QCOMPARE(storeValue(settings::Root::ClassesRoot, "Pictavo.gif\\shell\\open\\command", {}),
                 openCommand());
    }

    void programPathFromFolder_data()
    {
        QTest::addColumn<QString>("programFolder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("installed") << "/usr/share/pictavo"
                                   << "/usr/bin/pictavo";
        QTest::newRow("build tree") << "/b/share/pictavo"
                                    << "/b/bin/pictavo";
        QTest::newRow("beside the data") << "/opt/pictavo"
                                         << "/opt/pictavo/pictavo";
        QTest::newRow("root") << "/"
                              << "/pictavo";
    }

    void programPathFromFolder()
    {
        QFETCH(QString, programFolder);
        QFETCH(QString, expected);
        core::setProgramFolder(programFolder);
        QCOMPARE(programPath(), expected);
        QVERIFY(appFolder().endsWith('/'));
        QVERIFY(!appFolder().endsWith("//"));
    }

    void desktopExecQuoting_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << "/usr/bin/pictavo"
                               << "/usr/bin/pictavo %f";
        QTest::newRow("blank") << "/my apps/pictavo"
                               << "\"/my apps/pictavo\" %f";
        QTest::newRow("quote and dollar") << "/a\"b$c/pictavo"
                                          << "\"/a\\\\\"b\\\\$c/pictavo\" %f";
        QTest::newRow("backslash") << "/a\\b/pictavo"
                                   << "\"/a\\\\\\\\b/pictavo\" %f";
        QTest::newRow("percent") << "/100%/pictavo"
                                 << "/100%%/pictavo %f";
    }

    void desktopExecQuoting()
    {
        QFETCH(QString, path);
        QFETCH(QString, exec);
        QCOMPARE(desktopExec(path), exec);
    }

    void desktopEntryNamesProgramAndTypes()
    {
        const QString text = QString::fromUtf8(desktopEntryText());
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("\nName=Pictavo\n"));
        QVERIFY(text.contains("\nExec=" + m_program + " %f\n"));
        // The entry Pictavo leaves in the user's folder disappears from menus
        // once the program is removed.
        QVERIFY(text.contains("\nTryExec=" + m_program + "\n"));
        for (const Association &row : table())
            if (row.mimeType[0])
                QVERIFY(text.contains(str(row.mimeType) + ';'));
    }

    void getStringValue_data()
    {
        QTest::addColumn<QString>("data");
        QTest::addColumn<bool>("expand");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "abc" << false << "abc";
        QTest::newRow("cut at NUL") << QString::fromUtf16(u"ab\0cd", 5) << false << "ab";
        QTest::newRow("not expandable") << "%PICTAVO_T%" << false << "%PICTAVO_T%";
        QTest::newRow("expanded") << "x%PICTAVO_T%y" << true << "x/tmp/t y";
        QTest::newRow("unknown kept") << "%PICTAVO_NONE%\\a" << true << "%PICTAVO_NONE%\\a";
        QTest::newRow("lone percent") << "100% and %PICTAVO_T%" << true << "100% and /tmp/t ";
        QTest::newRow("double percent") << "%%PICTAVO_T%" << true << "%/tmp/t ";
    }

    void getStringValue()
    {
        QFETCH(QString, data);
        QFETCH(bool, expand);
        QFETCH(QString, expected);
        qputenv("PICTAVO_T", "/tmp/t ");
        Registry::setValue(settings::Root::CurrentUser, "Software\\T", "v", {data, expand});
        QCOMPARE(stringValue(settings::Root::CurrentUser, "Software\\T", "v", "def"), expected);
        QCOMPARE(stringValue(settings::Root::CurrentUser, "Software\\T", "missing", "def"), "def");
        QCOMPARE(stringValue(settings::Root::CurrentUser, "Software\\Missing", "v", "def"), "def");
    }

    void primitives()
    {
        QCOMPARE(shortPath(m_program), m_program);
        QCOMPARE(shortPath(m_program + "x"), QString());
        QCOMPARE(shortPath(QString()), QString());
        setStringValue(settings::Root::ClassesRoot, "A\\B", "n", "v");
        deleteKey(settings::Root::ClassesRoot, "A"); // has a sub-key: stays
        QVERIFY(Registry::keyExists(settings::Root::ClassesRoot, "A\\B"));
        deleteValue(settings::Root::ClassesRoot, "A\\B", "n");
        QVERIFY(!storeValue(settings::Root::ClassesRoot, "A\\B", "n"));
        deleteKey(settings::Root::ClassesRoot, "A\\B");
        QVERIFY(!Registry::keyExists(settings::Root::ClassesRoot, "A\\B"));
    }

    void damagedStoreActsAsFirstStart()
    {
        QDir().mkpath(Registry::folder());
        for (settings::Root root : {settings::Root::ClassesRoot, settings::Root::CurrentUser}) {
            QFile file(Registry::fileOf(root));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("{\"keys\": [{\"name\": \"Pictavo.jpg\", \"values\": [[1, 2]], \"keys\": "
                       "7}\x01\xff");
        }
        ensureAssociated();
        QCOMPARE(m_prompts->shown.size(), 0);
        QVERIFY(isAssociated(".tla", "Pictavo.tla"));
        QCOMPARE(storeValue(settings::Root::ClassesRoot, "Pictavo.tla", {}), "Pictavo TLA image");
    }

    void isSupportedImageFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("supported");
        QTest::newRow("JPG in capitals") << "/p/PHOTO.JPG" << true;
        QTest::newRow("cursor") << "/p/arrow.cur" << true;
        QTest::newRow("pcd") << "/p/scan.pcd" << true;
        QTest::newRow("wbmp") << "/p/a.wbmp" << true;
        QTest::newRow("text") << "/p/readme.txt" << false;
        QTest::newRow("no extension") << "/p/readme" << false;
        QTest::newRow("dot in folder only") << "/p.jpg/readme" << false;
        QTest::newRow("substring pc") << "/p/a.pc" << true;
        QTest::newRow("jpeg is not in the list") << "/p/a.jpeg" << false;
    }

    void isSupportedImageFile()
    {
        QFETCH(QString, path);
        QFETCH(bool, supported);
        QCOMPARE(core::isSupportedImageFile(path), supported);
    }

    void shippedIconsExist_data()
    {
        QTest::addColumn<QString>("file");
        for (const Association &row : table())
            QTest::newRow(qPrintable(str(row.extension))) << str(row.icon).mid(1);
        QTest::newRow("application") << "icons/pictavo.png";
    }

    void shippedIconsExist()
    {
        QFETCH(QString, file);
        const QString path = qEnvironmentVariable("PICTAVO_SOURCE_DIR") + "/resources/data/" + file;
        QImageReader reader(path);
        QVERIFY2(reader.canRead(), qPrintable(path));
        if (file.endsWith(".ico"))
            QCOMPARE(reader.imageCount(), 4); // 16, 32, 48 and 256 pixels
        QVERIFY(!reader.read().isNull());
    }
};

PICTAVO_TEST_MAIN(tst_assoc)
#include "tst_assoc.moc"
