// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace imaging {

// One entry of a "description|pattern|description|pattern" filter.
struct FilterEntry
{
    QString description;
    QStringList patterns; // "*.jpg", "*.jpeg"
};

// Splits a filter written "description|pattern;pattern|description|pattern".
// A trailing description without a pattern is dropped; blank patterns are
// skipped; an empty description becomes the patterns themselves.
QList<FilterEntry> parseFilter(const QString &filter);
// The same filter in the form of Qt's file dialogs: "All Images (*.jpg *.jpeg)".
QStringList toNameFilters(const QString &filter);

// The file-dialog companion of the image view: open and save dialogs
// set up the classic way (filter string, 1-based filter index, flags) and
// shown through the prompts seam. The filter index and the file name carry
// over from one use to the next, so that Save As can start where Open was.
class FileDialogHelper
{
public:
    // Flag values of the classic open and save dialogs. Flags without a
    // meaning here (hide read-only, sizing, explorer style) are kept anyway.
    enum Flag : long
    {
        OverwritePrompt = 0x2,
        HideReadOnly = 0x4,
        AllowMultiSelect = 0x200,
        PathMustExist = 0x800,
        FileMustExist = 0x1000,
        Explorer = 0x80000,
        EnableSizing = 0x800000,
    };

    QString filter() const { return m_filter; }
    void setFilter(const QString &filter) { m_filter = filter; }
    // 1-based index of the filter entry shown first; after a confirmed
    // dialog, the entry the user left selected.
    int filterIndex() const { return m_filterIndex; }
    void setFilterIndex(int index) { m_filterIndex = index; }
    // Extension (without the dot) given to a typed name that has none.
    QString defaultExtension() const { return m_defaultExt; }
    void setDefaultExtension(const QString &ext);
    long flags() const { return m_flags; }
    void setFlags(long flags) { m_flags = flags; }
    QString initialFolder() const { return m_initDir; }
    void setInitialFolder(const QString &folder) { m_initDir = folder; }
    QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    // Kept for the windows that set it (the open command 1, Save As 0); it
    // changes nothing in the dialog.
    int option() const { return m_option; }
    void setOption(int option) { m_option = option; }

    // Full path of the chosen file (the first one of a multiple selection).
    // Before a dialog: the name suggested in it.
    QString fileName() const { return m_fileName; }
    void setFileName(const QString &name) { m_fileName = name; }
    // Number of files chosen by the last confirmed dialog.
    int fileCount() const { return int(m_names.size()); }
    // Folder of the chosen files, ending with "/", so that folder() +
    // fileTitle(i) is the full path of the i-th file.
    QString folder() const { return m_folder; }
    // i-th chosen file relative to folder() (0-based; empty when absent).
    QString fileTitle(int i) const;
    // All chosen files as full paths.
    QStringList fileNames() const;

    // Show the dialog; true when the user confirmed. A cancelled dialog
    // leaves the results of the previous one as they were.
    bool showOpen();
    bool showSave();

private:
    bool show(bool save);

    QString m_filter;
    int m_filterIndex = 1;
    QString m_defaultExt;
    long m_flags = 0;
    QString m_initDir;
    QString m_title;
    int m_option = 0;
    QString m_fileName;
    QString m_folder;
    QStringList m_names;
};

} // namespace imaging
