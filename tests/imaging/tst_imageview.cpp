// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <cmath>
#include <limits>

#include "imaging/ImageView.h"
#include "support/TestSupport.h"

using imaging::computeViewGeometry;

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kBlue(0, 0, 255);
const QColor kYellow(255, 255, 0);

// Four coloured quadrants: red top left, green top right, blue bottom left,
// yellow bottom right.
QImage quadrants(int w, int h, QImage::Format format = QImage::Format_RGB32)
{
    QImage img(w, h, format);
    QPainter p(&img);
    p.fillRect(0, 0, w / 2, h / 2, kRed);
    p.fillRect(w / 2, 0, w - w / 2, h / 2, kGreen);
    p.fillRect(0, h / 2, w / 2, h - h / 2, kBlue);
    p.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, kYellow);
    return img;
}

QImage shot(imaging::ImageView &view)
{
    // In logical pixels, also on a high-density screen.
    const QImage img = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    return img.size() == view.viewport()->size() ? img : img.scaled(view.viewport()->size());
}

QColor at(const QImage &img, QPointF p)
{
    return img.pixelColor(p.toPoint());
}

// Colour of the displayed image's quadrant centres, read from a screen shot.
QList<QColor> quadrantColours(imaging::ImageView &view)
{
    const QImage img = shot(view);
    const QRectF r = view.displayRect().intersected(QRectF(img.rect()));
    const double qx = r.width() / 4, qy = r.height() / 4;
    return {at(img, r.topLeft() + QPointF(qx, qy)), at(img, r.topLeft() + QPointF(3 * qx, qy)),
            at(img, r.topLeft() + QPointF(qx, 3 * qy)),
            at(img, r.topLeft() + QPointF(3 * qx, 3 * qy))};
}

class KeyCatcher : public QWidget
{
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override { keys << event->key(); }
};

} // namespace

class TestImageView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<const QMimeData *>(); }
    void geometry_data();
    void geometry();
    void drawsEachMode();
    void antiAliasChoosesTheScaling();
    void largeImageIsScaledInTheBackground();
    void changeFollowsTheView();
    void refusesBadZoom();
    void zoomKeepsTheMiddleWhilePanning();
    void zoomKeepsTheMiddle_data();
    void zoomKeepsTheMiddle();
    void transformsShowInTheView();
    void outputGivesTheShownImage();
    void reportsMouseAndKeys();
    void reportsDroppedFiles();
};

void TestImageView::geometry_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("centered");
    QTest::addColumn<QPoint>("scroll");
    QTest::addColumn<QRect>("expected");
    QTest::addColumn<QSize>("range");

    QTest::newRow("plain centred") << QSize(100, 50) << QSize(300, 200) << 1.0 << 0 << true
                                   << QPoint() << QRect(100, 75, 100, 50) << QSize(0, 0);
    QTest::newRow("plain top left") << QSize(100, 50) << QSize(300, 200) << 2.0 << 0 << false
                                    << QPoint() << QRect(0, 0, 200, 100) << QSize(0, 0);
    QTest::newRow("plain larger stays centred, no scrolling")
        << QSize(400, 300) << QSize(200, 100) << 1.0 << 0 << true << QPoint(50, 50)
        << QRect(-100, -100, 400, 300) << QSize(0, 0);
    QTest::newRow("fitted shrinks a large image")
        << QSize(4000, 3000) << QSize(1000, 700) << 1.0 << 3 << true << QPoint()
        << QRect(33, 0, 933, 700) << QSize(0, 0);
    QTest::newRow("fitted keeps a small image at its zoom")
        << QSize(100, 50) << QSize(300, 200) << 1.5 << 3 << true << QPoint()
        << QRect(75, 62, 150, 75) << QSize(0, 0);
    QTest::newRow("fitted, tall image") << QSize(100, 400) << QSize(300, 200) << 1.0 << 3 << true
                                        << QPoint() << QRect(125, 0, 50, 200) << QSize(0, 0);
    QTest::newRow("panned at the start")
        << QSize(4000, 3000) << QSize(1000, 700) << 4.0 << 2 << true << QPoint()
        << QRect(0, 0, 16000, 12000) << QSize(15000, 11300);
    QTest::newRow("panned into the middle")
        << QSize(4000, 3000) << QSize(1000, 700) << 4.0 << 2 << true << QPoint(5000, 300)
        << QRect(-5000, -300, 16000, 12000) << QSize(15000, 11300);
    QTest::newRow("pan offsets clamped")
        << QSize(400, 300) << QSize(200, 200) << 1.0 << 2 << true << QPoint(-20, 5000)
        << QRect(0, -100, 400, 300) << QSize(200, 100);
    QTest::newRow("panned, narrow side centred")
        << QSize(400, 100) << QSize(200, 200) << 1.0 << 2 << true << QPoint(50, 50)
        << QRect(-50, 50, 400, 100) << QSize(200, 0);
    QTest::newRow("no image") << QSize() << QSize(200, 200) << 1.0 << 2 << true << QPoint()
                              << QRect() << QSize(0, 0);
}

void TestImageView::geometry()
{
    QFETCH(QSize, image);
    QFETCH(QSize, view);
    QFETCH(double, zoom);
    QFETCH(int, mode);
    QFETCH(bool, centered);
    QFETCH(QPoint, scroll);
    QFETCH(QRect, expected);
    QFETCH(QSize, range);
    const imaging::ViewGeometry g =
        computeViewGeometry(image, view, zoom, imaging::ViewAlignment(mode), centered, scroll);
    QCOMPARE(QRectF(g.topLeft, g.displaySize).toRect(), expected);
    QCOMPARE(g.scrollRange, range);
}

void TestImageView::drawsEachMode()
{
    imaging::ImageView view;
    view.resize(200, 150);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.engine().loadPicture(quadrants(400, 300));
    const QList<QColor> all{kRed, kGreen, kBlue, kYellow};

    // Fitted: the whole image, shrunk into the view and centred.
    view.setViewAlignment(imaging::ViewAlignment::Fitted);
    QCOMPARE(view.displayRect(), QRectF(0, 0, 200, 150));
    QCOMPARE(quadrantColours(view), all);
    QVERIFY(!view.horizontalScrollBar()->isVisible());

    // Plain at zoom 0.25: small and centred on a white background.
    view.setViewAlignment(imaging::ViewAlignment::Plain);
    view.setZoom(0.25);
    QCOMPARE(view.displayRect(), QRectF(50, 37, 100, 75));
    QCOMPARE(quadrantColours(view), all);
    QCOMPARE(at(shot(view), QPointF(5, 5)), QColor(Qt::white));
    view.setBorderThickness(1);
    QCOMPARE(at(shot(view), QPointF(49, 60)), QColor(Qt::black));
    view.setBorderThickness(0);

    // Larger than the view: scroll bars, panned with ScrollX / ScrollY.
    view.setZoom(1.0);
    view.setViewAlignment(imaging::ViewAlignment::Panned);
    QTRY_VERIFY(view.horizontalScrollBar()->isVisible());
    QTRY_VERIFY(view.verticalScrollBar()->isVisible());
    QCOMPARE(at(shot(view), QPointF(5, 5)), kRed);
    view.setScrollX(100000);
    view.setScrollY(100000);
    QCOMPARE(view.scrollX(), 400 - view.viewport()->width());
    QCOMPARE(view.scrollY(), 300 - view.viewport()->height());
    QCOMPARE(at(shot(view), QPointF(5, 5)), kYellow);
    view.setScrollX(0);
    QCOMPARE(at(shot(view), QPointF(5, 5)), kBlue);

    // Back to a mode without panning: the offsets return to 0.
    view.setViewAlignment(imaging::ViewAlignment::Fitted);
    QCOMPARE(view.scrollX(), 0);
    QCOMPARE(view.scrollY(), 0);
    QTRY_VERIFY(!view.verticalScrollBar()->isVisible());
}

void TestImageView::antiAliasChoosesTheScaling()
{
    imaging::ImageView view;
    view.resize(200, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    // Enlarged and shrunk: nearest sampling only ever shows the four source
    // colours, smooth scaling mixes them where the quadrants meet.
    for (const auto &[size, zoom] :
         {std::pair{QSize(4, 4), 40.0}, std::pair{QSize(801, 801), 0.2}}) {
        view.engine().loadPicture(quadrants(size.width(), size.height()));
        view.setZoom(zoom);
        auto colours = [&] {
            const QImage img = shot(view);
            QSet<QRgb> seen;
            const QRect r = view.displayRect().toRect().intersected(img.rect());
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    seen.insert(img.pixel(x, y));
            return seen.size();
        };
        view.setAntiAlias(false);
        QCOMPARE(colours(), 4);
        view.setAntiAlias(true);
        QVERIFY2(colours() > 4,
                 qPrintable(QStringLiteral("zoom %1: %2 colours").arg(zoom).arg(colours())));
    }
}

void TestImageView::largeImageIsScaledInTheBackground()
{
    imaging::ImageView view;
    view.resize(300, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setViewAlignment(imaging::ViewAlignment::Fitted);
    view.engine().loadPicture(quadrants(2400, 1600, QImage::Format_RGB888));
    // The first paint starts the scaled copy and shows a quick one meanwhile.
    const QList<QColor> all{kRed, kGreen, kBlue, kYellow};
    QCOMPARE(quadrantColours(view), all);
    QTRY_VERIFY(!view.scalingPending());
    QCOMPARE(quadrantColours(view), all);
    // A new image while a copy is being made: the stale copy is dropped.
    view.setZoom(0.5);
    shot(view);
    view.engine().loadPicture(quadrants(1600, 2400, QImage::Format_RGB888).mirrored(true, true));
    // Each poll repaints, which asks for the copy the view needs now.
    QTRY_VERIFY((shot(view), !view.scalingPending()));
    QCOMPARE(quadrantColours(view), (QList<QColor>{kYellow, kBlue, kGreen, kRed}));
    QCOMPARE(view.displayRect().size(), QSizeF(133, 200));
}

void TestImageView::changeFollowsTheView()
{
    imaging::ImageView view;
    view.resize(100, 100);
    QSignalSpy change(&view, &imaging::ImageView::changed);
    view.engine().loadPicture(quadrants(40, 30));
    QCOMPARE(change.size(), 1);
    view.setZoom(1.0); // unchanged
    view.setViewAlignment(imaging::ViewAlignment::Plain);
    QCOMPARE(change.size(), 1);
    view.setZoom(2.0);
    QCOMPARE(change.size(), 2);
    view.setViewAlignment(imaging::ViewAlignment::Fitted);
    QCOMPARE(change.size(), 3);
    view.engine().rotate(90.0);
    QCOMPARE(change.size(), 4);
    view.engine().clear();
    QCOMPARE(change.size(), 5);
    QCOMPARE(view.displayRect(), QRectF());
}

void TestImageView::refusesBadZoom()
{
    imaging::ImageView view;
    view.setZoom(1.5);
    for (double bad : {0.0, -2.0, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        view.setZoom(bad);
        QCOMPARE(view.zoom(), 1.5);
    }
    // An absurd but valid zoom must not overflow the geometry.
    view.engine().loadPicture(quadrants(32000, 2));
    view.setZoom(1e12);
    QVERIFY(view.displayRect().width() > 0);
}

void TestImageView::zoomKeepsTheMiddleWhilePanning()
{
    imaging::ImageView view;
    view.resize(200, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.engine().loadPicture(quadrants(1000, 1000));
    view.setViewAlignment(imaging::ViewAlignment::Panned);
    const QSize vp = view.viewport()->size();
    view.setScrollX(500 - vp.width() / 2);
    view.setScrollY(250 - vp.height() / 2);
    view.setZoom(2.0);
    QVERIFY(std::abs(view.scrollX() - (1000 - vp.width() / 2)) <= 1);
    QVERIFY(std::abs(view.scrollY() - (500 - vp.height() / 2)) <= 1);
}

// The image point in the middle of the view stays there when the zoom
// changes, also where the image is smaller than the view in one direction
// and where the zoom and the view mode change together.
void TestImageView::zoomKeepsTheMiddle_data()
{
    using imaging::ViewAlignment;
    QTest::addColumn<QSize>("image");
    QTest::addColumn<ViewAlignment>("before");
    QTest::addColumn<QPoint>("scroll");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<ViewAlignment>("after");
    QTest::addColumn<QPointF>("middle"); // as a fraction of the image
    QTest::newRow("panned, lower than the view")
        << QSize(1000, 150) << ViewAlignment::Panned << QPoint(400, 0) << 2.0
        << ViewAlignment::Panned << QPointF(0.5, 0.5);
    QTest::newRow("panned off the centre, lower than the view")
        << QSize(1000, 150) << ViewAlignment::Panned << QPoint(100, 0) << 1.25
        << ViewAlignment::Panned << QPointF(0.2, 0.5);
    QTest::newRow("fitted, becomes panned")
        << QSize(150, 150) << ViewAlignment::Fitted << QPoint(0, 0) << 2.0 << ViewAlignment::Panned
        << QPointF(0.5, 0.5);
}

void TestImageView::zoomKeepsTheMiddle()
{
    QFETCH(QSize, image);
    QFETCH(imaging::ViewAlignment, before);
    QFETCH(QPoint, scroll);
    QFETCH(double, zoom);
    QFETCH(imaging::ViewAlignment, after);
    QFETCH(QPointF, middle);
    imaging::ImageView view;
    view.resize(200, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.engine().loadPicture(quadrants(image.width(), image.height()));
    view.setViewAlignment(before);
    QCoreApplication::processEvents(); // the scroll bars settle
    view.setScrollX(scroll.x());
    view.setScrollY(scroll.y());
    const QSize vp = view.viewport()->size();
    view.setZoom(zoom, after);
    QCOMPARE(view.viewAlignment(), after);
    const QRectF shown = view.displayRect();
    const QPointF at((vp.width() / 2.0 - shown.left()) / shown.width(),
                     (vp.height() / 2.0 - shown.top()) / shown.height());
    QVERIFY2(std::abs(at.x() - middle.x()) * shown.width() <= 1 &&
                 std::abs(at.y() - middle.y()) * shown.height() <= 1,
             qPrintable(QStringLiteral("middle at %1, %2").arg(at.x()).arg(at.y())));
}

void TestImageView::transformsShowInTheView()
{
    imaging::ImageView view;
    view.resize(300, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setImageCentered(false);
    view.engine().loadPicture(quadrants(200, 100));
    QCOMPARE(view.displayRect(), QRectF(0, 0, 200, 100));

    view.engine().resize(100, 50);
    QCOMPARE(view.displayRect(), QRectF(0, 0, 100, 50));
    QCOMPARE(at(shot(view), QPointF(10, 10)), kRed);
    QCOMPARE(at(shot(view), QPointF(150, 10)), QColor(Qt::white));

    view.engine().resizeCanvas(120, 70, imaging::makeColor(qRgb(0, 128, 255), 255), 10, 10);
    QCOMPARE(view.displayRect(), QRectF(0, 0, 120, 70));
    const QImage canvas = shot(view);
    QCOMPARE(at(canvas, QPointF(2, 2)), QColor(0, 128, 255));
    QCOMPARE(at(canvas, QPointF(115, 65)), QColor(0, 128, 255));
    QCOMPARE(at(canvas, QPointF(15, 15)), kRed);

    // +90 and -90 turn the image in opposite senses; either way the sides swap.
    view.engine().rotate(90.0);
    QCOMPARE(view.displayRect(), QRectF(0, 0, 70, 120));
    const QColor afterPlus = at(shot(view), QPointF(20, 20));
    view.engine().rotate(-90.0);
    view.engine().rotate(-90.0);
    QCOMPARE(view.displayRect(), QRectF(0, 0, 70, 120));
    QVERIFY(at(shot(view), QPointF(20, 20)) != afterPlus);
    view.engine().rotate(90.0);
    QCOMPARE(at(shot(view), QPointF(15, 15)), kRed);
}

void TestImageView::outputGivesTheShownImage()
{
    imaging::ImageView view;
    const QImage source = quadrants(64, 48);
    view.engine().loadPicture(source);
    view.engine().rotate(90.0);
    const QImage picture = view.engine().currentImage();
    QCOMPARE(picture.size(), QSize(48, 64));
    QCOMPARE(picture.convertToFormat(QImage::Format_RGB32),
             view.engine().currentImage().convertToFormat(QImage::Format_RGB32));
    view.engine().copyToClipboard();
    QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
             picture.convertToFormat(QImage::Format_RGB32));
}

void TestImageView::reportsMouseAndKeys()
{
    KeyCatcher window;
    auto *view = new imaging::ImageView(&window);
    view->resize(100, 100);
    window.resize(100, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    view->setFocus();
    QSignalSpy dbl(view, &imaging::ImageView::doubleClicked);
    QSignalSpy down(view, &imaging::ImageView::mousePressed);
    QSignalSpy key(view, &imaging::ImageView::keyPressed);

    const auto pressed = [](const QVariantList &args) {
        return std::make_tuple(args.at(0).value<Qt::MouseButton>(),
                               args.at(1).value<Qt::KeyboardModifiers>(), args.at(2).toPoint());
    };
    QTest::mouseClick(view->viewport(), Qt::RightButton, Qt::ShiftModifier, QPoint(30, 40));
    QCOMPARE(down.size(), 1);
    QCOMPARE(
        pressed(down.at(0)),
        std::make_tuple(Qt::RightButton, Qt::KeyboardModifiers(Qt::ShiftModifier), QPoint(30, 40)));
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(5, 6));
    QCOMPARE(
        pressed(down.last()),
        std::make_tuple(Qt::LeftButton, Qt::KeyboardModifiers(Qt::ControlModifier), QPoint(5, 6)));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(5, 6));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(dbl.size(), 1);

    // Enter and the arrows stay with the view; other keys reach the window too.
    auto press = [&](int code, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, code, modifiers);
        QApplication::sendEvent(view, &event);
    };
    press(Qt::Key_Left, Qt::ControlModifier);
    press(Qt::Key_Return, Qt::NoModifier);
    press(Qt::Key_Space, Qt::ShiftModifier);
    QCOMPARE(key.size(), 3);
    const auto keyOf = [](const QVariantList &args) {
        return std::make_pair(args.at(0).toInt(), args.at(1).value<Qt::KeyboardModifiers>());
    };
    QCOMPARE(keyOf(key.at(0)),
             std::make_pair(int(Qt::Key_Left), Qt::KeyboardModifiers(Qt::ControlModifier)));
    QCOMPARE(keyOf(key.at(1)), std::make_pair(int(Qt::Key_Return), Qt::KeyboardModifiers()));
    QCOMPARE(keyOf(key.at(2)),
             std::make_pair(int(Qt::Key_Space), Qt::KeyboardModifiers(Qt::ShiftModifier)));
    QCOMPARE(window.keys, QList<int>{Qt::Key_Space});
    // The arrows do not pan by themselves: the host decides.
    view->engine().loadPicture(quadrants(500, 500));
    view->setViewAlignment(imaging::ViewAlignment::Panned);
    press(Qt::Key_Down, Qt::NoModifier);
    QCOMPARE(view->scrollY(), 0);
}

void TestImageView::reportsDroppedFiles()
{
    imaging::ImageView view;
    view.resize(100, 100);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy drop(&view, &imaging::ImageView::filesDropped);
    QStringList received;
    connect(&view, &imaging::ImageView::filesDropped, &view, [&](const QList<QUrl> &urls) {
        for (const QUrl &url : urls)
            received << url.toLocalFile();
    });

    auto dropOn = [&](QMimeData *data) {
        QDragEnterEvent enter(QPoint(10, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &enter);
        QDropEvent dropEvent(QPointF(10, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &dropEvent);
        return enter.isAccepted();
    };

    QMimeData text;
    text.setText(QStringLiteral("not files"));
    QVERIFY(!dropOn(&text));
    QCOMPARE(drop.size(), 0);

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a b.jpg")),
                   QUrl::fromLocalFile(QStringLiteral("/tmp/c.png"))});
    QVERIFY(dropOn(&files));
    QCOMPARE(drop.size(), 1);
    QCOMPARE(drop.at(0).at(1).value<Qt::MouseButton>(), Qt::LeftButton);
    QCOMPARE(drop.at(0).at(3).toPoint(), QPoint(10, 20));
    QCOMPARE(received, (QStringList{QStringLiteral("/tmp/a b.jpg"), QStringLiteral("/tmp/c.png")}));
}

PICTAVO_TEST_MAIN(TestImageView)
#include "tst_imageview.moc"
