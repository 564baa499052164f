// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSplashScreen>
#include <QString>

namespace app {

// The start-up splash. The browser shows it with the picture file at once,
// then tells it how long it should stay up once start-up has finished (0: no
// extra time). It never closes before minimumMs() have passed since it
// appeared, so that it does not merely flash. A missing or unreadable
// picture shows nothing.
class Splash : public QObject
{
    Q_OBJECT

public:
    explicit Splash(QObject *parent = nullptr);
    ~Splash() override;

    void showPicture(const QString &pictureFile);
    void closeAfter(int milliseconds);
    int minimumMs() const { return m_minimumMs; }
    void setMinimumMs(int milliseconds) { m_minimumMs = milliseconds; }

    bool isShown() const;
    QSplashScreen *screen() const { return static_cast<QSplashScreen *>(m_screen.data()); }
    void close();
    // Keeps the splash in front of window while both are up, also where no
    // window manager honours the splash's stay-on-top wish.
    void keepAbove(QWidget *window);

signals:
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The QSplashScreen; a QWidget pointer stays valid while it is destroyed.
    QPointer<QWidget> m_screen;
    QElapsedTimer m_shownFor;
    int m_minimumMs = 1200;
};

} // namespace app
