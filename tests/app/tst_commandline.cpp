// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: the association switches end the process without a
// window, every other start runs the association check first, and a text that
// names a file or folder opens the viewer on it with the browser hidden.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <unistd.h>

#include "BrowserParts.h"
#include "app/BrowserWindow.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/Splash.h"
#include "core/Paths.h"
#include "core/Process.h"
#include "imaging/ImageView.h"
#include "settings/Registry.h"
#include "shell/Associations.h"
#include "support/FakeDesktopIntegration.h"
#include "support/FakeInstance.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"
#include "viewer/ViewerInstance.h"
#include "viewer/ViewerWindow.h"

using settings::Registry;

using namespace browsertest;

namespace {

bool anyWindowVisible()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](QWidget *w) { return w->isVisible(); });
}

// Prompts that also note whether any window was up when a question came.
class WatchingPrompts : public testsupport::ScriptedPrompts
{
public:
    QList<bool> windowsUp;

    core::MsgResult message(const QString &text, core::MsgIcon icon, core::MsgButtons buttons,
                            const QString &caption) override
    {
        windowsUp << anyWindowVisible();
        return ScriptedPrompts::message(text, icon, buttons, caption);
    }
};

void writeImage(const QString &path, const char *format)
{
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(QColor(30, 120, 200));
    QVERIFY2(image.save(path, format), qPrintable(path));
}

void writeText(const QString &path)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write("not a picture\n");
}

QString bindingOf(const QString &extension)
{
    return shell::associations::stringValue(settings::Root::ClassesRoot, extension, QString(),
                                            QString());
}

} // namespace

class tst_CommandLine : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_store; // settings store and program folder
    QTemporaryDir m_files;                  // the pictures named on the command line
    std::unique_ptr<WatchingPrompts> m_prompts;
    std::unique_ptr<testsupport::FakeDesktopIntegration> m_desktop;
    std::unique_ptr<app::BrowserWindow> m_browser;
    QList<int> m_ended;
    QStringList m_steps;
    QString m_savedCurrent;

    // The picture folders, made once:
    //   pics/       a.png  b.png  C.jpg  notes.txt  sub/ (d.png)
    //   my pics/    x y.png
    //   bare/       readme.txt  inner/ (e.png)
    QString pics() const { return m_files.path() + "/pics"; }

    app::BrowserWindow *startBrowser(const QString &commandText)
    {
        m_browser = std::make_unique<app::BrowserWindow>();
        m_browser->setSingleInstance(std::make_unique<testsupport::FakeInstance>(false));
        m_browser->splash()->setMinimumMs(0);
        connect(
            m_browser.get(), &app::BrowserWindow::startupStep, this,
            [this](app::BrowserWindow::StartupStep step, const QString &) {
                m_steps << QString::fromLatin1(
                    QMetaEnum::fromType<app::BrowserWindow::StartupStep>().valueToKey(int(step)));
            });
        m_browser->start(commandText);
        return m_browser.get();
    }

    // Another program took the PNG type over since the last start.
    static void takeOverPng()
    {
        shell::associations::setStringValue(settings::Root::ClassesRoot, ".png", QString(),
                                            "OtherViewer.png");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        const QString root = m_files.path();
        for (const char *folder : {"/pics/sub", "/my pics", "/bare/inner"})
            QVERIFY(QDir().mkpath(root + folder));
        writeImage(root + "/pics/a.png", "PNG");
        writeImage(root + "/pics/b.png", "PNG");
        writeImage(root + "/pics/C.jpg", "JPG");
        writeText(root + "/pics/notes.txt");
        writeImage(root + "/pics/sub/d.png", "PNG");
        writeImage(root + "/my pics/x y.png", "PNG");
        writeText(root + "/bare/readme.txt");
        writeImage(root + "/bare/inner/e.png", "PNG");
        m_savedCurrent = QDir::currentPath();
    }

    void init()
    {
        // Every store write is synced; a memory file system keeps the many
        // writes of a first association check quick.
        m_store = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                      ? std::make_unique<QTemporaryDir>("/dev/shm/tst_commandline-XXXXXX")
                      : std::make_unique<QTemporaryDir>();
        QVERIFY(m_store->isValid());
        Registry::setFolder(m_store->filePath("registry"));
        QVERIFY(QDir().mkpath(m_store->filePath("share/pictavo")));
        core::setProgramFolder(m_store->filePath("share/pictavo"));
        m_prompts = std::make_unique<WatchingPrompts>();
        m_desktop = std::make_unique<testsupport::FakeDesktopIntegration>();
        m_ended.clear();
        m_steps.clear();
        core::setEndProcessHandler([this](int status) { m_ended << status; });
    }

    void cleanup()
    {
        viewer::unloadViewer();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_browser.reset();
        QDir::setCurrent(m_savedCurrent);
        core::setEndProcessHandler({});
        core::setProgramFolder({});
        m_desktop.reset();
        m_prompts.reset();
        Registry::setFolder({});
        m_store.reset();
    }

    void switches_data()
    {
        QTest::addColumn<QString>("commandText");
        QTest::addColumn<bool>("registeredBefore");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QString>("pngAfter");
        QTest::addColumn<QString>("jpgAfter");

        // Restoring gives back only what Pictavo holds: PNG stays with the
        // program that took it, and no check asks about it.
        QTest::newRow("/DeAssociate") << "/DeAssociate" << true << 0 << "OtherViewer.png"
                                      << "jpgfile";
        QTest::newRow("/Associate, a type taken over") << "/Associate" << true << 1 << "Pictavo.png"
                                                       << "Pictavo.jpg";
        QTest::newRow("/Associate, first start") << "/Associate" << false << 0 << "Pictavo.png"
                                                 << "Pictavo.jpg";
    }

    void switches()
    {
        QFETCH(QString, commandText);
        QFETCH(bool, registeredBefore);
        QFETCH(int, questions);
        QFETCH(QString, pngAfter);
        QFETCH(QString, jpgAfter);
        shell::associations::setStringValue(settings::Root::ClassesRoot, ".jpg", QString(),
                                            "jpgfile");
        if (registeredBefore) {
            shell::associations::ensureAssociated();
            QCOMPARE(bindingOf(".jpg"), QStringLiteral("Pictavo.jpg"));
            takeOverPng();
        }

        QVERIFY_THROWS_EXCEPTION(core::ProcessEnded, startBrowser(commandText));

        QCOMPARE(m_ended, QList<int>{0});
        QCOMPARE(m_prompts->count("message"), questions);
        QVERIFY(!m_prompts->windowsUp.contains(true));
        QCOMPARE(bindingOf(".png"), pngAfter);
        QCOMPARE(bindingOf(".jpg"), jpgAfter);
        QVERIFY(!anyWindowVisible());
        QVERIFY(!viewer::viewerLoaded());
        QVERIFY(!m_steps.contains("Show"));
    }

    void otherTextsStartTheBrowser_data()
    {
        QTest::addColumn<QString>("commandText");
        const QString a = pics() + "/a.png";
        QTest::newRow("none") << QString();
        QTest::newRow("switch in lower case") << "/associate";
        QTest::newRow("switch in upper case") << "/DEASSOCIATE";
        QTest::newRow("switch with a trailing blank") << "/Associate ";
        QTest::newRow("switch with a further word") << "/DeAssociate now";
        QTest::newRow("quoted path") << '"' + a + '"';
        QTest::newRow("misspelt path") << pics() + "/aa.png";
        QTest::newRow("two paths") << a + ' ' + pics() + "/b.png";
        QTest::newRow("folder whose parent has no images") << m_files.path() + "/bare/inner";
        QTest::newRow("file in a folder without images") << m_files.path() + "/bare/readme.txt";
        QTest::newRow("very long text") << '/' + QString(200000, u'x');
        QTest::newRow("many separators") << QString(5000, u'/') + "a.png";
        QTest::newRow("embedded NUL") << a + QChar(u'\0') + "x";
    }

    void otherTextsStartTheBrowser()
    {
        QFETCH(QString, commandText);
        shell::associations::ensureAssociated();
        takeOverPng();

        app::BrowserWindow *w = startBrowser(commandText);

        QVERIFY(m_ended.isEmpty());
        QVERIFY(w->isVisible());
        QVERIFY(!w->hiddenByCommandLine());
        QVERIFY(!viewer::viewerLoaded());
        // The start-up check asked about PNG before any window was up.
        QCOMPARE(m_prompts->count("message"), 1);
        QCOMPARE(m_prompts->windowsUp, QList<bool>{false});
        QCOMPARE(bindingOf(".png"), QStringLiteral("Pictavo.png"));
        QCOMPARE(m_steps.last(), QStringLiteral("Show"));
    }

    void firstNormalStartRegistersWithoutAsking()
    {
        app::BrowserWindow *w = startBrowser({});
        QVERIFY(w->isVisible());
        QCOMPARE(m_prompts->shown.size(), 0);
        for (const shell::associations::Association &row : shell::associations::table())
            QVERIFY(shell::associations::isAssociated(QString::fromUtf16(row.extension),
                                                      QString::fromUtf16(row.progId)));
    }

    void existingPathOpensTheViewer_data()
    {
        QTest::addColumn<QString>("commandText");
        QTest::addColumn<QString>("cwd"); // empty: unchanged
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("index");

        const QString root = m_files.path();
        const QStringList picsNames{"a.png", "b.png", "C.jpg"};
        QTest::newRow("image") << pics() + "/b.png" << QString() << pics() << picsNames << 1;
        QTest::newRow("last image") << pics() + "/C.jpg" << QString() << pics() << picsNames << 2;
        QTest::newRow("image in a folder with blanks")
            << root + "/my pics/x y.png" << QString() << root + "/my pics" << QStringList{"x y.png"}
            << 0;
        QTest::newRow("unsupported file")
            << pics() + "/notes.txt" << QString() << pics() << picsNames << 0;
        QTest::newRow("folder: its parent's first image")
            << pics() + "/sub" << QString() << pics() << picsNames << 0;
        QTest::newRow("folder with a trailing separator: its own first image")
            << pics() + "/sub/" << QString() << pics() + "/sub" << QStringList{"d.png"} << 0;
        QTest::newRow("doubled separator: not in the list")
            << pics() + "//b.png" << QString() << pics() << picsNames << 0;
        QTest::newRow("relative to the current folder")
            << "pics/C.jpg" << root << pics() << picsNames << 2;
        QTest::newRow("bare name in the current folder")
            << "b.png" << pics() << pics() << picsNames << 1;
        QTest::newRow("dot segments") << "./sub/../a.png" << pics() << pics() << picsNames << 0;
    }

    void existingPathOpensTheViewer()
    {
        QFETCH(QString, commandText);
        QFETCH(QString, cwd);
        QFETCH(QString, folder);
        QFETCH(QStringList, names);
        QFETCH(int, index);
        if (!cwd.isEmpty())
            QVERIFY(QDir::setCurrent(cwd));
        const QString prefix = folder.endsWith('/') ? folder : folder + '/';
        QStringList list;
        for (const QString &name : names)
            list << prefix + name;

        app::BrowserWindow *w = startBrowser(commandText);

        QVERIFY(m_ended.isEmpty());
        QVERIFY(w->hiddenByCommandLine());
        QVERIFY(!w->isVisible());
        QVERIFY(!m_steps.contains("Show"));
        QVERIFY(viewer::viewerLoaded());
        viewer::ViewerWindow *v = w->viewerWindow();
        QVERIFY(v->isVisible());
        QVERIFY(v->openedFromCommandLine());
        QCOMPARE(v->paths(), list);
        QCOMPARE(v->currentIndex(), index);
        QCOMPARE(viewOf(v)->engine().filePath(), list.at(index));
        // The start-up check ran as on any start.
        QCOMPARE(bindingOf(".png"), QStringLiteral("Pictavo.png"));
    }

    void anotherLetterCase()
    {
        // Linux file systems tell letter cases apart: such a name names nothing
        // and the browser starts. Where the folder ignores case, the name is
        // still not in the list and the viewer opens on the first image.
        const QString upper = pics() + "/B.PNG";
        const bool found = QFileInfo::exists(upper);

        app::BrowserWindow *w = startBrowser(upper);

        QVERIFY(m_ended.isEmpty());
        QCOMPARE(w->isVisible(), !found);
        QCOMPARE(viewer::viewerLoaded(), found);
        if (found)
            QCOMPARE(w->viewerWindow()->currentIndex(), 0);
    }

    void nameThatIsNotUtf8IsSaidOnce_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<int>("messages");
        // Latin-1 bytes, as an older system may have written them.
        QTest::newRow("on disk") << QByteArray("caf\xe9.png") << true << 1;
        QTest::newRow("named but missing") << QByteArray("th\xe9.png") << false << 0;
    }

    void nameThatIsNotUtf8IsSaidOnce()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, onDisk);
        QFETCH(int, messages);
        const QByteArray raw = QFile::encodeName(pics()) + '/' + name;
        if (onDisk)
            QCOMPARE(::link(QFile::encodeName(pics() + "/a.png").constData(), raw.constData()), 0);
        // What the program's arguments turn such bytes into.
        const QString commandText = QString::fromLocal8Bit(raw);

        app::BrowserWindow *w = startBrowser(commandText);
        if (onDisk)
            ::unlink(raw.constData());

        QVERIFY(m_ended.isEmpty());
        QVERIFY(w->isVisible());
        QVERIFY(!viewer::viewerLoaded());
        QCOMPARE(m_prompts->count("message"), messages);
        if (messages > 0) {
            QVERIFY(m_prompts->shown.last().text.contains(commandText));
            QVERIFY(m_prompts->shown.last().text.contains("not valid UTF-8"));
        }
    }

    void closingTheCommandViewerEnds()
    {
        app::BrowserWindow *w = startBrowser(pics() + "/a.png");
        viewer::ViewerWindow *v = w->viewerWindow();
        QVERIFY(v->isVisible());

        v->close();

        QCOMPARE(m_ended, QList<int>{0});
        QVERIFY(!w->isVisible());
    }

    void pathExists_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("exists");
        const QString root = m_files.path();
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("the root") << "/" << true;
        QTest::newRow("image") << pics() + "/a.png" << true;
        QTest::newRow("other file") << pics() + "/notes.txt" << true;
        QTest::newRow("folder") << pics() + "/sub" << true;
        QTest::newRow("folder with trailing separator") << pics() + "/sub/" << true;
        QTest::newRow("blanks in the path") << root + "/my pics/x y.png" << true;
        QTest::newRow("missing") << pics() + "/z.png" << false;
        QTest::newRow("quoted") << '"' + pics() + "/a.png\"" << false;
        QTest::newRow("file as a folder") << pics() + "/a.png/" << false;
        QTest::newRow("drive letter of another system") << "C:/" << false;
        QTest::newRow("blank") << " " << false;
        QTest::newRow("embedded NUL") << pics() + "/a.png" + QChar(u'\0') << false;
        QTest::newRow("very long") << '/' + QString(100000, u'a') << false;
        QTest::newRow("doubled separators") << "//" + pics().mid(1) + "//a.png" << true;
    }

    void pathExists()
    {
        QFETCH(QString, path);
        QFETCH(bool, exists);
        QCOMPARE(app::commandline::pathExists(path), exists);
    }

    void findImageIndex_data()
    {
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("index");
        const QStringList list{"/p/a.png", "/p/b.png", "/p/c.png", "/p/b.png"};
        QTest::newRow("empty list") << QStringList() << "/p/a.png" << 0;
        QTest::newRow("first") << list << "/p/a.png" << 0;
        QTest::newRow("middle") << list << "/p/c.png" << 2;
        QTest::newRow("twice: the first") << list << "/p/b.png" << 1;
        QTest::newRow("other letter case") << list << "/p/C.png" << 0;
        QTest::newRow("missing") << list << "/p/d.png" << 0;
        QTest::newRow("a prefix only") << list << "/p/c" << 0;
        QTest::newRow("empty path") << (QStringList{"/p/a.png", QString()}) << QString() << 1;
    }

    void findImageIndex()
    {
        QFETCH(QStringList, list);
        QFETCH(QString, path);
        QFETCH(int, index);
        QCOMPARE(app::commandline::findImageIndex(list, path), index);
    }

    void parentFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("parent");
        QTest::newRow("file") << "/p/q/a.png"
                              << "/p/q";
        QTest::newRow("file at the root") << "/a.png"
                                          << "/";
        QTest::newRow("the root") << "/"
                                  << "/";
        QTest::newRow("folder with trailing separator") << "/p/q/"
                                                        << "/p/q";
        QTest::newRow("doubled separator") << "/p//a.png"
                                           << "/p";
        QTest::newRow("doubled separator at the root") << "//a.png"
                                                       << "/";
        QTest::newRow("no separator") << "a.png" << QString();
        QTest::newRow("empty") << QString() << QString();
    }

    void parentFolder()
    {
        QFETCH(QString, path);
        QFETCH(QString, parent);
        QCOMPARE(app::commandline::parentFolder(path), parent);
    }

    void absoluteCommandPath_data()
    {
        // "@" stands for the folder that holds the current folder "cwd".
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("path");
        QTest::newRow("absolute stays") << "/p//q/../a.png"
                                        << "/p//q/../a.png";
        QTest::newRow("empty stays") << QString() << QString();
        QTest::newRow("bare name") << "a.png"
                                   << "@/cwd/a.png";
        QTest::newRow("dot segments") << "./q/../a.png"
                                      << "@/cwd/a.png";
        QTest::newRow("folder keeps its separator") << "q/"
                                                    << "@/cwd/q/";
        QTest::newRow("parent folder") << "../"
                                       << "@/";
    }

    void absoluteCommandPath()
    {
        QFETCH(QString, text);
        QFETCH(QString, path);
        QTemporaryDir dir;
        const QString base = QDir(dir.path()).canonicalPath();
        QVERIFY(QDir().mkpath(base + "/cwd"));
        QVERIFY(QDir::setCurrent(base + "/cwd"));
        if (path.startsWith('@'))
            path.replace(0, 1, base);
        QCOMPARE(app::commandline::absoluteCommandPath(text), path);
    }
};

PICTAVO_TEST_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
