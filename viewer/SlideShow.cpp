// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/SlideShow.h"

#include <QTimer>

#include "viewer/ViewerRules.h"

namespace viewer {

SlideShow::SlideShow(QObject *parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setObjectName(QStringLiteral("tmrSlideShow"));
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &SlideShow::tick);
}

int SlideShow::delay() const
{
    return m_timer->interval();
}

void SlideShow::setDelay(int milliseconds)
{
    m_timer->setInterval(milliseconds);
}

bool SlideShow::isTimerActive() const
{
    return m_timer->isActive();
}

void SlideShow::start(int position)
{
    m_running = true;
    m_timerEnabled = true;
    m_position = position;
    if (m_timer->interval() > 0)
        m_timer->start();
    else
        m_timer->stop();
}

void SlideShow::stop()
{
    m_running = false;
    stopTimer();
}

void SlideShow::stopTimer()
{
    m_timerEnabled = false;
    m_waiting = false;
    m_timer->stop();
}

void SlideShow::restartTimer()
{
    if (m_timerEnabled && m_timer->interval() > 0)
        m_timer->start();
}

int SlideShow::slideIndex(int count) const
{
    const int index = wrapIndex(m_position, count);
    return index >= 0 && index < count ? index : 0;
}

int SlideShow::beginStep(int count)
{
    m_stepping = true;
    m_position = slideIndex(count);
    return m_position;
}

void SlideShow::endStep()
{
    ++m_position;
    m_stepping = false;
}

} // namespace viewer
