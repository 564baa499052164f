// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and shutdown of the browser window: the order of the start-up
// steps and skin applications, start-up with missing or damaged data files,
// the single-instance rule and the shutdown sequence.

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSplashScreen>
#include <QSplitter>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include "BrowserParts.h"
#include "app/BrowserWindow.h"
#include "app/DesktopIdentity.h"
#include "app/SingleInstance.h"
#include "app/SkinEngine.h"
#include "app/Splash.h"
#include "core/Formats.h"
#include "core/Paths.h"
#include "core/Process.h"
#include "core/Twips.h"
#include "dialogs/DestinationDialog.h"
#include "dialogs/FolderTree.h"
#include "explorer/ThumbnailExplorer.h"
#include "imaging/ImageView.h"
#include "support/FakeInstance.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"
#include "viewer/ViewerInstance.h"
#include "viewer/ViewerWindow.h"

using namespace browsertest;

namespace {

const char kSkin[] = "[Window]\nQMainWindow { background: #eeeeee; }\n"
                     "[Toolbar]\nQToolBar { border: 1px solid #cccccc; }\n"
                     "[Splitter]\nQSplitter::handle { background: #dddddd; }\n";

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(f.write(data), data.size());
}

// Calls back when the watched widget is hidden.
class HideWatcher : public QObject
{
public:
    HideWatcher(QWidget *watched, std::function<void()> onHide) : m_onHide(std::move(onHide))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            m_onHide();
        return false;
    }

private:
    std::function<void()> m_onHide;
};

QByteArray pngBytes()
{
    QImage image(64, 40, QImage::Format_RGB32);
    image.fill(QColor(40, 90, 130));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A fresh browser that believes it is the only instance.
std::unique_ptr<app::BrowserWindow> makeBrowser(testsupport::FakeInstance **instance = nullptr)
{
    auto w = std::make_unique<app::BrowserWindow>();
    auto fake = std::make_unique<testsupport::FakeInstance>(false);
    if (instance)
        *instance = fake.get();
    w->setSingleInstance(std::move(fake));
    w->splash()->setMinimumMs(0);
    return w;
}

bool anyWindowVisible()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](QWidget *w) { return w->isVisible(); });
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_data;
    QList<int> m_ended;

private slots:
    void init()
    {
        QVERIFY(m_data.isValid());
        QDir(m_data.path()).removeRecursively();
        QDir().mkpath(m_data.path());
        core::setProgramFolder(m_data.path());
        m_ended.clear();
        core::setEndProcessHandler([this](int status) { m_ended << status; });
        core::setApplicationTitle(QString());
    }

    void cleanup()
    {
        core::setEndProcessHandler({});
        core::setProgramFolder({});
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget *w : windows)
            w->hide();
    }

    void startupRunsStepsAndSkinsInOrder()
    {
        writeFile(m_data.path() + "/PVXMain.skn", kSkin);
        writeFile(m_data.path() + "/viewer.spl", pngBytes());
        auto w = makeBrowser();

        QStringList log;
        bool splashUpAtTitle = false;
        connect(
            w.get(), &app::BrowserWindow::startupStep, this,
            [&](app::BrowserWindow::StartupStep step, const QString &detail) {
                const QString name = QString::fromLatin1(
                    QMetaEnum::fromType<app::BrowserWindow::StartupStep>().valueToKey(int(step)));
                log << (detail.isEmpty() ? name : name + ':' + detail);
                if (step == app::BrowserWindow::StartupStep::Title)
                    splashUpAtTitle = w->splash()->isShown();
            });
        connect(w->skin(), &app::SkinEngine::applied, this,
                [&](QWidget *target, const QString &element) {
                    log << "skin " + target->objectName() + ' ' + element;
                });

        w->start("/tmp/a b.jpg");

        const QStringList expected{"SingleInstance",
                                   "Splash",
                                   "Title",
                                   "Skin",
                                   "skin Toolbar Toolbar",
                                   "skin frmMain Window",
                                   "skin Toolbar Toolbar",
                                   "skin TV1 Splitter",
                                   "skin Splitter2 Splitter",
                                   "skin Splitter1 Splitter",
                                   "skin container Splitter",
                                   "Extensions",
                                   "CommandLine:/tmp/a b.jpg",
                                   "Show"};
        QCOMPARE(log, expected);
        QVERIFY(splashUpAtTitle);
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Pictavo"));
        QCOMPARE(core::applicationTitle(), QStringLiteral("Pictavo"));
        // no display name that the window system would add to every title
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
        QCOMPARE(explorerOf(w)->extensions(),
                 QString::fromUtf16(core::kSupportedExtensions).toLower());
        QVERIFY(m_ended.isEmpty());
        // The splash goes once the browser is up.
        QTRY_VERIFY(!w->splash()->isShown());
    }

    void startupSurvivesBadDataFiles_data()
    {
        QTest::addColumn<QByteArray>("skin"); // "<dir>": a folder of that name, "<none>": absent
        QTest::addColumn<QByteArray>("splash");
        QTest::addColumn<bool>("skinned");
        QTest::addColumn<bool>("splashShown");

        const QByteArray png = pngBytes();
        QTest::newRow("both missing")
            << QByteArray("<none>") << QByteArray("<none>") << false << false;
        QTest::newRow("both folders")
            << QByteArray("<dir>") << QByteArray("<dir>") << false << false;
        QTest::newRow("both empty") << QByteArray() << QByteArray() << false << false;
        QTest::newRow("binary skin, garbage splash")
            << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << QByteArray("not a picture")
            << false << false;
        QTest::newRow("truncated splash")
            << QByteArray(kSkin) << png.left(png.size() / 2) << true << false;
        QTest::newRow("skin without sections")
            << QByteArray("QWidget { color: red; }\n") << png << false << true;
        QTest::newRow("skin with unbalanced braces")
            << QByteArray("[Window]\nQMainWindow { background: red;\n") << png << false << true;
    }

    void startupSurvivesBadDataFiles()
    {
        QFETCH(QByteArray, skin);
        QFETCH(QByteArray, splash);
        QFETCH(bool, skinned);
        QFETCH(bool, splashShown);
        const auto place = [&](const QString &name, const QByteArray &content) {
            const QString path = m_data.path() + '/' + name;
            if (content == "<dir>")
                QVERIFY(QDir().mkpath(path));
            else if (content != "<none>")
                writeFile(path, content);
        };
        place("PVXMain.skn", skin);
        place("viewer.spl", splash);

        auto w = makeBrowser();
        w->splash()->setMinimumMs(60000); // keep it up to look at it
        w->start({});

        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Pictavo"));
        QCOMPARE(!w->styleSheet().isEmpty(), skinned);
        QCOMPARE(w->skin()->isLoaded(), skinned);
        QCOMPARE(w->splash()->isShown(), splashShown);
        QVERIFY(m_ended.isEmpty());
    }

    void secondInstanceEndsSilently()
    {
        writeFile(m_data.path() + "/PVXMain.skn", kSkin);
        writeFile(m_data.path() + "/viewer.spl", pngBytes());
        testsupport::ScriptedPrompts prompts;
        app::BrowserWindow w;
        auto fake = std::make_unique<testsupport::FakeInstance>(true);
        testsupport::FakeInstance *instance = fake.get();
        w.setSingleInstance(std::move(fake));
        QSignalSpy steps(&w, &app::BrowserWindow::startupStep);

        QVERIFY_THROWS_EXCEPTION(core::ProcessEnded, w.start("/Associate"));

        QCOMPARE(m_ended, QList<int>{0});
        QCOMPARE(instance->claims, 1);
        QCOMPARE(steps.count(), 1); // nothing after the instance check
        QVERIFY(!anyWindowVisible());
        QVERIFY(!w.splash()->screen());
        QCOMPARE(prompts.shown.size(), 0);
        QVERIFY(core::applicationTitle() != QStringLiteral("Pictavo"));
    }

    void lockFileAllowsOneInstance()
    {
        QTemporaryDir run;
        const QString path = run.path() + "/pictavo.lock";
        app::LockFileInstance first(path);
        app::LockFileInstance second(path);
        QVERIFY(first.claim());
        QVERIFY(first.claim()); // asking again keeps the claim
        QVERIFY(!second.claim());
        first.release();
        QVERIFY(second.claim());
        QVERIFY(!first.claim());
    }

    void lockFileTakesOverStaleLocks_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("guardAgeS"); // an ownerless removal guard this old; -1 none
        QTest::addColumn<bool>("claimed");
        QTest::newRow("owner process gone") << "dead" << -1 << true;
        // The process that was taking the dead owner's lock over was killed
        // too, leaving Qt's removal guard without an owner.
        QTest::newRow("owner gone, remover killed a while ago") << "dead" << 20 << true;
        QTest::newRow("owner gone, remover killed just now") << "dead" << 0 << false;
        QTest::newRow("unreadable lock, old") << "garbage-old" << -1 << true;
        QTest::newRow("unreadable lock, just made") << "garbage-new" << -1 << false;
        QTest::newRow("owner alive") << "alive" << -1 << false;
    }

    void lockFileTakesOverStaleLocks()
    {
        QFETCH(QString, kind);
        QFETCH(int, guardAgeS);
        QFETCH(bool, claimed);
        QTemporaryDir run;
        const QString path = run.path() + "/pictavo.lock";
        if (guardAgeS >= 0) {
            writeFile(path + ".rmlock", QByteArray());
            QFile guard(path + ".rmlock");
            QVERIFY(guard.open(QIODevice::ReadWrite));
            QVERIFY(guard.setFileTime(QDateTime::currentDateTime().addSecs(-guardAgeS),
                                      QFileDevice::FileModificationTime));
        }
        const QString app = QFileInfo(QCoreApplication::applicationFilePath()).baseName();
        const QString host = QSysInfo::machineHostName();
        if (kind == "dead") {
            QProcess gone;
            gone.start("true", {});
            QVERIFY(gone.waitForFinished());
            const qint64 pid = gone.processId() ? gone.processId() : 999999;
            writeFile(path, QString("%1\n%2\n%3\n").arg(pid).arg(app, host).toUtf8());
        } else if (kind.startsWith("garbage")) {
            writeFile(path, QByteArray());
            if (kind == "garbage-old") {
                QFile f(path);
                QVERIFY(f.open(QIODevice::ReadWrite));
                QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                      QFileDevice::FileModificationTime));
            }
        } else {
            writeFile(path, QString("%1\n%2\n%3\n")
                                .arg(QCoreApplication::applicationPid())
                                .arg(app, host)
                                .toUtf8());
        }
        app::LockFileInstance instance(path);
        QCOMPARE(instance.claim(), claimed);
    }

    void lockFileInMissingFolderStillStarts()
    {
        app::LockFileInstance instance("/nonexistent-folder-for-pictavo/pictavo.lock");
        QVERIFY(instance.claim());
    }

    void shutdownSequence_data()
    {
        QTest::addColumn<bool>("viaClose");
        QTest::addColumn<bool>("fileFormLoaded");
        QTest::newRow("shutdown, destination dialog used") << false << true;
        QTest::newRow("shutdown, destination dialog never used") << false << false;
        QTest::newRow("window closed") << true << true;
    }

    void shutdownSequence()
    {
        QFETCH(bool, viaClose);
        QFETCH(bool, fileFormLoaded);
        testsupport::FakeInstance *instance = nullptr;
        auto w = makeBrowser(&instance);
        w->start({});
        QStringList log;
        // The viewer is unloaded (hidden for good) before the destination
        // dialog goes.
        viewer::ViewerWindow *viewer = w->viewerWindow();
        viewer->show();
        HideWatcher hidden(viewer, [&] {
            log << "viewer";
            QCOMPARE(w->isDestinationDialogLoaded(), fileFormLoaded);
        });
        if (fileFormLoaded)
            QVERIFY(w->destinationDialog());
        QVERIFY(instance->held);

        if (viaClose)
            QVERIFY(w->close());
        else
            QVERIFY_THROWS_EXCEPTION(core::ProcessEnded, w->shutdown());

        QCOMPARE(log, QStringList{"viewer"});
        QVERIFY(!viewer::viewerLoaded());
        QVERIFY(!w->isDestinationDialogLoaded());
        QVERIFY(!w->findChild<dialogs::DestinationDialog *>()); // never made when never used
        QCOMPARE(m_ended, QList<int>{0});
        QVERIFY(!instance->held);
    }

    void commandText_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << QStringList{"pictavo"} << QString();
        QTest::newRow("one path with blanks")
            << QStringList{"pictavo", "/home/u/My Pictures/a.jpg"} << "/home/u/My Pictures/a.jpg";
        QTest::newRow("several") << QStringList{"pictavo", "/Associate", "x"} << "/Associate x";
    }

    void commandText()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, text);
        QCOMPARE(app::commandline::commandTextOf(arguments), text);
    }

    void controlsHaveDesignLayout()
    {
        auto w = makeBrowser();
        w->start({});
        QCOMPARE(w->centralWidget()->size(), QSize(634, 539)); // 9510 x 8085 twips
        // Once shown, the outer splitter follows the window's resize rule:
        // 300 twips narrower and 1000 lower than the outer frame.
        const QSize outer = w->frameGeometry().size();
        QCOMPARE(mainSplitter(w)->geometry(),
                 QRect(4, 6, core::twipsToPixelsX(outer.width() * 15 - 300),
                       core::twipsToPixelsY(outer.height() * 15 - 1000)));
        QCOMPARE(mainSplitter(w)->orientation(), Qt::Horizontal);
        QCOMPARE(mainSplitter(w)->widget(0), tree(w));
        QCOMPARE(mainSplitter(w)->widget(1), container(w));
        QCOMPARE(tree(w)->width(), 206);
        QCOMPARE(container(w)->width(),
                 mainSplitter(w)->width() - tree(w)->width() - mainSplitter(w)->handleWidth());
        // The strip and the inner splitter follow the container's resize rule.
        const QSize inner = container(w)->size();
        QCOMPARE(toolbar(w)->parentWidget(), container(w));
        QCOMPARE(previewSplitter(w)->parentWidget(), container(w));
        QCOMPARE(previewSplitter(w)->geometry(),
                 QRect(5, 42, core::twipsToPixelsX(inner.width() * 15 - 20),
                       core::twipsToPixelsY(inner.height() * 15 - 525 - 80)));
        QCOMPARE(toolbar(w)->geometry(), QRect(6, 3, previewSplitter(w)->width(), 35));
        QCOMPARE(previewSplitter(w)->orientation(), Qt::Vertical);
        QCOMPARE(previewSplitter(w)->widget(0), preview(w));
        QCOMPARE(previewSplitter(w)->widget(1), explorerOf(w));
        QCOMPARE(previewSplitter(w)->handleWidth(), 6);
        QCOMPARE(container(w)->palette().color(QPalette::Window), QColor(224, 224, 224));
        for (QObject *o : std::initializer_list<QObject *>{
                 w->skin(), w->splash(), mainSplitter(w), tree(w), container(w), toolbar(w),
                 previewSplitter(w), preview(w), explorerOf(w)})
            QCOMPARE(w->findChild<QObject *>(o->objectName()), o);
    }

    void shippedDataFilesAreUsable()
    {
        const QString data = qEnvironmentVariable("PICTAVO_SOURCE_DIR") + "/resources/data";
        QImageReader splash(data + "/viewer.spl");
        splash.setDecideFormatFromContent(true);
        QVERIFY2(!splash.read().isNull(), qPrintable(splash.errorString()));
        QVERIFY(QFileInfo(data + "/viewer.spl").size() < qint64(100) * 1024);
        app::SkinEngine skin;
        QVERIFY(skin.loadSkin(data + "/PVXMain.skn"));
        QCOMPARE(skin.elements(), app::SkinEngine::knownElements());
    }

    // Every window shows Pictavo's icon (here the build's copy) and names
    // the menu entry the package installs.
    void windowsCarryTheApplicationIcon()
    {
        core::setProgramFolder({}); // the build's own data folder
        app::setDesktopIdentity();
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("pictavo"));
        for (const int side : {16, 48})
            QVERIFY(!QApplication::windowIcon().pixmap(side, side).isNull());
    }
};

PICTAVO_TEST_MAIN(tst_Startup)
#include "tst_startup.moc"
