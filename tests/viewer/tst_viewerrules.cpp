// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QTest>

#include "core/ScreenArea.h"
#include "support/TestSupport.h"
#include "viewer/ViewerRules.h"

using namespace viewer;

class tst_ViewerRules : public QObject
{
    Q_OBJECT

private slots:
    void storedFlag_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("defaultText");
        QTest::addColumn<bool>("expected");
        QTest::newRow("default 1") << "1"
                                   << "1" << true;
        QTest::newRow("stored -1") << "-1"
                                   << "1" << true;
        QTest::newRow("stored 0") << "0"
                                  << "1" << false;
        QTest::newRow("blanks around 0") << " 0 "
                                         << "1" << false;
        QTest::newRow("any other number") << "2.5"
                                          << "0" << true;
        QTest::newRow("not a number: default on") << "yes"
                                                  << "1" << true;
        QTest::newRow("not a number: default off") << "yes"
                                                   << "0" << false;
        QTest::newRow("empty") << ""
                               << "1" << true;
    }
    void storedFlag()
    {
        QFETCH(QString, text);
        QFETCH(QString, defaultText);
        QFETCH(bool, expected);
        QCOMPARE(settingToBool(text, defaultText), expected);
    }

    void storedDelay_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("default") << "2000" << 2000;
        QTest::newRow("1500") << "1500" << 1500;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("largest") << "32767" << 32767;
        QTest::newRow("half to even down") << "2.5" << 2;
        QTest::newRow("half to even up") << "3.5" << 4;
        QTest::newRow("too large") << "40000" << 2000;
        QTest::newRow("negative") << "-5" << 2000;
        QTest::newRow("not a number") << "soon" << 2000;
        QTest::newRow("infinity") << "inf" << 2000;
    }
    void storedDelay()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(settingToDelay(text, QStringLiteral("2000")), expected);
    }

    void delayAnswer_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("ms");
        const int ignored = int(DelayAnswer::Kind::Ignored);
        const int invalid = int(DelayAnswer::Kind::Invalid);
        const int accepted = int(DelayAnswer::Kind::Accepted);
        QTest::newRow("1500") << "1500" << accepted << 1500;
        QTest::newRow("2.5 rounds to 2") << "2.5" << accepted << 2;
        QTest::newRow("3.5 rounds to 4") << "3.5" << accepted << 4;
        QTest::newRow("zero") << "0" << accepted << 0;
        QTest::newRow("largest") << "32767" << accepted << 32767;
        QTest::newRow("empty") << "" << ignored << 0;
        QTest::newRow("letters") << "abc" << ignored << 0;
        QTest::newRow("blanks") << "   " << ignored << 0;
        QTest::newRow("too large") << "32768" << invalid << 0;
        QTest::newRow("negative") << "-1" << invalid << 0;
    }
    void delayAnswer()
    {
        QFETCH(QString, answer);
        QFETCH(int, kind);
        QFETCH(int, ms);
        const DelayAnswer a = parseDelayAnswer(answer);
        QCOMPARE(int(a.kind), kind);
        if (a.kind == DelayAnswer::Kind::Accepted)
            QCOMPARE(a.milliseconds, ms);
    }

    void fileSize_data()
    {
        QTest::addColumn<double>("size");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty file") << 0.0 << "0 Bytes";
        QTest::newRow("512") << 512.0 << "512 Bytes";
        QTest::newRow("1023") << 1023.0 << "1023 Bytes";
        QTest::newRow("1024") << 1024.0 << "1. KB";
        QTest::newRow("1536") << 1536.0 << "1.5 KB";
        QTest::newRow("1126") << 1126.0 << "1.1 KB";
        QTest::newRow("1048575") << 1048575.0 << "1024. KB";
        QTest::newRow("1048576") << 1048576.0 << "1. MB";
        QTest::newRow("1572864") << 1572864.0 << "1.5 MB";
        QTest::newRow("12 MB and a bit") << 12634030.0 << "12. MB";
    }
    void fileSize()
    {
        QFETCH(double, size);
        QFETCH(QString, expected);
        QCOMPARE(formatFileSize(float(size)), expected);
    }

    void patterns_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("hashDotHash");
        QTest::addColumn<QString>("hash");
        QTest::newRow("1.5") << 1.5 << "1.5"
                             << "2";
        QTest::newRow("1.0") << 1.0 << "1."
                             << "1";
        QTest::newRow("0.5") << 0.5 << ".5"
                             << "1";
        QTest::newRow("1023.99") << 1023.99 << "1024."
                                 << "1024";
        QTest::newRow("0.04") << 0.04 << "."
                              << "";
        QTest::newRow("2.25") << 2.25 << "2.3"
                              << "2";
    }
    void patterns()
    {
        QFETCH(double, value);
        QFETCH(QString, hashDotHash);
        QFETCH(QString, hash);
        QCOMPARE(formatHashDotHash(value), hashDotHash);
        QCOMPARE(formatHash(value), hash);
    }

    void formatPanel_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("expected");
        QTest::newRow("jpg") << "jpg"
                             << "640x480x24b jpg";
        QTest::newRow("as written") << "JPG"
                                    << "640x480x24b JPG";
        QTest::newRow("no extension: no trailing blank") << ""
                                                         << "640x480x24b";
    }
    void formatPanel()
    {
        QFETCH(QString, extension);
        QFETCH(QString, expected);
        QCOMPARE(imageFormatText(640, 480, 24, extension), expected);
    }

    void zoomPanel_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QString>("expected");
        QTest::newRow("100") << 1.0 << "100 %";
        QTest::newRow("0.9375") << 0.9375 << "94 %";
        QTest::newRow("1.25") << 1.25 << "125 %";
        QTest::newRow("0.004") << 0.004 << " %";
    }
    void zoomPanel()
    {
        QFETCH(double, zoom);
        QFETCH(QString, expected);
        QCOMPARE(zoomPanelText(zoom), expected);
    }

    void title()
    {
        QCOMPARE(imageTitle(QStringLiteral("/Photos/beach.jpg")),
                 QStringLiteral("beach.jpg- Pictavo 1.0"));
        QCOMPARE(imageTitle(QStringLiteral("beach.jpg")), QStringLiteral("beach.jpg- Pictavo 1.0"));
    }

    void wrap_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("expected");
        QTest::newRow("one past the end") << 5 << 5 << 0;
        QTest::newRow("one before the start") << -1 << 5 << 4;
        QTest::newRow("inside") << 2 << 5 << 2;
        QTest::newRow("two past stays outside") << 6 << 5 << 6;
        QTest::newRow("empty list") << 0 << 0 << 0;
    }
    void wrap()
    {
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(int, expected);
        QCOMPARE(wrapIndex(index, count), expected);
    }

    void windowFit_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<double>("viewWidth");
        QTest::addColumn<double>("viewHeight");
        QTest::addColumn<double>("windowWidth");
        QTest::addColumn<double>("windowHeight");
        // The window is the view plus what surrounds it: here 150 twips
        // across and 1500 down.
        QTest::newRow("100x60: narrow and short")
            << 100 << 60 << 7590.0 << 4000.0 << 7740.0 << 5500.0;
        QTest::newRow("800x600") << 800 << 600 << 12000.0 << 9200.0 << 12150.0 << 10700.0;
        QTest::newRow("399x100: narrow, tall enough")
            << 399 << 100 << 7590.0 << 1700.0 << 7740.0 << 3200.0;
        QTest::newRow("400x99") << 400 << 99 << 6000.0 << 4000.0 << 6150.0 << 5500.0;
        QTest::newRow("no image") << 0 << 0 << 7590.0 << 4000.0 << 7740.0 << 5500.0;
    }
    void windowFit()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(double, viewWidth);
        QFETCH(double, viewHeight);
        QFETCH(double, windowWidth);
        QFETCH(double, windowHeight);
        const WindowFit fit = fitWindowToImage(w, h, 15, 15, QSizeF(150, 1500));
        QCOMPARE(fit.viewWidth, viewWidth);
        QCOMPARE(fit.viewHeight, viewHeight);
        QCOMPARE(fit.window, QSizeF(windowWidth, windowHeight));
    }

    void keepWithin_data()
    {
        QTest::addColumn<QRect>("outer");
        QTest::addColumn<QRect>("expected");
        // the free area: 1600 x 960 below a 40-pixel panel
        QTest::newRow("inside stays") << QRect(100, 100, 800, 600) << QRect(100, 100, 800, 600);
        QTest::newRow("below the bottom moves up")
            << QRect(0, 534, 1600, 1000) << QRect(0, 40, 1600, 960);
        QTest::newRow("under the panel moves down")
            << QRect(10, 0, 400, 300) << QRect(10, 40, 400, 300);
        QTest::newRow("too large shrinks")
            << QRect(-50, -50, 2000, 1200) << QRect(0, 40, 1600, 960);
        QTest::newRow("off the right") << QRect(1500, 200, 400, 300) << QRect(1200, 200, 400, 300);
    }
    void keepWithin()
    {
        QFETCH(QRect, outer);
        QFETCH(QRect, expected);
        QCOMPARE(core::keepWithin(outer, QRect(0, 40, 1600, 960)), expected);
    }

    void centred()
    {
        QCOMPARE(centredPosition(QSizeF(12000, 10895), QSizeF(19200, 14400)),
                 QPointF(3600, 1752.5));
    }

    void resizeRule()
    {
        const ViewLayout l = resizeLayout(QSizeF(12000, 10895), 495);
        QCOMPARE(l.viewWidth, 12000.0);
        QCOMPARE(l.viewHeight, 9800.0);
        QCOMPARE(l.toolbarWidth, 12000.0);
        QVERIFY(resizeLayout(QSizeF(100, 200), 495).viewHeight < 0);
    }

    void fitZoom_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<double>("expected");
        // in a view of 12000 x 9000 twips (800 x 600 pixels)
        QTest::newRow("larger both ways") << 4000 << 3000 << 0.2;
        QTest::newRow("wider in shape: the width decides") << 4000 << 2000 << 0.2;
        QTest::newRow("taller in shape: the height decides") << 3000 << 4000 << 0.15;
        QTest::newRow("16:9 photo") << 4000 << 2250 << 0.2;
        QTest::newRow("3:4 photo") << 1200 << 1600 << 0.375;
        QTest::newRow("wider only") << 4000 << 100 << 1.0;
        QTest::newRow("taller only") << 100 << 4000 << 1.0;
        QTest::newRow("equal is not larger") << 800 << 600 << 1.0;
    }
    void fitZoom()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(double, expected);
        QCOMPARE(viewer::fitZoom(1.0, w, h, QSizeF(12000, 9000), 15, 15), expected);
    }

    void viewMode_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<double>("windowWidth");
        QTest::addColumn<double>("windowHeight");
        QTest::addColumn<int>("expected");
        QTest::newRow("exactly fits") << 1.0 << 6000.0 << 4500.0 << 3;
        QTest::newRow("a pixel narrower") << 1.0 << 5985.0 << 4500.0 << 2;
        QTest::newRow("a pixel lower") << 1.0 << 6000.0 << 4485.0 << 2;
        QTest::newRow("zoomed in") << 1.25 << 6000.0 << 4500.0 << 2;
    }
    void viewMode()
    {
        QFETCH(double, zoom);
        QFETCH(double, windowWidth);
        QFETCH(double, windowHeight);
        QFETCH(int, expected);
        QCOMPARE(int(viewModeFor(zoom, 400, 300, QSizeF(windowWidth, windowHeight), 15, 15)),
                 expected);
        QCOMPARE(viewModeFor(zoom, 0, 0, QSizeF(windowWidth, windowHeight), 15, 15),
                 imaging::ViewAlignment::Fitted);
    }

    void zoomSteps_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<double>("in");
        QTest::addColumn<double>("out");
        QTest::newRow("1.0") << 1.0 << 1.25 << 0.75;
        QTest::newRow("16.0 still steps") << 16.0 << 20.0 << 12.0;
        QTest::newRow("16.5 stops zoom in") << 16.5 << 16.5 << 12.375;
        QTest::newRow("0.006 still steps out") << 0.006 << 0.0075 << 0.0045;
        QTest::newRow("0.0045 stops zoom out") << 0.0045 << 0.005625 << 0.0045;
    }
    void zoomSteps()
    {
        QFETCH(double, zoom);
        QFETCH(double, in);
        QFETCH(double, out);
        QCOMPARE(zoomInStep(zoom), in);
        QCOMPARE(zoomOutStep(zoom), out);
    }

    void zoomLimitsFromOne()
    {
        double z = 1.0;
        int steps = 0;
        while (zoomInStep(z) != z) {
            z = zoomInStep(z);
            ++steps;
        }
        QCOMPARE(steps, 13);
        QVERIFY(qAbs(z - 18.19) < 0.01);
        QCOMPARE(zoomOutStep(zoomInStep(1.0)), 0.9375);
        z = 1.0;
        steps = 0;
        while (zoomOutStep(z) != z) {
            z = zoomOutStep(z);
            ++steps;
        }
        QCOMPARE(steps, 19);
        QVERIFY(qAbs(z - 0.00423) < 0.00001);
    }

    void openFilter()
    {
        const QStringList filters = qtNameFilters(viewer::openFilter());
        QCOMPARE(filters.size(), 14);
        QVERIFY(filters.first().startsWith(QStringLiteral("All Images (*.jpg *.jpeg *.gif ")));
        QCOMPARE(filters.at(1),
                 QStringLiteral("Joint Photographic Experts Group  <JPG,JPEG> (*.jpg *.jpeg)"));
        QCOMPARE(filters.at(11), QStringLiteral("ICO Files  <ICO> (*.ICO)"));
        QCOMPARE(filters.at(12), QStringLiteral("Windows Enhanced Meta File <EMF> (*.emf)"));
        QCOMPARE(filters.last(), QStringLiteral("All Files (*.*)"));
    }
};

PICTAVO_TEST_MAIN(tst_ViewerRules)
#include "tst_viewerrules.moc"
