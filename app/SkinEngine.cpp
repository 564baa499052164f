// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SkinEngine.h"

#include <QFile>
#include <QStringConverter>
#include <QWidget>

#include "app/Logging.h"

namespace app {

namespace {

// A skin is a few kilobytes; anything far larger is not a skin.
constexpr qint64 kMaxSkinBytes = qint64(1024) * 1024;

// True when every "{" has its "}" outside comments and quoted strings; Qt
// would otherwise reject the whole style sheet of the widget.
bool bracesBalance(const QString &css)
{
    int depth = 0;
    QChar quote;
    for (qsizetype i = 0; i < css.size(); ++i) {
        const QChar c = css.at(i);
        if (!quote.isNull()) {
            if (c == QLatin1Char('\\'))
                ++i;
            else if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < css.size() && css.at(i + 1) == QLatin1Char('*')) {
            const qsizetype end = css.indexOf(QLatin1String("*/"), i + 2);
            if (end < 0)
                return false;
            i = end + 1;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('{')) {
            ++depth;
        } else if (c == QLatin1Char('}')) {
            if (--depth < 0)
                return false;
        }
    }
    return depth == 0 && quote.isNull();
}

// "[Toolbar]" -> "Toolbar"; empty when the line is no heading.
QString headingOf(const QString &line)
{
    const QString t = line.trimmed();
    if (t.size() < 3 || !t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']')))
        return {};
    const QString name = t.mid(1, t.size() - 2).trimmed();
    for (const QChar c : name)
        if (!c.isLetterOrNumber() && c != QLatin1Char('_'))
            return {};
    return name;
}

} // namespace

SkinEngine::SkinEngine(QObject *parent) : QObject(parent)
{
    // applied() carries a widget pointer, also across queued connections.
    qRegisterMetaType<QWidget *>();
}

QStringList SkinEngine::knownElements()
{
    return {QStringLiteral("Window"),    QStringLiteral("Toolbar"),   QStringLiteral("Splitter"),
            QStringLiteral("StatusBar"), QStringLiteral("smallform"), QStringLiteral("Button"),
            QStringLiteral("Label")};
}

bool SkinEngine::loadSkin(const QString &path)
{
    m_sections.clear();
    // Without a usable skin the windows keep their default look; the log
    // says why.
    const auto unusable = [&path](const char *why) {
        qCWarning(lcApp, "The skin %s is not used: %s", qUtf8Printable(path), why);
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unusable("it cannot be read");
    if (file.size() > kMaxSkinBytes)
        return unusable("it is too large");
    const QByteArray bytes = file.read(kMaxSkinBytes + 1);
    if (bytes.size() > kMaxSkinBytes || bytes.contains('\0'))
        return unusable("it is not a text file");
    auto decode = QStringDecoder(QStringDecoder::Utf8);
    const QString text = decode(bytes);
    if (decode.hasError())
        return unusable("it is not UTF-8 text");
    return loadSkinText(text) || unusable("it holds no usable section");
}

bool SkinEngine::loadSkinText(const QString &text)
{
    m_sections.clear();
    QStringList known;
    for (const QString &e : knownElements())
        known << e.toLower();

    QString current; // lower-cased element of the section being read
    QString body;
    int depth = 0;
    const auto finish = [&] {
        if (!current.isEmpty() && known.contains(current) && bracesBalance(body) &&
            !body.trimmed().isEmpty())
            m_sections.insert(current, body.trimmed());
        body.clear();
    };
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        QString line = raw;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (depth == 0) {
            const QString heading = headingOf(line);
            if (!heading.isEmpty()) {
                finish();
                current = heading.toLower();
                continue;
            }
            if (line.trimmed().startsWith(QLatin1Char(';')))
                continue;
        }
        if (current.isEmpty())
            continue;
        // A rough count, only so that a heading inside braces is not taken
        // for one; bracesBalance() checks the section properly.
        depth =
            qMax(0, depth + int(line.count(QLatin1Char('{'))) - int(line.count(QLatin1Char('}'))));
        body += line;
        body += QLatin1Char('\n');
    }
    finish();
    return isLoaded();
}

QString SkinEngine::styleSheetOf(const QString &element) const
{
    return m_sections.value(element.toLower());
}

QStringList SkinEngine::elements() const
{
    QStringList names;
    for (const QString &e : knownElements())
        if (m_sections.contains(e.toLower()))
            names << e;
    return names;
}

void SkinEngine::applySkin(QWidget *window)
{
    applySkinByName(window, QStringLiteral("Window"));
}

void SkinEngine::applySkinByName(QWidget *child, const QString &element)
{
    if (!child)
        return;
    const QString css = styleSheetOf(element);
    if (css.isEmpty())
        return;
    child->setStyleSheet(css);
    emit applied(child, element);
}

} // namespace app
