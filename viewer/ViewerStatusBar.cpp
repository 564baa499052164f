// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ViewerStatusBar.h"

#include <QFileInfo>
#include <QLabel>

#include "core/Formats.h"
#include "imaging/ImageEngine.h"
#include "viewer/ViewerRules.h"

namespace viewer {

ViewerStatusBar::ViewerStatusBar(QWidget *parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("StatusBar"));
    setSizeGripEnabled(true);
    // Small minimums, so that the panels never keep the window from taking
    // the size the image asks for.
    const int minimumWidths[] = {48, 60, 64, 100, 48};
    for (int i = 0; i < 5; ++i) {
        auto *panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setMinimumWidth(minimumWidths[i]);
        if (i == 1)
            panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        panel->setContentsMargins(4, 0, 4, 0);
        addPermanentWidget(panel, i == 1 ? 1 : 0);
        m_panels << panel;
    }
}

QString ViewerStatusBar::panelText(int panel) const
{
    return panel >= 1 && panel <= m_panels.size() ? m_panels.at(panel - 1)->text() : QString();
}

void ViewerStatusBar::showPosition(int number, qsizetype count)
{
    m_panels[0]->setText(QStringLiteral("%1/%2").arg(number).arg(count));
}

void ViewerStatusBar::showEntry(const QString &path, const imaging::ImageEngine &engine,
                                const QString &error)
{
    if (engine.pageCount() == 0) {
        // Nothing on screen: name the entry, or say why it is not shown.
        m_panels[1]->setText(error.isEmpty() ? fileNamePart(path) : error);
        m_panels[2]->clear();
        m_panels[3]->clear();
    } else if (core::usesPictureLoader(path)) {
        m_panels[1]->setText(fileNamePart(path));
        m_panels[2]->setText(formatFileSize(float(QFileInfo(path).size())));
        m_panels[3]->clear();
    } else {
        const QString full = engine.filePath();
        m_panels[1]->setText(engine.fileName());
        m_panels[2]->setText(formatFileSize(float(QFileInfo(full).size())));
        m_panels[3]->setText(imageFormatText(engine.width(), engine.height(), engine.bitsPerPixel(),
                                             core::extensionOf(full)));
    }
}

void ViewerStatusBar::showZoom(double zoom)
{
    m_panels[4]->setText(zoomPanelText(zoom));
}

} // namespace viewer
