// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSplashScreen>
#include <QString>

namespace app {

// The start-up splash. The browser calls it twice: first with the picture
// file, which shows it at once, then with a time in milliseconds that it
// should stay up once start-up has finished (0: no extra time). It never
// closes before minimumMs have passed since it appeared, so that it does not
// merely flash. A missing or unreadable picture shows nothing.
class Splash : public QObject
{
    Q_OBJECT

public:
    explicit Splash(QObject *parent = nullptr);
    ~Splash() override;

    void ShowSplash(const QString &pictureFile);
    void ShowSplash(int milliseconds);

    bool isShown() const;
    QSplashScreen *screen() const { return static_cast<QSplashScreen *>(m_screen.data()); }
    void close();
    // Keeps the splash in front of window while both are up, also where no
    // window manager honours the splash's stay-on-top wish.
    void keepAbove(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

public:
    int minimumMs = 1200;

signals:
    void closed();

private:
    QPointer<QWidget>
        m_screen; // the QSplashScreen; a QWidget pointer stays valid while it is destroyed
    QElapsedTimer m_shownFor;
};

} // namespace app
