// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry point: plays arbitrary bytes as a metafile.

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "imaging/Metafile.h"

// fontconfig keeps caches for the life of the process, which LeakSanitizer
// reports after the first text record.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

// Qt warns when it is handed values out of its range; on hostile input the
// reader must catch those first, so such a warning counts as a finding. The
// font engine's notes about scripts a font lacks are no fault of the input,
// nor are the image codecs' notes about a damaged picture embedded in an
// EMF+ record: the reader hands them the bytes, and they cope.
static void failOnWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (message.contains(QLatin1String("OpenType support missing")))
        return;
    if (context.category && (qstrncmp(context.category, "qt.gui.imageio", 14) == 0))
        return;
    std::fprintf(stderr, "Qt warning: %s\n", qPrintable(message));
    std::abort();
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Text records need the font database, which needs a GUI application.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_metafile";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    qInstallMessageHandler(failOnWarning);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    // Qt trims its font and glyph caches from timers; let them run now and
    // then, as an application's event loop would.
    static unsigned runs = 0;
    if (++runs % 256 == 0)
        QCoreApplication::processEvents();
    imaging::metafile::frameSize(bytes);
    QString error;
    // Bounded like a thumbnail so that each input plays quickly; the size
    // checks themselves are covered by the unit test.
    const QImage image = imaging::metafile::render(bytes, &error, QSize(256, 256));
    if (image.isNull() && error.isEmpty())
        __builtin_trap(); // a failure must always say why
    return 0;
}
