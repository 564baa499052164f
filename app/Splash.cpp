// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Splash.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <QScreen>
#include <QSplashScreen>
#include <QTimer>

#include "app/Logging.h"

namespace app {

namespace {
// The splash file has its own extension, so the picture format comes from
// its content; oversized pictures are scaled to fit the screen.
QPixmap readPicture(const QString &file)
{
    QImageReader reader(file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    QPixmap pixmap = QPixmap::fromImage(image);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSize room = screen->availableSize() * 3 / 4;
        if (pixmap.width() > room.width() || pixmap.height() > room.height())
            pixmap = pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return pixmap;
}
} // namespace

Splash::Splash(QObject *parent) : QObject(parent) {}

Splash::~Splash()
{
    delete m_screen.data();
}

void Splash::showPicture(const QString &pictureFile)
{
    close();
    const QPixmap picture = readPicture(pictureFile);
    if (picture.isNull()) {
        qCWarning(lcApp, "The splash picture %s cannot be read", qUtf8Printable(pictureFile));
        return;
    }
    m_screen = new QSplashScreen(picture, Qt::WindowStaysOnTopHint);
    m_screen->setObjectName(QStringLiteral("Splash1"));
    m_screen->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_screen.data(), &QObject::destroyed, this, &Splash::closed);
    m_screen->show();
    m_shownFor.start();
    // Let the picture paint before the rest of start-up runs.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Splash::closeAfter(int milliseconds)
{
    if (m_screen.isNull())
        return;
    // The timer fires once the event loop runs, that is after start-up has
    // shown the browser.
    const qint64 shown = m_shownFor.isValid() ? m_shownFor.elapsed() : 0;
    const qint64 wait = qMax<qint64>(qMax(0, milliseconds), m_minimumMs - shown);
    QTimer::singleShot(int(qMax<qint64>(0, wait)), this, &Splash::close);
}

bool Splash::isShown() const
{
    const QWidget *screen = m_screen.data();
    return screen && screen->isVisible();
}

void Splash::keepAbove(QWidget *window)
{
    if (window)
        window->installEventFilter(this);
}

bool Splash::eventFilter(QObject *watched, QEvent *event)
{
    // Without a window manager the browser, mapped last, would cover the
    // splash; with one, the splash's stay-on-top wish does the same.
    // The headless platform draws no stacking, and says so on every raise.
    QWidget *screen = m_screen.data();
    if (screen && (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) &&
        QGuiApplication::platformName() != QLatin1String("offscreen"))
        screen->raise();
    return QObject::eventFilter(watched, event);
}

void Splash::close()
{
    if (QWidget *screen = m_screen.data())
        screen->close();
}

} // namespace app
