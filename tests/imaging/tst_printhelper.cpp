// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QDir>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "imaging/ImageEngine.h"
#include "imaging/PrintHelper.h"
#include "support/PdfPages.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

using core::PrintRange;
using testsupport::ScriptedPrompts;

namespace {

constexpr int kDpi = 30; // rasterising resolution of the printed pages
const QString kDocName = QStringLiteral("DivadAdIrura");

QImage solid(int w, int h, QColor colour = QColor(0, 0, 128))
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    img.setDotsPerMeterX(3780); // 96 dpi
    img.setDotsPerMeterY(3780);
    return img;
}

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

#define REQUIRE_POPPLER()                                                                          \
    if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())                      \
    QSKIP("pdftoppm (poppler-utils, see scripts/install-deps) is needed to read the printout")

bool near(double actual, double expected, double tolerance = 2.5)
{
    return std::abs(actual - expected) <= tolerance;
}

} // namespace

class TestPrintHelper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void placement_data();
    void placement();
    void placesOnThePage();
    void collectionIsOneDocument();
    void nothingToPrintFails();
    void printDialogRange_data();
    void printDialogRange();
    void pageSetupGoesThroughThePrompts();

private:
    // Prints to a fresh PDF and returns its pages at kDpi.
    QList<QImage> rasterise(const QString &pdf);
    void toPdf(imaging::PrintHelper &printer, const QString &name);

    QTemporaryDir m_dir;
    int m_run = 0;
};

void TestPrintHelper::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestPrintHelper::init()
{
    ++m_run;
}

void TestPrintHelper::toPdf(imaging::PrintHelper &printer, const QString &name)
{
    printer.printer().setOutputFormat(QPrinter::PdfFormat);
    printer.printer().setOutputFileName(m_dir.filePath(name));
    printer.printer().setPageSize(QPageSize(QPageSize::A4));
    printer.printer().setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
}

QList<QImage> TestPrintHelper::rasterise(const QString &pdf)
{
    return testsupport::rasterisePdf(pdf, kDpi,
                                     m_dir.filePath(QStringLiteral("page%1").arg(m_run)));
}

void TestPrintHelper::placement_data()
{
    QTest::addColumn<QSizeF>("image");
    QTest::addColumn<bool>("center");
    QTest::addColumn<bool>("fit");
    QTest::addColumn<QRectF>("expected");
    // On the page of 1000 x 800 that placement() prints on.
    QTest::newRow("top left") << QSizeF(200, 100) << false << false << QRectF(0, 0, 200, 100);
    QTest::newRow("centred") << QSizeF(200, 100) << true << false << QRectF(400, 350, 200, 100);
    QTest::newRow("fitted, wide") << QSizeF(200, 100) << true << true << QRectF(0, 150, 1000, 500);
    QTest::newRow("fitted, tall") << QSizeF(100, 200) << true << true << QRectF(300, 0, 400, 800);
    QTest::newRow("too large, top left")
        << QSizeF(4000, 1000) << false << false << QRectF(0, 0, 1000, 250);
    QTest::newRow("too large, centred")
        << QSizeF(4000, 1000) << true << false << QRectF(0, 275, 1000, 250);
    QTest::newRow("empty image") << QSizeF() << true << true << QRectF();
}

void TestPrintHelper::placement()
{
    QFETCH(QSizeF, image);
    QFETCH(bool, center);
    QFETCH(bool, fit);
    QFETCH(QRectF, expected);
    QCOMPARE(imaging::placeOnPage(image, QSizeF(1000, 800), center, fit), expected);
}

void TestPrintHelper::placesOnThePage()
{
    // The three placements of the viewer's Print menu, read back from the
    // rasterised printout.
    REQUIRE_POPPLER();
    struct Case
    {
        const char *name;
        bool center;
        bool fit;
    };
    for (const Case &c : {Case{"topleft", false, false}, Case{"centred", true, false},
                          Case{"fitted", true, true}}) {
        imaging::PrintHelper print;
        const QString file = QString::fromLatin1(c.name) + QStringLiteral(".pdf");
        toPdf(print, file);
        print.printImage(kDocName, solid(192, 96), c.center, c.fit);
        ++m_run;
        const QList<QImage> pages = rasterise(m_dir.filePath(file));
        QCOMPARE(pages.size(), 1);
        const QImage &page = pages.first();
        // Printable area at kDpi: 20 mm margins on A4.
        const double mm = kDpi / 25.4;
        const QRectF area(20 * mm, 20 * mm, 170 * mm, 257 * mm);
        const QRect ink = inkBox(page);
        QVERIFY2(!ink.isEmpty(), c.name);
        // 192 x 96 pixels at 96 dpi are 2 x 1 inches.
        const QSizeF own(2 * kDpi, 1 * kDpi);
        QRectF expected;
        if (!c.center)
            expected = QRectF(area.topLeft(), own);
        else if (!c.fit)
            expected = QRectF(area.center() - QPointF(own.width() / 2, own.height() / 2), own);
        else
            expected = QRectF(area.left(), area.center().y() - area.width() / 4, area.width(),
                              area.width() / 2);
        const QString why = QStringLiteral("%1: ink %2,%3 %4x%5, expected %6,%7 %8x%9")
                                .arg(QLatin1String(c.name))
                                .arg(ink.x())
                                .arg(ink.y())
                                .arg(ink.width())
                                .arg(ink.height())
                                .arg(expected.x())
                                .arg(expected.y())
                                .arg(expected.width())
                                .arg(expected.height());
        QVERIFY2(near(ink.x(), expected.x()) && near(ink.y(), expected.y()) &&
                     near(ink.width(), expected.width()) && near(ink.height(), expected.height()),
                 qPrintable(why));
        QVERIFY(testsupport::pdfInfo(m_dir.filePath(file))
                    .contains(QRegularExpression(QStringLiteral("Title:\\s+") + kDocName)));
    }
}

void TestPrintHelper::collectionIsOneDocument()
{
    REQUIRE_POPPLER();
    imaging::PrintHelper print;
    toPdf(print, QStringLiteral("three.pdf"));
    // Pages of different sizes: each is placed on its own page.
    print.printImages(kDocName, {solid(96, 96), solid(192, 96), solid(96, 288)}, true, false);
    const QList<QImage> pages = rasterise(m_dir.filePath(QStringLiteral("three.pdf")));
    QCOMPARE(pages.size(), 3);
    const QList<QSize> own{{30, 30}, {60, 30}, {30, 90}};
    for (int i = 0; i < 3; ++i) {
        const QRect ink = inkBox(pages.at(i));
        QVERIFY2(
            near(ink.width(), own.at(i).width()) && near(ink.height(), own.at(i).height()),
            qPrintable(
                QStringLiteral("page %1: %2x%3").arg(i + 1).arg(ink.width()).arg(ink.height())));
    }
    QVERIFY(testsupport::pdfInfo(m_dir.filePath(QStringLiteral("three.pdf")))
                .contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))));
}

void TestPrintHelper::nothingToPrintFails()
{
    imaging::PrintHelper print;
    toPdf(print, QStringLiteral("none.pdf"));
    QVERIFY_THROWS_EXCEPTION(imaging::ImageError, print.printImages(kDocName, {}, false, false));
    QVERIFY_THROWS_EXCEPTION(imaging::ImageError,
                             print.printImage(kDocName, QImage(), false, false));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("none.pdf"))));
    // A job that cannot start: the output folder does not exist.
    print.printer().setOutputFileName(m_dir.filePath(QStringLiteral("missing/out.pdf")));
    QVERIFY_THROWS_EXCEPTION(imaging::ImageError,
                             print.printImage(kDocName, solid(10, 10), false, false));
}

void TestPrintHelper::printDialogRange_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("fromPage");
    QTest::addColumn<int>("toPage");
    using K = PrintRange::Kind;
    // The dialog starts with pages 1 to 4 of 4.
    QTest::newRow("all pages") << int(K::All) << true << 0 << 0 << 0 << 1 << 4;
    QTest::newRow("selection") << int(K::Selection) << true << 0 << 0 << 1 << 1 << 4;
    QTest::newRow("current page counts as the selection")
        << int(K::CurrentPage) << true << 0 << 0 << 1 << 1 << 4;
    QTest::newRow("pages 2 to 3") << int(K::PageRange) << true << 2 << 3 << 2 << 2 << 3;
    QTest::newRow("cancelled") << int(K::PageRange) << false << 2 << 3 << 0 << 1 << 4;
}

void TestPrintHelper::printDialogRange()
{
    QFETCH(int, kind);
    QFETCH(bool, confirmed);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, range);
    QFETCH(int, fromPage);
    QFETCH(int, toPage);

    ScriptedPrompts script;
    script.printAnswers << confirmed;
    script.printRange = {PrintRange::Kind(kind), from, to};
    QPair<int, int> offered;
    script.onPrintDialog = [&](QPrinter &printer) {
        offered = {printer.fromPage(), printer.toPage()};
    };
    imaging::PrintHelper print;
    print.setFromPage(1);
    print.setToPage(4);
    print.setMinPage(1);
    print.setMaxPage(4);
    print.setOption(false);
    QCOMPARE(print.printDialog(), confirmed);
    QCOMPARE(script.count(QStringLiteral("print")), 1);
    QCOMPARE(offered, qMakePair(1, 4));
    QCOMPARE(int(print.printRange()), range);
    QCOMPARE(print.fromPage(), fromPage);
    QCOMPARE(print.toPage(), toPage);
}

void TestPrintHelper::pageSetupGoesThroughThePrompts()
{
    ScriptedPrompts script;
    script.printAnswers << true << false;
    imaging::PrintHelper print;
    QVERIFY(print.pageSetup(nullptr, 0));
    QVERIFY(!print.pageSetup(nullptr, 0));
    QCOMPARE(script.count(QStringLiteral("pageSetup")), 2);
}

PICTAVO_TEST_MAIN(TestPrintHelper)
#include "tst_printhelper.moc"
