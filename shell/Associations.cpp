// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Associations.h"

#include <QFileInfo>

#include "core/Formats.h"
#include "core/Paths.h"
#include "core/Prompts.h"
#include "shell/DesktopIntegration.h"
#include "shell/Logging.h"
#include "shell/MimeAppsList.h"

namespace shell::associations {

namespace {

using settings::Registry;

const std::array<Association, 15> kTable{{
    {u".jpg", u"Pictavo.jpg", u"Pictavo JPG image", u"/icons/jpg.ico", u" jpg ", u"image/jpeg"},
    {u".jpeg", u"Pictavo.jpeg", u"Pictavo JPEG image", u"/icons/jpg.ico", u" jpeg ", u"image/jpeg"},
    {u".gif", u"Pictavo.gif", u"Pictavo GIF image", u"/icons/gif.ico", u" gif ", u"image/gif"},
    {u".bmp", u"Pictavo.bmp", u"Pictavo BMP image", u"/icons/bmp.ico", u" bmp ", u"image/bmp"},
    {u".dib", u"Pictavo.dib", u"Pictavo DIB image", u"/icons/dib.ico", u" dib ", u"image/bmp"},
    {u".png", u"Pictavo.png", u"Pictavo PNG image", u"/icons/png.ico", u" png ", u"image/png"},
    {u".psd", u"Pictavo.psd", u"Pictavo PSD image", u"/icons/psd.ico", u" psd ",
     u"image/vnd.adobe.photoshop"},
    {u".tif", u"Pictavo.tif", u"Pictavo TIF image", u"/icons/tif.ico", u" tif ", u"image/tiff"},
    {u".pcx", u"Pictavo.pcx", u"Pictavo PCX image", u"/icons/pcx.ico", u" pcx ",
     u"image/vnd.zbrush.pcx"},
    {u".tga", u"Pictavo.tga", u"Pictavo TGA image", u"/icons/tga.ico", u" tga ", u"image/x-tga"},
    {u".wbmp", u"Pictavo.wbmp", u"Pictavo WBMB image", u"/icons/wbmb.ico", u" wbmp ",
     u"image/vnd.wap.wbmp"},
    {u".wmf", u"Pictavo.wmf", u"Pictavo WMF image", u"/icons/wmf.ico", u" wmf ", u"image/wmf"},
    {u".ico", u"Pictavo.ico", u"Pictavo Icon", u"/icons/ico.ico", u" ico ",
     u"image/vnd.microsoft.icon"},
    {u".emf", u"Pictavo.emf", u"Pictavo EMF image", u"/icons/emf.ico", u" emf ", u"image/emf"},
    // No desktop MIME type exists for .tla files, so the desktop is left as it is.
    {u".tla", u"Pictavo.tla", u"Pictavo TLA image", u"/icons/icon.ico", u" tla ", u""},
}};

// Older names of the table's types that desktops may still use.
const char16_t *const kMimeAliases[] = {
    u"image/x-bmp",   u"image/x-ms-bmp", u"image/x-psd",  u"image/x-pcx",
    u"image/x-targa", u"image/x-wmf",    u"image/x-icon", u"image/x-emf",
};

const QString kQuestion = QStringLiteral(
    "The following image types are no more associated with Pictavo, Do you want to associate "
    "them now?");

QString str(const char16_t *text)
{
    return QString::fromUtf16(text);
}

QString desktopId()
{
    return str(kDesktopFileName);
}

QString mimeTypeOf(const QString &extension)
{
    for (const Association &row : kTable)
        if (extension.compare(str(row.extension), Qt::CaseInsensitive) == 0)
            return str(row.mimeType);
    return {};
}

void registerAll()
{
    for (const Association &row : kTable)
        registerProgId(str(row.progId), str(row.description), QStringLiteral("open"),
                       appFolder() + str(row.icon).mid(1));
}

// True when the desktop opens the type with Pictavo (or the type is not mirrored).
bool desktopBound(const QString &mimeType)
{
    if (mimeType.isEmpty())
        return true;
    const QStringList ids = shell::desktopIds(
        shell::desktopIntegration().defaultApplications(mimeType).value_or(QString()));
    return !ids.isEmpty() && ids.first() == desktopId();
}

void warnDefaultNotSet(const QString &mimeType)
{
    qCWarning(lcShell, "The desktop's program for %s could not be changed",
              qUtf8Printable(mimeType));
}

// Writes Pictavo's desktop entry when it is missing or out of date.
bool ensureDesktopEntry()
{
    shell::DesktopIntegration &desktop = shell::desktopIntegration();
    const QByteArray text = desktopEntryText();
    if (desktop.desktopEntry(desktopId()) == text)
        return false;
    if (!desktop.writeDesktopEntry(desktopId(), text))
        qCWarning(lcShell, "Pictavo's desktop entry could not be written");
    return true;
}

// Makes Pictavo the desktop's default for the type, keeping the previous
// default line in the store. A type already opened by Pictavo is left alone,
// so that its backup keeps the other program.
bool bindDesktopDefault(const QString &mimeType)
{
    bool changed = ensureDesktopEntry();
    shell::DesktopIntegration &desktop = shell::desktopIntegration();
    const std::optional<QString> current = desktop.defaultApplications(mimeType);
    QStringList ids = shell::desktopIds(current.value_or(QString()));
    if (!ids.isEmpty() && ids.first() == desktopId())
        return changed;
    setStringValue(settings::Root::CurrentUser, desktopBackupKey(), mimeType,
                   current.value_or(QString()));
    // The other programs stay behind Pictavo as the desktop's fall-backs.
    ids.removeAll(desktopId());
    ids.prepend(desktopId());
    if (!desktop.setDefaultApplications(mimeType, ids.join(QLatin1Char(';')) + QLatin1Char(';')))
        warnDefaultNotSet(mimeType);
    return true;
}

// Puts the desktop's previous default back when the type is still opened by
// Pictavo; a type another program took over is left alone.
bool restoreDesktopDefault(const QString &mimeType)
{
    shell::DesktopIntegration &desktop = shell::desktopIntegration();
    QStringList ids = shell::desktopIds(desktop.defaultApplications(mimeType).value_or(QString()));
    if (ids.isEmpty() || ids.first() != desktopId())
        return false;
    const auto backup = Registry::value(settings::Root::CurrentUser, desktopBackupKey(), mimeType);
    std::optional<QString> previous;
    if (backup) {
        if (!backup->data.trimmed().isEmpty())
            previous = backup->data;
    } else {
        // No backup (the store was lost): take Pictavo out of the list.
        ids.removeAll(desktopId());
        if (!ids.isEmpty())
            previous = ids.join(QLatin1Char(';')) + QLatin1Char(';');
    }
    if (!desktop.setDefaultApplications(mimeType, previous))
        warnDefaultNotSet(mimeType);
    if (backup)
        deleteValue(settings::Root::CurrentUser, desktopBackupKey(), mimeType);
    return true;
}

// Quotes an argument by the desktop-entry rules, then escapes it as a
// desktop-entry string value.
QString desktopArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (const QChar c : argument)
        quote = quote || reserved.contains(c);
    QString arg;
    if (quote) {
        arg += QLatin1Char('"');
        for (const QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                arg += QLatin1Char('\\');
            arg += c;
        }
        arg += QLatin1Char('"');
    } else {
        arg = argument;
    }
    arg.replace(QLatin1Char('%'), QLatin1String("%%"));
    return arg;
}

QString desktopString(const QString &value)
{
    QString out;
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else
            out += c;
    }
    return out;
}

} // namespace

const std::array<Association, 15> &table()
{
    return kTable;
}

QString fileExtsKey(const QString &extension)
{
    return QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\") +
           extension;
}

QString desktopBackupKey()
{
    return QStringLiteral("Software\\Quenbrook\\Pictavo\\Desktop Defaults");
}

void ensureAssociated()
{
    // Up to a hundred values change on a first start: write each root once.
    settings::Registry::Batch batch;
    if (!stringValue(settings::Root::ClassesRoot, QStringLiteral("Pictavo.jpg"), QString(),
                     QString())
             .isEmpty()) {
        QString names;
        for (const Association &row : kTable)
            if (!isAssociated(str(row.extension), str(row.progId)) ||
                !desktopBound(str(row.mimeType)))
                names += str(row.questionName);
        if (!names.isEmpty()) {
            if (core::msgBox(kQuestion + QLatin1String("\r\n") + names, core::MsgIcon::Question,
                             core::MsgButtons::YesNo) != core::MsgResult::Yes)
                return;
            registerAll();
        }
    } else {
        registerAll();
    }
    for (const Association &row : kTable)
        associateExtension(str(row.extension), str(row.progId));
}

void restorePrevious()
{
    settings::Registry::Batch batch;
    for (const Association &row : kTable)
        restoreExtension(str(row.extension), str(row.progId));
}

void registerProgId(const QString &className, const QString &description, const QString &verb,
                    const QString &iconPath)
{
    if (stringValue(settings::Root::ClassesRoot, description, QString(), QString()) == className)
        deleteKey(settings::Root::ClassesRoot, description);
    const QString shellKey = className + QLatin1String("\\shell");
    const QString verbKey = shellKey + QLatin1Char('\\') + verb;
    setStringValue(settings::Root::ClassesRoot, className, QString(), description);
    setStringValue(settings::Root::ClassesRoot, shellKey, QString(), QString());
    setStringValue(settings::Root::ClassesRoot, verbKey, QString(), QString());
    setStringValue(settings::Root::ClassesRoot, verbKey + QLatin1String("\\command"), QString(),
                   openCommand());
    setStringValue(settings::Root::ClassesRoot, className + QLatin1String("\\DefaultIcon"),
                   QString(), iconPath.isEmpty() ? shortPath(programPath()) : iconPath);
    // The desktop's counterpart of a class is Pictavo's desktop entry.
    if (ensureDesktopEntry())
        shell::desktopIntegration().notifyChanged();
}

void associateExtension(const QString &extension, const QString &className)
{
    bool changed = false;
    if (!isAssociated(extension, className)) {
        const QString old =
            stringValue(settings::Root::ClassesRoot, extension, QString(), QString());
        setStringValue(settings::Root::ClassesRoot, extension, QStringLiteral("OldAss"), old);
        setStringValue(settings::Root::ClassesRoot, extension, QString(), className);
        const QString choiceKey = fileExtsKey(extension);
        const QString oldChoice = stringValue(settings::Root::CurrentUser, choiceKey,
                                              QStringLiteral("ProgID"), QString());
        setStringValue(settings::Root::CurrentUser, choiceKey, QStringLiteral("OldProgID"),
                       oldChoice);
        setStringValue(settings::Root::CurrentUser, choiceKey, QStringLiteral("ProgID"), className);
        changed = true;
    }
    const QString mimeType = mimeTypeOf(extension);
    if (!mimeType.isEmpty())
        changed = bindDesktopDefault(mimeType) || changed;
    if (changed)
        shell::desktopIntegration().notifyChanged();
}

void restoreExtension(const QString &extension, const QString &className)
{
    bool changed = false;
    if (isAssociated(extension, className)) {
        setStringValue(settings::Root::ClassesRoot, extension, QString(),
                       stringValue(settings::Root::ClassesRoot, extension, QStringLiteral("OldAss"),
                                   QString()));
        deleteValue(settings::Root::ClassesRoot, extension, QStringLiteral("OldAss"));
        const QString choiceKey = fileExtsKey(extension);
        setStringValue(settings::Root::CurrentUser, choiceKey, QStringLiteral("ProgID"),
                       stringValue(settings::Root::CurrentUser, choiceKey,
                                   QStringLiteral("OldProgID"), QString()));
        deleteValue(settings::Root::CurrentUser, choiceKey, QStringLiteral("OldProgID"));
        changed = true;
    }
    const QString mimeType = mimeTypeOf(extension);
    if (!mimeType.isEmpty())
        changed = restoreDesktopDefault(mimeType) || changed;
    if (changed)
        shell::desktopIntegration().notifyChanged();
}

bool isAssociated(const QString &extension, const QString &className)
{
    return stringValue(settings::Root::ClassesRoot, extension, QString(), QString()) == className;
}

QString stringValue(settings::Root root, const QString &key, const QString &name,
                    const QString &defaultValue)
{
    const std::optional<Registry::Value> value = Registry::value(root, key, name);
    if (!value)
        return defaultValue;
    QString text = trimAtNull(value->data);
    if (value->expand)
        text = trimAtNull(expandEnvStrings(text));
    return text;
}

void setStringValue(settings::Root root, const QString &key, const QString &name,
                    const QString &data)
{
    Registry::setValue(root, key, name, {data, false});
}

void deleteValue(settings::Root root, const QString &key, const QString &name)
{
    Registry::deleteValue(root, key, name);
}

void deleteKey(settings::Root root, const QString &key)
{
    Registry::deleteKey(root, key);
}

QString expandEnvStrings(const QString &text)
{
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        if (text.at(i) != QLatin1Char('%')) {
            out += text.at(i++);
            continue;
        }
        const qsizetype close = text.indexOf(QLatin1Char('%'), i + 1);
        if (close < 0) {
            out += text.mid(i);
            break;
        }
        const QString name = text.mid(i + 1, close - i - 1);
        const QByteArray variable = name.toLocal8Bit();
        if (!name.isEmpty() && !name.contains(QLatin1Char('=')) &&
            qEnvironmentVariableIsSet(variable.constData())) {
            out += qEnvironmentVariable(variable.constData());
            i = close + 1;
        } else {
            // Not a known variable: keep the text; the closing "%" may open the next one.
            out += text.mid(i, close - i);
            i = close;
        }
    }
    return out;
}

QString trimAtNull(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

QString shortPath(const QString &path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return {};
    return path;
}

QString appFolder()
{
    QString folder = core::programFolder();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString programPath()
{
    const QString folder = core::programFolder();
    const QString share = QStringLiteral("/share/pictavo");
    if (folder.endsWith(share))
        return folder.chopped(share.size()) + QLatin1String("/bin/pictavo");
    return appFolder() + QLatin1String("pictavo");
}

QString openCommand()
{
    QString program = shortPath(programPath());
    bool quote = false;
    for (const QChar c : program)
        quote = quote || c.isSpace() || c == QLatin1Char('"');
    if (quote) {
        program.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        program.replace(QLatin1Char('"'), QLatin1String("\\\""));
        program = QLatin1Char('"') + program + QLatin1Char('"');
    }
    return program + QLatin1String(" %1");
}

QString desktopExec(const QString &programPath)
{
    return desktopString(desktopArgument(programPath)) + QLatin1String(" %f");
}

QStringList desktopMimeTypes()
{
    QStringList types;
    for (const Association &row : kTable)
        if (row.mimeType[0] != u'\0' && !types.contains(str(row.mimeType)))
            types << str(row.mimeType);
    for (const char16_t *alias : kMimeAliases)
        types << str(alias);
    return types;
}

QByteArray desktopEntryText()
{
    // An installed program; a missing one (a moved build) is looked up on PATH.
    QString program = shortPath(programPath());
    if (program.isEmpty())
        program = QStringLiteral("pictavo");
    const QString iconFile = appFolder() + QLatin1String("icons/pictavo.png");
    const QString icon = QFileInfo::exists(iconFile) ? iconFile : QStringLiteral("pictavo");
    QString text;
    text += QLatin1String("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Pictavo\n"
                          "GenericName=Image Viewer\n"
                          "Comment=Browse and view images\n");
    // Menus hide the entry once the program is gone (removed by the package
    // manager, say), since this per-user file stays behind.
    text += QLatin1String("TryExec=") + desktopString(program) + QLatin1Char('\n');
    text += QLatin1String("Exec=") + desktopExec(program) + QLatin1Char('\n');
    text += QLatin1String("Icon=") + desktopString(icon) + QLatin1Char('\n');
    text += QLatin1String("Terminal=false\n"
                          "Categories=Graphics;Viewer;2DGraphics;RasterGraphics;\n");
    text += QLatin1String("MimeType=") + desktopMimeTypes().join(QLatin1Char(';')) +
            QLatin1String(";\n");
    return text.toUtf8();
}

} // namespace shell::associations
