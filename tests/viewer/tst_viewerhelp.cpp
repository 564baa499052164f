// SPDX-License-Identifier: GPL-3.0-or-later
// The Help menu: the about box with System Info, the user manual and the
// update program.
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include "ViewerFixture.h"
#include "core/Paths.h"
#include "settings/Registry.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"
#include "viewer/AboutDialog.h"

using namespace viewertest;

namespace {

const QString kToolKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kFolderKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");

// Receives the addresses the program hands to the desktop's browser.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

// A small program that leaves "<its path>.ran" holding its arguments and
// working folder, so that a test sees it was started and how.
QString makeProgram(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write("#!/bin/sh\necho \"$@\" \"$(pwd)\" > \"$0.ran\"\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void setStoreValue(const QString &key, const QString &name, const QString &data)
{
    QVERIFY(settings::Registry::setValue(settings::Root::LocalMachine, key, name, {data, false}));
}

} // namespace

class tst_ViewerHelp : public ViewerFixture
{
    Q_OBJECT

    QTemporaryDir m_programs;

    viewer::AboutDialog *aboutOf(viewer::ViewerWindow *v)
    {
        return v->findChild<viewer::AboutDialog *>();
    }

    static void clearStore()
    {
        settings::Registry::deleteValue(settings::Root::LocalMachine, kToolKey,
                                        QStringLiteral("PATH"));
        settings::Registry::deleteValue(settings::Root::LocalMachine, kFolderKey,
                                        QStringLiteral("MSINFO"));
    }

private slots:

    // The about box's texts, buttons and icon, shown without blocking and
    // owned by the viewer; the menu brings back the one already open.
    void aboutBox()
    {
        viewer::ViewerWindow *v = make();
        act(v, "mnuAbout")->trigger();
        viewer::AboutDialog *about = aboutOf(v);
        QVERIFY(about);
        QVERIFY(about->isVisible());
        QVERIFY(!about->isModal());
        QCOMPARE(about->parentWidget(), v);
        QVERIFY(about->isWindow());
        QCOMPARE(about->windowTitle(), QStringLiteral("About Pictavo"));

        auto label = [&](int i) {
            auto *l = about->findChild<QLabel *>(QStringLiteral("SkinLabel%1").arg(i));
            return l ? l->text() : QStringLiteral("<missing>");
        };
        QCOMPARE(label(1), QStringLiteral("Pictavo"));
        QCOMPARE(label(2), QStringLiteral("Version 1.7.0.0"));
        QCOMPARE(label(3), QStringLiteral("Use Pictavo  to easily navigate your favorite images in "
                                          "your computer, Slide show in full screen, Save to alot "
                                          "of image formats, Encryption, transformations,  and "
                                          "more..."));
        QVERIFY(label(4).contains(QLatin1String("distribution")));
        QVERIFY(label(5).contains(QLatin1String("support")));
        auto *icon = about->findChild<QLabel *>(QStringLiteral("picIcon"));
        QVERIFY(icon && !icon->pixmap().isNull());
        auto *ok = about->findChild<QPushButton *>(QStringLiteral("cmdOK"));
        auto *sysInfo = about->findChild<QPushButton *>(QStringLiteral("cmdSysInfo"));
        QVERIFY(ok && sysInfo);
        QCOMPARE(ok->text(), QStringLiteral("         OK"));
        QCOMPARE(sysInfo->text(), QStringLiteral("         &System Info..."));

        // Dressed in the browser's skin.
        for (const char *dressed :
             {"frmAbout smallform", "cmdOK Button", "cmdSysInfo Button", "SkinLabel1 Label",
              "SkinLabel2 Label", "SkinLabel3 Label", "SkinLabel4 Label", "SkinLabel5 Label"})
            QVERIFY2(m_link.skinned.contains(QString::fromLatin1(dressed)), dressed);

        act(v, "mnuAbout")->trigger();
        QCOMPARE(v->findChildren<viewer::AboutDialog *>().size(), 1);

        const QPointer<viewer::AboutDialog> gone(about);
        QTest::mouseClick(ok, Qt::LeftButton);
        QTRY_VERIFY(!gone);
    }

    // System Info starts the tool the settings store names, and otherwise
    // says that there is none.
    void systemInfo_data()
    {
        QTest::addColumn<QString>("toolPath");   // "PATH" value; "-" none
        QTest::addColumn<QString>("toolFolder"); // "MSINFO" value; "-" none
        QTest::addColumn<bool>("folderHasTool");
        QTest::addColumn<QString>("started"); // which program ran: "path", "folder" or ""
        QTest::newRow("nothing in the store") << "-"
                                              << "-" << false << "";
        QTest::newRow("PATH names a program") << "tool"
                                              << "-" << false << "path";
        QTest::newRow("PATH names no program") << "missing"
                                               << "-" << false << "";
        QTest::newRow("PATH empty") << ""
                                    << "-" << false << "";
        QTest::newRow("folder without the tool") << "-"
                                                 << "folder" << false << "";
        QTest::newRow("folder with the tool") << "-"
                                              << "folder" << true << "folder";
        // The first place found is the only one tried.
        QTest::newRow("PATH fails, folder would do") << "missing"
                                                     << "folder" << true << "";
        QTest::newRow("PATH wins over the folder") << "tool"
                                                   << "folder" << true << "path";
    }

    void systemInfo()
    {
        QFETCH(QString, toolPath);
        QFETCH(QString, toolFolder);
        QFETCH(bool, folderHasTool);
        QFETCH(QString, started);
        clearStore();
        QTemporaryDir dir;
        const QString tool = makeProgram(dir.filePath(QStringLiteral("sys info")));
        QDir().mkpath(dir.filePath(QStringLiteral("folder")));
        const QString folderTool = dir.filePath(QStringLiteral("folder/MSINFO32.EXE"));
        if (folderHasTool)
            makeProgram(folderTool);
        if (toolPath != QLatin1String("-"))
            setStoreValue(kToolKey, QStringLiteral("PATH"),
                          toolPath == QLatin1String("tool")      ? tool
                          : toolPath == QLatin1String("missing") ? dir.filePath(QStringLiteral("x"))
                                                                 : QString());
        if (toolFolder != QLatin1String("-"))
            setStoreValue(kFolderKey, QStringLiteral("MSINFO"), dir.filePath(toolFolder));

        viewer::ViewerWindow *v = make();
        v->showAbout();
        testsupport::ScriptedPrompts prompts;
        QTest::mouseClick(aboutOf(v)->findChild<QPushButton *>(QStringLiteral("cmdSysInfo")),
                          Qt::LeftButton);
        if (started.isEmpty()) {
            QCOMPARE(prompts.texts(), QStringList{QString::fromUtf16(viewer::kSysInfoUnavailable)});
            QCOMPARE(prompts.shown.at(0).icon, core::MsgIcon::None);
            QCOMPARE(prompts.shown.at(0).buttons, core::MsgButtons::Ok);
            QCOMPARE(prompts.shown.at(0).caption, core::promptCaption({}));
        } else {
            QCOMPARE(prompts.count(QStringLiteral("message")), 0);
            const QString ran = (started == QLatin1String("path") ? tool : folderTool) + ".ran";
            QTRY_VERIFY(QFile::exists(ran));
        }
        QVERIFY(
            !QFile::exists(started == QLatin1String("path") ? folderTool + ".ran" : tool + ".ran"));
    }

    // Reading a value of the store as text.
    void keyValue_data()
    {
        QTest::addColumn<QString>("stored"); // "-": no value
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("text");
        QTest::newRow("missing") << "-" << false << "";
        QTest::newRow("text") << "C:\\Tools\\info.exe" << true << "C:\\Tools\\info.exe";
        QTest::newRow("empty") << "" << true << "";
        QTest::newRow("trailing NUL dropped")
            << QStringLiteral("abc") + QChar(u'\0') << true << "abc";
        QTest::newRow("fills the buffer") << QString(1023, u'a') << true << QString(1023, u'a');
        QTest::newRow("too long for the buffer") << QString(1024, u'a') << false << "";
    }

    void keyValue()
    {
        QFETCH(QString, stored);
        QFETCH(bool, read);
        QFETCH(QString, text);
        clearStore();
        if (stored != QLatin1String("-"))
            setStoreValue(kToolKey, QStringLiteral("PATH"), stored);
        const auto value = viewer::AboutDialog::keyValue(settings::Root::LocalMachine, kToolKey,
                                                         QStringLiteral("PATH"));
        QCOMPARE(value.has_value(), read);
        if (read)
            QCOMPARE(*value, text);
        QVERIFY(!viewer::AboutDialog::keyValue(settings::Root::LocalMachine,
                                               QStringLiteral("SOFTWARE\\No Such Key"),
                                               QStringLiteral("PATH")));
    }

    // Help Index opens the manual in the desktop's browser; without the
    // manual nothing happens.
    void helpIndex()
    {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
        testsupport::ScriptedPrompts prompts;
        QTemporaryDir dir;
        core::setProgramFolder(dir.path());
        const auto restore = qScopeGuard([] { core::setProgramFolder({}); });
        viewer::ViewerWindow *v = make();

        act(v, "mnuHelpIndex")->trigger();
        QVERIFY(recorder.opened.isEmpty());
        QCOMPARE(prompts.shown.size(), 0);

        QDir().mkpath(dir.filePath(QStringLiteral("help")));
        QFile page(dir.filePath(QStringLiteral("help/index.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.close();
        act(v, "mnuHelpIndex")->trigger();
        QCOMPARE(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(page.fileName())});
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

    // update starts the update program when it is installed and does
    // nothing when it is not.
    void update()
    {
        testsupport::ScriptedPrompts prompts;
        QTemporaryDir dir;
        core::setProgramFolder(dir.path());
        const auto restore = qScopeGuard([] { core::setProgramFolder({}); });
        viewer::ViewerWindow *v = make();
        act(v, "mnuupdate")->trigger();
        QCOMPARE(prompts.shown.size(), 0);

        QDir().mkpath(dir.filePath(QStringLiteral("update")));
        const QString program = makeProgram(dir.filePath(QStringLiteral("update/update")));
        act(v, "mnuupdate")->trigger();
        QTRY_VERIFY(QFile::exists(program + ".ran"));
        QCOMPARE(readAll(program + ".ran").trimmed(), QStringLiteral("0 /"));
        QCOMPARE(prompts.shown.size(), 0);
    }

    // The manual shipped with the program: present in the build's data
    // folder, and every link in it leads somewhere that exists.
    void manualLinksResolve()
    {
        const QString built = qEnvironmentVariable("PICTAVO_BINARY_DIR") +
                              QStringLiteral("/share/pictavo/help/index.html");
        if (qEnvironmentVariableIsEmpty("PICTAVO_BINARY_DIR"))
            QSKIP("run through ctest, which names the build folder");
        QVERIFY2(QFile::exists(built), qPrintable(built));
        const QString html = readAll(built);
        QVERIFY(html.contains(QLatin1String("<title>")));

        QSet<QString> anchors;
        static const QRegularExpression idRe(QStringLiteral(R"re((?:id|name)\s*=\s*"([^"]+)")re"));
        for (auto it = idRe.globalMatch(html); it.hasNext();)
            anchors.insert(it.next().captured(1));
        static const QRegularExpression linkRe(
            QStringLiteral(R"re((?:href|src)\s*=\s*"([^"]*)")re"));
        int links = 0;
        for (auto it = linkRe.globalMatch(html); it.hasNext();) {
            const QString link = it.next().captured(1);
            ++links;
            QVERIFY2(!link.isEmpty(), "an empty link");
            const QUrl url(link);
            QVERIFY2(url.isValid(), qPrintable(link));
            if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https") ||
                url.scheme() == QLatin1String("mailto"))
                continue; // outside the program: not checked offline
            QVERIFY2(url.scheme().isEmpty(), qPrintable(link));
            if (!url.path().isEmpty())
                QVERIFY2(QFileInfo::exists(QFileInfo(built).absoluteDir().filePath(url.path())),
                         qPrintable(link));
            if (url.hasFragment() && url.path().isEmpty())
                QVERIFY2(anchors.contains(url.fragment()), qPrintable(link));
        }
        QVERIFY(links > 0);
    }
};

PICTAVO_TEST_MAIN(tst_ViewerHelp)
#include "tst_viewerhelp.moc"
