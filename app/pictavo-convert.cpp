// SPDX-License-Identifier: GPL-3.0-or-later
// pictavo-convert: the imaging engine from the command line.
//   pictavo-convert info FILE            width height bitsPerPixel formatCode pageCount
//   pictavo-convert convert IN OUT CODE  writes the first page with a save code
//   pictavo-convert thumb IN OUT         writes the explorer's thumbnail (PNG unless
//                                        OUT names another format); prints its width height
// Exit status 0 on success; on failure one line on stderr and status 1.

#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

#include "imaging/ImageEngine.h"
#include "imaging/Startup.h"
#include "imaging/Thumbnail.h"

namespace {

using imaging::Decoded;
using imaging::DecodeOptions;

int fail(const QString &message)
{
    QTextStream(stderr) << message << Qt::endl;
    return 1;
}

int info(const QStringList &args)
{
    DecodeOptions options;
    options.allPages = false;
    const Decoded d = imaging::decodeFile(args.at(0), options);
    if (!d.ok())
        return fail(d.error);
    QTextStream(stdout) << d.originalSize.width() << ' ' << d.originalSize.height() << ' '
                        << d.bitsPerPixel << ' ' << d.formatCode << ' ' << d.pageCount << Qt::endl;
    return 0;
}

int convert(const QStringList &args)
{
    bool ok = false;
    const int code = args.at(2).toInt(&ok);
    if (!ok || !core::isSaveCode(code))
        return fail(QStringLiteral("Unknown save code %1 (1 to 10)").arg(args.at(2)));
    try {
        imaging::ImageEngine engine;
        engine.loadFile(args.at(0));
        engine.save(args.at(1), code);
    } catch (const imaging::ImageError &e) {
        return fail(e.description());
    }
    return 0;
}

int thumb(const QStringList &args)
{
    const imaging::ThumbnailResult r = imaging::makeThumbnail(args.at(0));
    if (!r.ok())
        return fail(r.error);
    QSaveFile file(args.at(1));
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("Cannot write %1: %2").arg(args.at(1), file.errorString()));
    QByteArray format = QFileInfo(args.at(1)).suffix().toLower().toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format))
        format = "png";
    QImageWriter writer(&file, format);
    if (!writer.write(r.picture) || !file.commit())
        return fail(QStringLiteral("Cannot write %1: %2").arg(args.at(1), writer.errorString()));
    QTextStream(stdout) << r.picture.width() << ' ' << r.picture.height() << Qt::endl;
    return 0;
}

struct Command
{
    const char *name;
    int argumentCount;
    const char *usage;
    int (*run)(const QStringList &args);
};

// One entry per sub-command.
const Command kCommands[] = {
    {"info", 1, "info FILE", info},
    {"convert", 3, "convert IN OUT CODE", convert},
    {"thumb", 2, "thumb IN OUT", thumb},
};

int usage()
{
    QString text = QStringLiteral("Usage:");
    for (const Command &c : kCommands)
        text += QStringLiteral(" pictavo-convert %1;").arg(QLatin1String(c.usage));
    text.chop(1);
    return fail(text);
}

} // namespace

int main(int argc, char *argv[])
{
    // Text in metafiles needs fonts, and fonts need a QGuiApplication; the
    // offscreen platform lets the command run from a script without a display.
    imaging::prepareProgram(imaging::ProgramKind::CommandLine);
    QGuiApplication app(argc, argv);
    imaging::initializeImaging(imaging::ProgramKind::CommandLine);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString name = args.takeFirst();
    for (const Command &c : kCommands) {
        if (name == QLatin1String(c.name)) {
            if (args.size() != c.argumentCount)
                return usage();
            return c.run(args);
        }
    }
    return usage();
}
