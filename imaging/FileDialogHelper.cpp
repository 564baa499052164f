// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/FileDialogHelper.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include "core/Prompts.h"

namespace imaging {

QList<FilterEntry> parseFilter(const QString &filter)
{
    QList<FilterEntry> entries;
    if (filter.isEmpty())
        return entries;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        FilterEntry entry;
        entry.description = parts.at(i).trimmed();
        for (const QString &pattern : parts.at(i + 1).split(QLatin1Char(';'))) {
            const QString p = pattern.trimmed();
            if (!p.isEmpty())
                entry.patterns << p;
        }
        if (entry.patterns.isEmpty())
            continue;
        if (entry.description.isEmpty())
            entry.description = entry.patterns.join(QLatin1Char(' '));
        entries << entry;
    }
    return entries;
}

QStringList toNameFilters(const QString &filter)
{
    QStringList out;
    for (const FilterEntry &entry : parseFilter(filter)) {
        // Qt reads the patterns from the last parenthesised part, so
        // parentheses inside the description would confuse it.
        QString description = entry.description;
        description.replace(QLatin1Char('('), QLatin1Char('['));
        description.replace(QLatin1Char(')'), QLatin1Char(']'));
        out << QStringLiteral("%1 (%2)").arg(description, entry.patterns.join(QLatin1Char(' ')));
    }
    return out;
}

void FileDialogHelper::setDefaultExtension(const QString &ext)
{
    m_defaultExt = ext.startsWith(QLatin1Char('.')) ? ext.mid(1) : ext;
}

QString FileDialogHelper::fileTitle(int i) const
{
    return i >= 0 && i < m_names.size() ? m_names.at(i) : QString();
}

QStringList FileDialogHelper::fileNames() const
{
    QStringList out;
    for (const QString &name : m_names)
        out << QDir::cleanPath(m_folder + name);
    return out;
}

bool FileDialogHelper::showOpen()
{
    return show(false);
}

bool FileDialogHelper::showSave()
{
    return show(true);
}

bool FileDialogHelper::show(bool save)
{
    using core::FileDialogRequest;
    FileDialogRequest request;
    request.mode = save                           ? FileDialogRequest::Mode::Save
                   : (m_flags & AllowMultiSelect) ? FileDialogRequest::Mode::OpenMultiple
                                                  : FileDialogRequest::Mode::Open;
    request.title = !m_title.isEmpty() ? m_title
                    : save             ? QStringLiteral("Save As")
                                       : QStringLiteral("Open");
    request.folder = m_initDir;
    if (save)
        request.fileName = m_fileName;
    else if (request.folder.isEmpty() && !m_fileName.isEmpty())
        request.folder = QFileInfo(m_fileName).absolutePath();
    request.nameFilters = toNameFilters(m_filter);
    if (!request.nameFilters.isEmpty())
        request.filterIndex = std::clamp(m_filterIndex - 1, 0, int(request.nameFilters.size()) - 1);
    request.defaultSuffix = m_defaultExt;
    request.confirmOverwrite = save && (m_flags & OverwritePrompt);
    request.fileMustExist = !save && (m_flags & FileMustExist);

    const core::FileDialogResult result = core::prompts().fileDialog(request);
    if (!result.accepted || result.files.isEmpty())
        return false;

    QStringList files = result.files;
    if (request.mode != FileDialogRequest::Mode::OpenMultiple)
        files = files.mid(0, 1);
    for (QString &file : files)
        file = QFileInfo(file).absoluteFilePath();
    // A typed name without an extension gets the default one, also when the
    // dialog in use does not add it itself.
    if (save && !m_defaultExt.isEmpty() && !QFileInfo(files.first()).fileName().contains(u'.'))
        files.first() += QLatin1Char('.') + m_defaultExt;

    if (!request.nameFilters.isEmpty())
        m_filterIndex = std::clamp(result.filterIndex, 0, int(request.nameFilters.size()) - 1) + 1;
    m_fileName = files.first();
    const QString folder = QFileInfo(m_fileName).absolutePath();
    m_folder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    const QDir dir(folder);
    m_names.clear();
    for (const QString &file : files)
        m_names << dir.relativeFilePath(file);
    return true;
}

} // namespace imaging
