// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's slide show and its decoding ahead of the images to come.
#include <QApplication>
#include <QDateTime>
#include <QInputDialog>
#include <QTest>

#include "ViewerFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"
#include "viewer/Prefetcher.h"
#include "viewer/SlideShow.h"
#include "viewer/ViewerRules.h"

using namespace viewertest;

class tst_ViewerSlideShow : public ViewerFixture
{
    Q_OBJECT

private slots:
    // --- slide show

    void slideShowSteps()
    {
        viewer::ViewerWindow *v = make(false);
        const QStringList list = smallList(10);
        v->viewImage(list, 2); // entry 3 of 10
        act(v, "mnuSlideShow")->trigger();
        QVERIFY(v->slideShow().isRunning());
        QVERIFY(slideTimer(v)->isActive());
        QCOMPARE(slideTimer(v)->interval(), 2000);
        QCOMPARE(v->slideShow().position(), 3);
        QCOMPARE(view(v)->engine().filePath(), list.at(2)); // nothing new yet
        for (int i = 0; i < 4; ++i) {
            v->advanceSlide();
            QCOMPARE(view(v)->engine().filePath(), list.at(3 + i));
            QCOMPARE(v->panelText(1), QStringLiteral("%1/10").arg(4 + i));
            QCOMPARE(v->windowTitle(), viewer::imageTitle(list.at(3 + i)));
        }
        QCOMPARE(v->currentIndex(), 6); // the slide on screen is the current entry
        QVERIFY(!v->slideShow().isStepping());
        v->runToolbarCommand(viewer::ToolbarButton(5));
        QVERIFY(!v->slideShow().isRunning());
        QVERIFY(!slideTimer(v)->isActive());
        v->nextImage();
        QCOMPARE(v->currentIndex(), 7);
    }

    // The title, the status bar, the position and the picture on screen
    // agree during and after a show: stopping it on a slide and switching
    // full screen shows that slide, and Next goes on from it.
    void slideShowKeepsStateInAgreement()
    {
        viewer::ViewerWindow *v = make(true);
        const QStringList list{makeImage(QStringLiteral("garden.png"), 150, 120),
                               makeImage(QStringLiteral("window.bmp"), 140, 110),
                               makeImage(QStringLiteral("photo-1.png"), 130, 100)};
        v->viewImage(list, 0);
        v->handleKey(Qt::Key_F); // windowed
        v->toggleSlideShow();
        v->advanceSlide();
        v->zoomIn(); // a status bar update between two slides
        QCOMPARE(v->panelText(1), QStringLiteral("2/3"));
        QCOMPARE(v->panelText(2), QStringLiteral("window.bmp"));
        v->toggleSlideShow();
        v->handleKey(Qt::Key_F); // full screen again: the picture is read again
        QCOMPARE(view(v)->engine().filePath(), list.at(1));
        QCOMPARE(v->windowTitle(), viewer::imageTitle(list.at(1)));
        QCOMPARE(v->currentIndex(), 1);
        QCOMPARE(v->panelText(1), QStringLiteral("2/3"));
        QCOMPARE(v->panelText(2), QStringLiteral("window.bmp"));
        v->nextImage();
        QCOMPARE(view(v)->engine().filePath(), list.at(2));
        QCOMPARE(v->panelText(1), QStringLiteral("3/3"));
        // stepping during a show moves the show along
        v->previousImage();
        v->toggleSlideShow();
        v->advanceSlide();
        QCOMPARE(view(v)->engine().filePath(), list.at(2));
        v->previousImage();
        v->previousImage();
        v->advanceSlide();
        QCOMPARE(view(v)->engine().filePath(), list.at(1));
    }

    void slideShowWrapsAndSurvivesBadEntries()
    {
        viewer::ViewerWindow *v = make(false);
        QStringList list = smallList(3);
        list.insert(1, path(QStringLiteral("missing.png")));
        v->viewImage(list, 3); // the last entry
        v->toggleSlideShow();
        v->advanceSlide();
        QCOMPARE(view(v)->engine().filePath(), list.at(0));
        v->advanceSlide(); // cannot be read: an empty view, the show goes on
        QCOMPARE(view(v)->engine().pageCount(), 0);
        QVERIFY(v->slideShow().isRunning());
        v->advanceSlide();
        QCOMPARE(view(v)->engine().filePath(), list.at(2));
        v->viewImage({}, 0); // an empty list: ticks do nothing
        v->advanceSlide();
        QVERIFY(v->slideShow().isRunning());
    }

    void slideShowDelay_data()
    {
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("messages");
        QTest::newRow("1500") << QVariant(QStringLiteral("1500")) << 1500 << "1500" << 0;
        QTest::newRow("2.5") << QVariant(QStringLiteral("2.5")) << 2 << "2" << 0;
        QTest::newRow("3.5") << QVariant(QStringLiteral("3.5")) << 4 << "4" << 0;
        QTest::newRow("0") << QVariant(QStringLiteral("0")) << 0 << "0" << 0;
        QTest::newRow("abc: silently ignored")
            << QVariant(QStringLiteral("abc")) << 2000 << "<absent>" << 0;
        QTest::newRow("blanks: silently ignored")
            << QVariant(QStringLiteral("   ")) << 2000 << "<absent>" << 0;
        QTest::newRow("too long") << QVariant(QStringLiteral("40000")) << 2000 << "<absent>" << 1;
        QTest::newRow("negative") << QVariant(QStringLiteral("-3")) << 2000 << "<absent>" << 1;
        QTest::newRow("empty") << QVariant(QString()) << 2000 << "<absent>" << 0;
        QTest::newRow("cancelled") << QVariant() << 2000 << "<absent>" << 0;
    }
    void slideShowDelay()
    {
        QFETCH(QVariant, answer);
        QFETCH(int, interval);
        QFETCH(QString, stored);
        QFETCH(int, messages);
        testsupport::ScriptedPrompts prompts;
        prompts.inputAnswers << (answer.isValid() ? std::optional<QString>(answer.toString())
                                                  : std::nullopt);
        viewer::ViewerWindow *v = make(false);
        v->viewImage(smallList(2), 0);
        v->toggleSlideShow();
        act(v, "mnuSlideShowDelay")->trigger();
        QCOMPARE(prompts.shown.first().kind, QStringLiteral("input"));
        QCOMPARE(prompts.shown.first().text,
                 QStringLiteral("Delay in Milliseconds(1000=1 Second):"));
        QCOMPARE(prompts.shown.first().caption, QStringLiteral("Slide Show Delay"));
        QCOMPARE(v->slideShow().delay(), interval);
        QCOMPARE(setting("Slide Show Delay"), stored);
        QCOMPARE(prompts.count(QStringLiteral("message")), messages);
        // a new delay stops a running show; anything else leaves it running
        QCOMPARE(v->slideShow().isRunning(), stored == QLatin1String("<absent>"));
    }

    // The real delay box shows its whole title and has a fixed size.
    void delayBoxShowsItsTitle()
    {
        viewer::ViewerWindow *v = make(false);
        v->viewImage(smallList(1), 0);
        QSize minimum, maximum;
        int titleWidth = 0;
        QTimer::singleShot(200, this, [&] {
            auto *box = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            if (!box)
                return;
            QFont bold = box->font();
            bold.setBold(true);
            titleWidth = QFontMetrics(bold).horizontalAdvance(box->windowTitle());
            minimum = box->minimumSize();
            maximum = box->maximumSize();
            box->reject();
        });
        QTimer::singleShot(5000, this, [] {
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        });
        act(v, "mnuSlideShowDelay")->trigger();
        QVERIFY(titleWidth > 0);
        QCOMPARE(minimum, maximum);
        QVERIFY2(minimum.width() >= titleWidth + 100,
                 qPrintable(
                     QStringLiteral("%1 for a title of %2").arg(minimum.width()).arg(titleWidth)));
        QCOMPARE(v->slideShow().delay(), 2000);
    }

    void zeroDelayShowsNothing()
    {
        store("Slide Show Delay", QStringLiteral("0"));
        viewer::ViewerWindow *v = make(false);
        v->viewImage(smallList(2), 0);
        v->toggleSlideShow();
        QVERIFY(v->slideShow().isTimerEnabled());
        QVERIFY(!slideTimer(v)->isActive());
    }

    // --- background decoding

    void neighboursArePrefetched()
    {
        viewer::ViewerWindow *v = make(false, true);
        QStringList list;
        for (int i = 0; i < 5; ++i)
            list << makeImage(QStringLiteral("f%1.jpg").arg(i), 200 + i, 100, "JPG");
        v->viewImage(list, 0);
        QCOMPARE(v->prefetcher()->kept(), (QStringList{list.at(1), list.at(2)}));
        QTRY_VERIFY(v->prefetcher()->isReady(list.at(1)));
        v->nextImage();
        QCOMPARE(view(v)->engine().width(), 201);
        QCOMPARE(view(v)->engine().filePath(), list.at(1));
        QCOMPARE(v->prefetcher()->kept(), (QStringList{list.at(2), list.at(3)}));
        v->previousImage(); // travel backwards: the one before is wanted
        QCOMPARE(v->prefetcher()->kept(), QStringList{});
        v->nextImage();
        v->nextImage();
        QVERIFY(v->prefetcher()->kept().size() <= viewer::Prefetcher::kMaxKept);
        // another list drops the work of the old one
        v->viewImage(smallList(3), 0);
        QVERIFY(!v->prefetcher()->has(list.at(3)));
    }

    void changedFileIsReadAgain()
    {
        viewer::ViewerWindow *v = make(false, true);
        const QStringList list{makeImage(QStringLiteral("c0.png"), 10, 10),
                               makeImage(QStringLiteral("c1.png"), 20, 20)};
        v->viewImage(list, 0);
        QTRY_VERIFY(v->prefetcher()->isReady(list.at(1)));
        QTest::qWait(20);
        QImage other(33, 33, QImage::Format_RGB32);
        other.fill(Qt::red);
        QVERIFY(other.save(list.at(1)));
        QFile changed(list.at(1));
        QVERIFY(changed.open(QIODevice::ReadWrite));
        QVERIFY(changed.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                    QFileDevice::FileModificationTime));
        changed.close();
        v->nextImage();
        QCOMPARE(view(v)->engine().width(), 33);
    }

    void slideTickWaitsForItsDecode()
    {
        viewer::ViewerWindow *v = make(false, true);
        QStringList list;
        for (int i = 0; i < 3; ++i)
            list << makeImage(QStringLiteral("t%1.jpg").arg(i), 300 + i, 100, "JPG");
        v->viewImage(list, 0);
        v->prefetcher()->newGeneration(); // nothing decoded yet
        v->toggleSlideShow();
        v->advanceSlide();
        QTRY_COMPARE(view(v)->engine().filePath(), list.at(1));
        QCOMPARE(v->slideShow().position(), 2);
    }

    // A slide that appears late still stays on screen for the whole delay.
    void lateSlideStaysForTheDelay()
    {
        viewer::ViewerWindow *v = make(false, true);
        QStringList list;
        for (int i = 0; i < 3; ++i)
            list << makeImage(QStringLiteral("l%1.jpg").arg(i), 400 + i, 300, "JPG");
        v->viewImage(list, 0);
        v->toggleSlideShow();
        QTest::qWait(1200);               // most of the 2000 ms delay goes by
        v->prefetcher()->newGeneration(); // the slide is not decoded yet
        v->advanceSlide();
        QTRY_COMPARE(view(v)->engine().filePath(), list.at(1));
        QVERIFY2(slideTimer(v)->remainingTime() > 1500,
                 qPrintable(QString::number(slideTimer(v)->remainingTime())));
    }
};

PICTAVO_TEST_MAIN(tst_ViewerSlideShow)
#include "tst_viewerslideshow.moc"
