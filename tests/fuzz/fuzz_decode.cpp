// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry point: arbitrary bytes through the paths a picture file
// takes in Pictavo: the decoder (first page and the next), the thumbnail,
// and saving the result in every format Qt writes, read back once more.
// PICTAVO_FUZZ_EXTENSION gives the file name's extension the bytes come
// with (".tga", ".dib", ...), for formats told apart by name.

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "core/Formats.h"
#include "imaging/Codecs.h"
#include "imaging/ImageEngine.h"
#include "imaging/Startup.h"
#include "imaging/Thumbnail.h"

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace {

QString g_extension;

void failOnEmptyError(const imaging::Decoded &d)
{
    if (!d.ok() && d.error.isEmpty())
        __builtin_trap(); // a failure must always say why
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_decode";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    imaging::initializeImaging(imaging::ProgramKind::CommandLine);
    g_extension = qEnvironmentVariable("PICTAVO_FUZZ_EXTENSION");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString name = QStringLiteral("fuzz") + g_extension;
    const QString extension = core::extensionOf(name);

    // The thumbnail path: a reduced decode, then the thumbnail itself.
    imaging::DecodeOptions reduced;
    reduced.boundingSize = QSize(imaging::kThumbEdge, imaging::kThumbEdge);
    const imaging::Decoded small = imaging::codecs::decodeData(bytes, name, extension, reduced);
    failOnEmptyError(small);
    if (small.ok() && !small.originalSize.isEmpty())
        imaging::composeThumbnail(small.pages.constFirst(), small.originalSize);

    // The viewer's path: the first page whole, and the second when there is one.
    const imaging::Decoded whole = imaging::codecs::decodeData(bytes, name, extension, {});
    failOnEmptyError(whole);
    if (!whole.ok())
        return 0;
    if (whole.pageCount > 1) {
        imaging::DecodeOptions second;
        second.page = 1;
        failOnEmptyError(imaging::codecs::decodeData(bytes, name, extension, second));
    }

    // Saving, kept small so that each input runs quickly, and reading back.
    const QImage picture = whole.pages.constFirst().scaled(
        whole.pages.constFirst().size().boundedTo(QSize(64, 64)), Qt::IgnoreAspectRatio);
    static const std::pair<int, const char *> formats[] = {
        {core::FormatJPG, "jpg"}, {core::FormatPNG, "png"},   {core::FormatTIF, "tif"},
        {core::FormatBMP, "bmp"}, {core::FormatWBMP, "wbmp"}, {core::FormatWMF, "wmf"},
        {core::FormatEMF, "emf"}};
    for (const auto &[code, written] : formats) {
        QByteArray out;
        QString reason;
        if (!imaging::codecs::encodeImage(picture, code, &out, &reason)) {
            if (reason.isEmpty())
                __builtin_trap();
            continue;
        }
        const imaging::Decoded back =
            imaging::codecs::decodeData(out, name, QString::fromLatin1(written), {});
        if (!back.ok())
            __builtin_trap(); // what Pictavo writes it must read
    }
    return 0;
}
