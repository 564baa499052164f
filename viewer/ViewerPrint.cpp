// SPDX-License-Identifier: GPL-3.0-or-later
// Page setup and the three Print commands: the picture on screen, all pages
// of a multi-page file, or the pages the user picks in the print dialog.
#include <QObject>

#include "imaging/ImageEngine.h"
#include "imaging/ImageView.h"
#include "imaging/PrintHelper.h"
#include "viewer/Logging.h"
#include "viewer/ViewerWindow.h"

namespace viewer {

namespace {

// The name every print job of the viewer carries.
constexpr char16_t kPrintDocName[] = u"DivadAdIrura";

// The window's print companion, made on first use and kept while the window
// lives, so that the page setup and the printer chosen carry over from one
// print to the next.
class PrintCompanion : public QObject
{
    Q_OBJECT

public:
    explicit PrintCompanion(QObject *owner) : QObject(owner)
    {
        setObjectName(QStringLiteral("MyPrinter"));
    }
    imaging::PrintHelper helper;
};

imaging::PrintHelper &printerOf(QObject *window)
{
    auto *companion = window->findChild<PrintCompanion *>(QStringLiteral("MyPrinter"),
                                                          Qt::FindDirectChildrenOnly);
    if (!companion)
        companion = new PrintCompanion(window);
    return companion->helper;
}

// Every page of the shown file, in order; a one-page image is the picture on
// screen as it stands (turned, if the user turned it).
QList<QImage> pagesOf(const imaging::ImageEngine &engine)
{
    if (engine.pageCount() <= 1)
        return {engine.currentImage()};
    imaging::DecodeOptions options;
    options.allPages = true;
    const imaging::Decoded decoded = imaging::decodeFile(engine.filePath(), options);
    if (!decoded.ok())
        throw imaging::ImageError(decoded.error);
    return decoded.pages;
}

} // namespace

void ViewerWindow::pageSetup()
{
    printerOf(this).pageSetup(this, 0);
}

void ViewerWindow::printImage(imaging::PrintPlacement placement)
{
    using imaging::PrintHelper;
    const bool center = placement != imaging::PrintPlacement::TopLeft;
    const bool fit = placement == imaging::PrintPlacement::FitToPage;
    const QString docName = QString::fromUtf16(kPrintDocName);
    const imaging::ImageEngine &engine = m_imageView->engine();
    PrintHelper &printer = printerOf(this);
    // A printer that fails, or a page that cannot be read, ends the command
    // without a message and without further pages.
    try {
        int pages = engine.pageCount();
        printer.setFromPage(1);
        printer.setToPage(pages);
        printer.setMinPage(1);
        printer.setMaxPage(pages);
        printer.setOption(false);
        if (!printer.printDialog(this))
            return;
        const PrintHelper::Range range = printer.printRange();
        pages = engine.pageCount();
        if (pages > 1 && range == PrintHelper::Range::AllPages) {
            printer.printImages(docName, pagesOf(engine), center, fit);
        } else if (range == PrintHelper::Range::Selection) {
            // The picture on screen, centred at its own size whatever the
            // placement chosen.
            printer.printImage(docName, engine.currentImage(), true, false);
        } else {
            // A range goes out as one job, so that printing it to a file
            // keeps every page instead of each page replacing the one
            // before. A range that runs backwards prints nothing.
            const int from = printer.fromPage();
            const int to = printer.toPage();
            if (from > to)
                return;
            const QList<QImage> all = pagesOf(engine);
            if (from < 1 || to > all.size())
                throw imaging::ImageError(QStringLiteral("No such page"));
            printer.printImages(docName, all.mid(from - 1, to - from + 1), center, fit);
        }
    } catch (const imaging::ImageError &error) {
        qCInfo(lcViewer) << "printing stopped:" << error.description();
    }
}

} // namespace viewer

#include "ViewerPrint.moc"
