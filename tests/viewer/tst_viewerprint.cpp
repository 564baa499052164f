// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's Print commands and Page Setup, printed to PDF and read back by
// rasterising the pages.
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include "ViewerFixture.h"
#include "support/PdfPages.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

using namespace viewertest;
using core::PrintRange;
using testsupport::ScriptedPrompts;

namespace {

constexpr int kDpi = 30; // rasterising resolution of the printed pages

// Bounding box of the dark pixels of a page.
QRect inkBox(const QImage &page)
{
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 160)
                box |= QRect(x, y, 1, 1);
    return box;
}

bool near(double actual, double expected, double tolerance = 2.5)
{
    return std::abs(actual - expected) <= tolerance;
}

QString describe(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

class tst_ViewerPrint : public ViewerFixture
{
    Q_OBJECT

    int m_run = 0;

    // Scripts the print dialog: confirmed or not, with a range, printing to
    // a PDF file on A4 with 20 mm margins.
    QString scriptPdf(ScriptedPrompts &script, bool confirm, PrintRange range)
    {
        const QString pdf = path(QStringLiteral("out%1.pdf").arg(++m_run));
        script.printAnswers << confirm;
        script.printRange = range;
        script.onPrintDialog = [pdf](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            printer.setPageSize(QPageSize(QPageSize::A4));
            printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
        };
        return pdf;
    }

    QList<QImage> rasterise(const QString &pdf)
    {
        return testsupport::rasterisePdf(pdf, kDpi, path(QStringLiteral("page%1").arg(m_run)));
    }

    static QString pdfTitle(const QString &pdf)
    {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("Title:\\s+(\\S+)")).match(testsupport::pdfInfo(pdf));
        return m.captured(1);
    }

    // A 96 dpi picture of w x h pixels, dark enough to show as ink.
    QString makeDark(const QString &name, int w, int h)
    {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(QColor(0, 0, 128));
        img.setDotsPerMeterX(3780);
        img.setDotsPerMeterY(3780);
        const QString p = path(name);
        if (!img.save(p))
            qFatal("cannot write %s", qPrintable(p));
        return p;
    }

    // A four-page TIFF whose pages are 1x1, 2x1, 1x2 and 3x1 inches at 96 dpi.
    QString makeFourPages()
    {
        const QString tif = path(QStringLiteral("four.tif"));
        if (QFile::exists(tif))
            return tif;
        QStringList args{QStringLiteral("-units"), QStringLiteral("PixelsPerInch"),
                         QStringLiteral("-density"), QStringLiteral("96")};
        for (const char *size : {"96x96", "192x96", "96x192", "288x96"})
            args << QStringLiteral("-size") << QString::fromLatin1(size)
                 << QStringLiteral("xc:navy");
        args << tif;
        QProcess p;
        p.start(QStringLiteral("convert"), args);
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            return {};
        return tif;
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
            QSKIP("pdftoppm (poppler-utils, see scripts/install-deps) is needed to read the "
                  "printout");
    }

    // The three placements of a one-page picture, all pages: one page with
    // the picture where the placement puts it, under the viewer's job name.
    void placements_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("kind");
        QTest::newRow("Top Left") << "mnuTopLeft" << int(PrintRange::Kind::All);
        QTest::newRow("Centered") << "mnuCentered" << int(PrintRange::Kind::All);
        QTest::newRow("Fit To Page") << "mnuFitToPage" << int(PrintRange::Kind::All);
        // The selection prints the picture on screen centred at its own size,
        // whatever the placement.
        QTest::newRow("selection, Top Left") << "mnuTopLeft" << int(PrintRange::Kind::Selection);
        QTest::newRow("selection, Fit To Page")
            << "mnuFitToPage" << int(PrintRange::Kind::Selection);
    }

    void placements()
    {
        QFETCH(QString, entry);
        QFETCH(int, kind);
        viewer::ViewerWindow *v = make(false);
        v->viewImage({makeDark(QStringLiteral("wide.png"), 192, 96)}, 0);
        ScriptedPrompts script;
        const QString pdf = scriptPdf(script, true, {PrintRange::Kind(kind), 0, 0});
        act(v, entry.toLatin1().constData())->trigger();
        QCOMPARE(script.count(QStringLiteral("print")), 1);
        QCOMPARE(script.count(QStringLiteral("message")), 0);

        const QList<QImage> pages = rasterise(pdf);
        QCOMPARE(pages.size(), 1);
        QCOMPARE(pdfTitle(pdf), QStringLiteral("DivadAdIrura"));
        const double mm = kDpi / 25.4;
        const QRectF area(20 * mm, 20 * mm, 170 * mm, 257 * mm);
        const QSizeF own(2 * kDpi, 1 * kDpi); // 192 x 96 at 96 dpi
        const bool selection = kind == int(PrintRange::Kind::Selection);
        QRectF expected;
        if (entry == QLatin1String("mnuTopLeft") && !selection)
            expected = QRectF(area.topLeft(), own);
        else if (entry == QLatin1String("mnuFitToPage") && !selection)
            expected = QRectF(area.left(), area.center().y() - area.width() / 4, area.width(),
                              area.width() / 2);
        else
            expected = QRectF(area.center() - QPointF(own.width() / 2, own.height() / 2), own);
        const QRect ink = inkBox(pages.first());
        QVERIFY2(near(ink.x(), expected.x()) && near(ink.y(), expected.y()) &&
                     near(ink.width(), expected.width()) && near(ink.height(), expected.height()),
                 qPrintable(describe(ink) + " against " + describe(expected.toRect())));
    }

    // A four-page file: all pages as one document, a range, the selection,
    // a range that runs backwards.
    void multiPage_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QList<QSize>>("inkSizes"); // one per printed page, at kDpi
        using K = PrintRange::Kind;
        const QList<QSize> all{{30, 30}, {60, 30}, {30, 60}, {90, 30}};
        QTest::newRow("all pages, Top Left") << "mnuTopLeft" << int(K::All) << 0 << 0 << all;
        QTest::newRow("pages 2 to 3, Centered")
            << "mnuCentered" << int(K::PageRange) << 2 << 3 << QList<QSize>{{60, 30}, {30, 60}};
        QTest::newRow("page 4 alone")
            << "mnuTopLeft" << int(K::PageRange) << 4 << 4 << QList<QSize>{{90, 30}};
        QTest::newRow("selection: the page on screen")
            << "mnuFitToPage" << int(K::Selection) << 0 << 0 << QList<QSize>{{30, 30}};
        QTest::newRow("reversed range prints nothing")
            << "mnuCentered" << int(K::PageRange) << 3 << 2 << QList<QSize>{};
    }

    void multiPage()
    {
        QFETCH(QString, entry);
        QFETCH(int, kind);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QList<QSize>, inkSizes);
        const QString tif = makeFourPages();
        if (tif.isEmpty())
            QSKIP("ImageMagick's convert is needed to make a multi-page TIFF");
        viewer::ViewerWindow *v = make(false);
        v->viewImage({tif}, 0);
        QCOMPARE(view(v)->engine().pageCount(), 4);

        ScriptedPrompts script;
        QPair<int, int> offered;
        const QString pdf = scriptPdf(script, true, {PrintRange::Kind(kind), from, to});
        auto toPdf = script.onPrintDialog;
        script.onPrintDialog = [&, toPdf](QPrinter &printer) {
            offered = {printer.fromPage(), printer.toPage()};
            toPdf(printer);
        };
        act(v, entry.toLatin1().constData())->trigger();
        QCOMPARE(offered, qMakePair(1, 4)); // the dialog offers every page
        if (inkSizes.isEmpty()) {
            QVERIFY(!QFile::exists(pdf));
            return;
        }
        const QList<QImage> pages = rasterise(pdf);
        QCOMPARE(pages.size(), inkSizes.size());
        for (qsizetype i = 0; i < pages.size(); ++i) {
            const QRect ink = inkBox(pages.at(i));
            QVERIFY2(near(ink.width(), inkSizes.at(i).width()) &&
                         near(ink.height(), inkSizes.at(i).height()),
                     qPrintable(QStringLiteral("page %1: %2").arg(i + 1).arg(describe(ink))));
        }
        QCOMPARE(pdfTitle(pdf), QStringLiteral("DivadAdIrura"));
    }

    static int completedJobs(const QString &queue)
    {
        QProcess p;
        p.start(QStringLiteral("lpstat"),
                {QStringLiteral("-W"), QStringLiteral("completed"), QStringLiteral("-o"), queue});
        if (!p.waitForFinished(10000))
            return -1;
        return int(p.readAllStandardOutput().count('\n'));
    }

    // A real queue of the desktop's print system, where this machine has one
    // (CUPS with a printer): the job goes through the queue to the end.
    void printsToARealQueue()
    {
        const QList<QPrinterInfo> queues = QPrinterInfo::availablePrinters();
        if (queues.isEmpty())
            QSKIP("no print queue here (CUPS is not running or has no printer)");
        const QString queue = queues.first().printerName();
        const int before = completedJobs(queue);
        if (before < 0)
            QSKIP("lpstat is needed to follow the job");
        viewer::ViewerWindow *v = make(false);
        v->viewImage({makeDark(QStringLiteral("queued.png"), 96, 96)}, 0);
        ScriptedPrompts script;
        script.printAnswers << true;
        script.onPrintDialog = [queue](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::NativeFormat);
            printer.setPrinterName(queue);
        };
        act(v, "mnuCentered")->trigger();
        QCOMPARE(script.count(QStringLiteral("message")), 0);
        QTRY_VERIFY_WITH_TIMEOUT(completedJobs(queue) > before, 30000);
    }

    // Cancelling the dialog prints nothing; a printer that fails ends the
    // command without a message; neither disturbs the viewer.
    void cancelAndFailureAreQuiet()
    {
        viewer::ViewerWindow *v = make(false);
        const QString shown = makeDark(QStringLiteral("small.png"), 96, 96);
        v->viewImage({shown}, 0);
        {
            ScriptedPrompts script;
            const QString pdf = scriptPdf(script, false, {});
            act(v, "mnuCentered")->trigger();
            QVERIFY(!QFile::exists(pdf));
            QCOMPARE(script.count(QStringLiteral("message")), 0);
        }
        {
            ScriptedPrompts script;
            script.printAnswers << true;
            script.onPrintDialog = [this](QPrinter &printer) {
                printer.setOutputFormat(QPrinter::PdfFormat);
                printer.setOutputFileName(path(QStringLiteral("no such folder/out.pdf")));
            };
            act(v, "mnuFitToPage")->trigger();
            QCOMPARE(script.shown.size(), 1); // the dialog, and no message after it
        }
        QCOMPARE(view(v)->engine().filePath(), shown);
        // Nothing on screen: the dialog may be confirmed, nothing is printed.
        v->viewImage({}, 0);
        ScriptedPrompts script;
        const QString pdf = scriptPdf(script, true, {});
        act(v, "mnuTopLeft")->trigger();
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(script.count(QStringLiteral("message")), 0);
    }

    // Page Setup opens the page-setup dialog; the printer it sets up is the
    // one the next print uses.
    void pageSetupCarriesOver()
    {
        viewer::ViewerWindow *v = make(false);
        v->viewImage({makeDark(QStringLiteral("small.png"), 96, 96)}, 0);
        ScriptedPrompts script;
        script.printAnswers << true;
        act(v, "mnuPageSetup")->trigger();
        QCOMPARE(script.count(QStringLiteral("pageSetup")), 1);

        QPrinter *first = nullptr;
        QPrinter *second = nullptr;
        script.printAnswers << false << false;
        script.onPrintDialog = [&](QPrinter &printer) { (first ? second : first) = &printer; };
        act(v, "mnuCentered")->trigger();
        act(v, "mnuCentered")->trigger();
        QVERIFY(first);
        QCOMPARE(second, first);
    }
};

PICTAVO_TEST_MAIN(tst_ViewerPrint)
#include "tst_viewerprint.moc"
