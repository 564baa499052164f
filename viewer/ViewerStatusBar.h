// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QStatusBar>

class QLabel;

namespace imaging {
class ImageEngine;
}

namespace viewer {

// The viewer's status bar: five panels, for the position in the list, the
// file name, the file size, the image's size and type, and the zoom.
class ViewerStatusBar : public QStatusBar
{
    Q_OBJECT

public:
    explicit ViewerStatusBar(QWidget *parent = nullptr);

    QString panelText(int panel) const; // 1-based

    // Panel 1: "number/count".
    void showPosition(int number, qsizetype count);
    // Panels 2 to 4 for the entry at path: the image on show in engine, or
    // the reason it could not be shown when the engine holds nothing.
    void showEntry(const QString &path, const imaging::ImageEngine &engine, const QString &error);
    // Panel 5: the zoom in percent.
    void showZoom(double zoom);

private:
    QList<QLabel *> m_panels;
};

} // namespace viewer
