// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/PrintHelper.h"

#include <QPainter>
#include <QPrinter>

#include <algorithm>

#include "core/Prompts.h"
#include "imaging/ImageEngine.h"

namespace imaging {

QRectF placeOnPage(QSizeF image, QSizeF page, bool center, bool fit)
{
    if (image.isEmpty() || page.isEmpty())
        return {};
    QSizeF size = image;
    if (fit || size.width() > page.width() || size.height() > page.height())
        size = image.scaled(page, Qt::KeepAspectRatio);
    QPointF topLeft(0, 0);
    if (center)
        topLeft = QPointF((page.width() - size.width()) / 2, (page.height() - size.height()) / 2);
    return {topLeft, size};
}

namespace {

// The image's own resolution, or the screen's usual 96 dpi when it has none.
double dpiOf(int dotsPerMeter)
{
    const double dpi = dotsPerMeter * 0.0254;
    return dpi >= 1 ? dpi : 96.0;
}

} // namespace

PrintHelper::PrintHelper() : m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)) {}

PrintHelper::~PrintHelper() = default;

bool PrintHelper::printDialog(QWidget *owner)
{
    Q_UNUSED(owner);
    core::PrintRange range;
    range.from = m_fromPage;
    range.to = m_toPage;
    range.minPage = m_minPage;
    range.maxPage = m_maxPage;
    if (m_minPage >= 1 && m_minPage <= m_fromPage && m_fromPage <= m_toPage)
        m_printer->setFromTo(m_fromPage, m_toPage);
    if (!core::prompts().printDialog(*m_printer, &range))
        return false;
    switch (range.kind) {
    case core::PrintRange::Kind::All:
        m_printRange = Range::AllPages;
        break;
    case core::PrintRange::Kind::Selection:
    case core::PrintRange::Kind::CurrentPage:
        m_printRange = Range::Selection;
        break;
    case core::PrintRange::Kind::PageRange:
        m_printRange = Range::PageNumbers;
        m_fromPage = range.from;
        m_toPage = range.to;
        break;
    }
    return true;
}

bool PrintHelper::pageSetup(QWidget *owner, int flags)
{
    Q_UNUSED(owner);
    Q_UNUSED(flags);
    return core::prompts().pageSetupDialog(*m_printer);
}

void PrintHelper::printImage(const QString &docName, const QImage &image, bool center, bool fit)
{
    printImages(docName, {image}, center, fit);
}

void PrintHelper::printImages(const QString &docName, const QList<QImage> &images, bool center,
                              bool fit)
{
    if (images.isEmpty() ||
        std::any_of(images.cbegin(), images.cend(), [](const QImage &img) { return img.isNull(); }))
        throw ImageError(QStringLiteral("There is no image to print"));
    m_printer->setDocName(docName);
    QPainter painter;
    if (!painter.begin(m_printer.get()))
        throw ImageError(QStringLiteral("The print job could not be started"));
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF page = m_printer->pageRect(QPrinter::DevicePixel);
    const double printerDpiX = m_printer->logicalDpiX();
    const double printerDpiY = m_printer->logicalDpiY();
    for (qsizetype i = 0; i < images.size(); ++i) {
        if (i > 0 && !m_printer->newPage()) {
            painter.end();
            throw ImageError(QStringLiteral("The printer refused a new page"));
        }
        const QImage &image = images.at(i);
        const QSizeF ownSize(image.width() * printerDpiX / dpiOf(image.dotsPerMeterX()),
                             image.height() * printerDpiY / dpiOf(image.dotsPerMeterY()));
        painter.drawImage(placeOnPage(ownSize, page.size(), center, fit), image);
    }
    if (!painter.end())
        throw ImageError(QStringLiteral("The print job could not be finished"));
}

} // namespace imaging
