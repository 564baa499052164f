// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/MimeAppsList.h"

namespace shell {

namespace {

QByteArray withoutCr(const QByteArray &line)
{
    return line.endsWith('\r') ? line.chopped(1) : line;
}

// The section name of a "[name]" line, nullopt for any other line. Any line
// that starts with "[" ends the section before it, as the desktop's tools
// read it; a damaged header names no section anyone asks for.
std::optional<QByteArray> sectionOf(const QByteArray &line)
{
    const QByteArray t = withoutCr(line).trimmed();
    if (!t.startsWith('['))
        return std::nullopt;
    if (t.size() >= 2 && t.endsWith(']'))
        return t.mid(1, t.size() - 2);
    return t;
}

// The key of a "key=value" line, nullopt for comments and other lines.
std::optional<QByteArray> keyOf(const QByteArray &line)
{
    const QByteArray t = withoutCr(line);
    const QByteArray lead = t.trimmed();
    if (lead.isEmpty() || lead.startsWith('#'))
        return std::nullopt;
    const qsizetype eq = t.indexOf('=');
    if (eq <= 0)
        return std::nullopt;
    return t.left(eq).trimmed();
}

} // namespace

MimeAppsList::MimeAppsList(const QByteArray &text)
{
    if (text.isEmpty())
        return;
    m_lines = text.split('\n');
    m_finalNewline = text.endsWith('\n');
    if (m_finalNewline)
        m_lines.removeLast();
    m_crlf = !m_lines.isEmpty() && m_lines.first().endsWith('\r');
}

MimeAppsList::Found MimeAppsList::find(const QString &section, const QString &key) const
{
    // A section may appear more than once; its first key line counts, and a
    // new line goes to the end of its first appearance.
    Found found;
    const QByteArray wantedSection = section.toUtf8();
    const QByteArray wantedKey = key.toUtf8();
    bool inside = false;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (const auto name = sectionOf(m_lines.at(i))) {
            if (inside && found.end < 0)
                found.end = i;
            inside = *name == wantedSection;
            if (inside && found.header < 0)
                found.header = i;
            continue;
        }
        if (inside && found.key < 0 && keyOf(m_lines.at(i)) == wantedKey)
            found.key = i;
    }
    if (found.header >= 0 && found.end < 0)
        found.end = m_lines.size();
    return found;
}

QByteArray MimeAppsList::newLine(const QByteArray &content) const
{
    return m_crlf ? content + '\r' : content;
}

std::optional<QString> MimeAppsList::value(const QString &section, const QString &key) const
{
    const Found found = find(section, key);
    if (found.key < 0)
        return std::nullopt;
    const QByteArray line = withoutCr(m_lines.at(found.key));
    return QString::fromUtf8(line.mid(line.indexOf('=') + 1).trimmed());
}

void MimeAppsList::setValue(const QString &section, const QString &key, const QString &value)
{
    const QByteArray line = newLine(key.toUtf8() + '=' + value.toUtf8());
    const Found found = find(section, key);
    if (found.key >= 0) {
        m_lines[found.key] = line;
        return;
    }
    if (found.header >= 0) {
        // After the section's last non-blank line, so that a blank line that
        // separates it from the next section stays in place.
        qsizetype at = found.end;
        while (at > found.header + 1 && withoutCr(m_lines.at(at - 1)).trimmed().isEmpty())
            --at;
        m_lines.insert(at, line);
        if (at == m_lines.size() - 1)
            m_finalNewline = true;
        return;
    }
    if (!m_lines.isEmpty() && !withoutCr(m_lines.last()).trimmed().isEmpty())
        m_lines.append(newLine({}));
    m_lines.append(newLine('[' + section.toUtf8() + ']'));
    m_lines.append(line);
    m_finalNewline = true;
}

bool MimeAppsList::removeValue(const QString &section, const QString &key)
{
    const Found found = find(section, key);
    if (found.key < 0)
        return false;
    m_lines.removeAt(found.key);
    // A section left with nothing but blank lines, at the end of the text
    // after a blank line, is the shape setValue gives a section it had to
    // add: take it out again with its separating blank line, so that adding
    // and removing a value leaves the file as it was.
    const auto blank = [&](qsizetype i) { return withoutCr(m_lines.at(i)).trimmed().isEmpty(); };
    for (qsizetype i = found.header + 1; i < m_lines.size(); ++i)
        if (!blank(i))
            return true;
    qsizetype from = found.header;
    if (from > 0 && blank(from - 1))
        --from;
    else if (from > 0)
        return true;
    m_lines.remove(from, m_lines.size() - from);
    return true;
}

QByteArray MimeAppsList::text() const
{
    QByteArray out = m_lines.join('\n');
    if (m_finalNewline && !m_lines.isEmpty())
        out += '\n';
    return out;
}

QStringList desktopIds(const QString &value)
{
    QStringList ids;
    for (const QString &item : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString id = item.trimmed();
        if (!id.isEmpty())
            ids << id;
    }
    return ids;
}

} // namespace shell
