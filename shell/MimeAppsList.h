// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace shell {

// The text of a freedesktop mimeapps.list, edited line by line: a change
// touches one key line of one section and leaves every other line (other
// programs' entries, comments, unknown or damaged lines, line endings) byte
// for byte where it was. The first line of a key in a section counts, as the
// desktop's own tools read it.
class MimeAppsList
{
public:
    explicit MimeAppsList(const QByteArray &text = {});

    // The text after "=" of key's line in section, nullopt when there is none.
    std::optional<QString> value(const QString &section, const QString &key) const;
    // Replaces the key's line, or adds it at the end of the section (and the
    // section at the end of the text when it is missing).
    void setValue(const QString &section, const QString &key, const QString &value);
    // Removes the key's line; false when there was none. A section that
    // setValue added at the end is taken out again once it holds nothing.
    bool removeValue(const QString &section, const QString &key);

    QByteArray text() const;

private:
    struct Found
    {
        qsizetype header = -1; // line of the section header
        qsizetype key = -1;    // line of the key
        qsizetype end = -1;    // one past the section's last line
    };
    Found find(const QString &section, const QString &key) const;
    QByteArray newLine(const QByteArray &content) const;

    QList<QByteArray> m_lines; // without the '\n'; a '\r' stays part of its line
    bool m_finalNewline = true;
    bool m_crlf = false;
};

// The desktop-file ids of a value ("a.desktop;b.desktop;"), blanks and empty
// items dropped.
QStringList desktopIds(const QString &value);

} // namespace shell
