// SPDX-License-Identifier: GPL-3.0-or-later
// Save As: the shown image written to a new file in one of the ten formats.
#include <QFileInfo>

#include "core/Prompts.h"
#include "imaging/ImageView.h"
#include "viewer/SaveFormats.h"
#include "viewer/ViewerWindow.h"

namespace viewer {

void ViewerWindow::saveAs()
{
    imaging::ImageEngine &engine = m_imageView->engine();
    m_fileDialog.setOption(0);
    m_fileDialog.setFilter(saveFilter());
    // An image of a format without an entry (GIF, icons) opens the dialog on
    // the entry it showed last, from the previous Save As or Open.
    if (const int index = saveFilterIndexFor(engine.formatCode()); index > 0)
        m_fileDialog.setFilterIndex(index);
    // Fixed now: a name typed without extension gets the preselected
    // entry's, whichever entry the user picks afterwards.
    int formatCode = engine.formatCode();
    m_fileDialog.setDefaultExtension(getSaveFormat(m_fileDialog.filterIndex(), &formatCode));
    m_fileDialog.setFlags(kSaveDialogFlags);
    // Until a name has been chosen once, the dialog opens beside the picture.
    if (m_fileDialog.fileName().isEmpty() && m_index >= 0 && m_index < m_paths.size())
        m_fileDialog.setInitialFolder(QFileInfo(m_paths.at(m_index)).absolutePath());
    if (!m_fileDialog.showSave())
        return;
    const QString fileName = m_fileDialog.fileName();
    getSaveFormat(m_fileDialog.filterIndex(), &formatCode);
    try {
        engine.save(fileName, formatCode);
    } catch (const imaging::ImageError &e) {
        // The engine left any earlier file of that name as it was.
        core::msgBox(e.description(), core::MsgIcon::Exclamation);
        return;
    }
    // The list, the title and the position stay; the file-size panel follows
    // when the shown file itself was replaced.
    updateStatusBar();
}

} // namespace viewer
