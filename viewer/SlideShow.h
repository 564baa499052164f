// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QTimer;

namespace viewer {

// The viewer's slide show: whether it is on, its timer, and the position of
// the next slide in the viewer's list. The window presents the slides when
// ticked.
class SlideShow : public QObject
{
    Q_OBJECT

public:
    explicit SlideShow(QObject *parent = nullptr);

    // Milliseconds between slides. With 0 the timer never fires, as a
    // window timer does not.
    int delay() const;
    void setDelay(int milliseconds);

    // The show is on (its toolbar button is down).
    bool isRunning() const { return m_running; }
    // Turns the show on with the slide at position next.
    void start(int position);
    // Turns the show off.
    void stop();
    // Stops the ticks and forgets a waiting slide; the show stays on.
    void stopTimer();
    // Counts the delay again from now, so that the slide just shown stays
    // on screen for the whole delay however long it took to appear.
    void restartTimer();
    // The show goes on after the entry at position - 1 (the user stepped
    // there while it ran).
    void moveTo(int position) { m_position = position; }
    bool isTimerEnabled() const { return m_timerEnabled; }
    bool isTimerActive() const;

    // Position of the next slide; it may lie beyond a list that became
    // shorter (slideIndex takes care of that).
    int position() const { return m_position; }
    // The position of the next slide in a list of count entries: one past
    // either end wraps, anything else out of range starts at 0.
    int slideIndex(int count) const;
    // One step of the show: beginStep makes the slide at slideIndex(count)
    // the position and returns it; while it is presented, position() names
    // the slide on screen; endStep moves on to the one after it.
    int beginStep(int count);
    void endStep();
    // True between beginStep and endStep.
    bool isStepping() const { return m_stepping; }
    // A tick found its slide still being decoded and waits for it.
    bool isWaiting() const { return m_waiting; }
    void setWaiting(bool on) { m_waiting = on; }

signals:
    // Time for the next slide.
    void tick();

private:
    QTimer *m_timer;
    int m_position = 0;
    bool m_running = false;
    bool m_timerEnabled = false;
    bool m_stepping = false;
    bool m_waiting = false;
};

} // namespace viewer
