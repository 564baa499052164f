// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

#include <memory>

class QPrinter;
class QWidget;

namespace imaging {

// Where an image of the given size (in printer pixels) goes on a printable
// area of the given size: at the top left or centred, at its own size or
// scaled to fit (keeping its aspect). An image larger than the area is
// shrunk to fit even when not asked to, so that nothing is cut off.
QRectF placeOnPage(QSizeF image, QSizeF page, bool center, bool fit);

// Where the viewer's Print commands put the image on the page.
enum class PrintPlacement
{
    TopLeft = 0,
    Centered = 1,
    FitToPage = 2,
};

// The print companion of the image view: page setup, a print dialog
// that returns a page range and its kind, and printing of one image or a
// whole collection as one document. Dialogs go through the prompts seam.
// The printer keeps its settings (page setup, chosen printer) for the life
// of this object.
class PrintHelper
{
public:
    // Kinds of range the print dialog returns.
    enum class Range
    {
        AllPages = 0,
        Selection = 1,
        PageNumbers = 2
    };

    PrintHelper();
    ~PrintHelper();
    PrintHelper(const PrintHelper &) = delete;
    PrintHelper &operator=(const PrintHelper &) = delete;

    // The printer the dialogs set up and the jobs go to.
    QPrinter &printer() { return *m_printer; }

    // Page range, 1-based: preset before the print dialog, the user's choice
    // after it.
    int fromPage() const { return m_fromPage; }
    void setFromPage(int page) { m_fromPage = page; }
    int toPage() const { return m_toPage; }
    void setToPage(int page) { m_toPage = page; }
    // Lowest and highest page the dialog lets the user choose.
    int minPage() const { return m_minPage; }
    void setMinPage(int page) { m_minPage = page; }
    int maxPage() const { return m_maxPage; }
    void setMaxPage(int page) { m_maxPage = page; }
    // Kept for the viewer, which sets it to false; it changes nothing.
    bool option() const { return m_option; }
    void setOption(bool on) { m_option = on; }
    // Kind of range chosen in the last confirmed print dialog.
    Range printRange() const { return m_printRange; }

    // The print dialog; true when the user confirmed. owner is the window
    // the dialog belongs to (the prompts seam picks the parent).
    bool printDialog(QWidget *owner = nullptr);
    // The page-setup dialog; true when the user confirmed.
    bool pageSetup(QWidget *owner = nullptr, int flags = 0);

    // Print one image as a one-page document, or a collection as one
    // document of one page per image. Throws imaging::ImageError when there is
    // nothing to print or the job cannot be started.
    void printImage(const QString &docName, const QImage &image, bool center, bool fit);
    void printImages(const QString &docName, const QList<QImage> &images, bool center, bool fit);

private:
    std::unique_ptr<QPrinter> m_printer;
    int m_fromPage = 1;
    int m_toPage = 1;
    int m_minPage = 1;
    int m_maxPage = 1;
    bool m_option = false;
    Range m_printRange = Range::AllPages;
};

} // namespace imaging
