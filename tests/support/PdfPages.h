// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading back a printout that went to a PDF, with poppler's tools
// (poppler-utils, installed by scripts/install-deps).

#include <QImage>
#include <QList>
#include <QProcess>
#include <QString>

namespace testsupport {

// The pages at dpi, as RGB32 pictures; pdftoppm writes them as
// prefix-1.png, prefix-2.png ... Empty when pdftoppm fails.
inline QList<QImage> rasterisePdf(const QString &pdf, int dpi, const QString &prefix)
{
    QProcess p;
    p.start(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"), pdf, prefix});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    QList<QImage> pages;
    for (int i = 1;; ++i) {
        QImage page(QStringLiteral("%1-%2.png").arg(prefix).arg(i));
        if (page.isNull())
            break;
        pages << page.convertToFormat(QImage::Format_RGB32);
    }
    return pages;
}

// What pdfinfo says of the file (title, pages, page size ...).
inline QString pdfInfo(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace testsupport
