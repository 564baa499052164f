// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <array>

#include "settings/Registry.h"

// File-type associations: Pictavo registers one file-type class per image
// extension, binds the extensions to them with backups of the previous
// bindings, checks the bindings at start-up and restores them on request.
// Bindings live in the store's HKEY_CLASSES_ROOT and HKEY_CURRENT_USER roots
// and are mirrored to the desktop (shell::DesktopIntegration).
namespace ModAssoc {

struct AssocRow
{
    const char16_t *extension;    // ".jpg"
    const char16_t *progId;       // "Pictavo.jpg"
    const char16_t *description;  // "Pictavo JPG image"
    const char16_t *icon;         // below the program folder: "/icons/jpg.ico"
    const char16_t *questionName; // " jpg "
    const char16_t *mimeType;     // the desktop's type; empty: not mirrored
};

// The fifteen associated types, in the order they are checked and listed.
const std::array<AssocRow, 15> &AssocTable();

// Store key of the user's class choice for an extension.
QString FileExtsKey(const QString &extension);
// Store key that keeps the desktop's previous default per MIME type.
QString DesktopBackupKey();
// The desktop entry that names Pictavo as an application.
inline constexpr char16_t kDesktopFileName[] = u"pictavo.desktop";

// Start-up check: registers the classes and binds every extension, asking
// first when Pictavo's classes exist but some types were taken over.
void CheckAssociations();
// Gives every extension bound to Pictavo its previous binding back.
void RemoveAssociations();

void RegisterProgID(const QString &className, const QString &description, const QString &verb,
                    const QString &iconPath);
void AssociateExtension(const QString &extension, const QString &className);
void RestoreExtension(const QString &extension, const QString &className);
// 1 when the extension's unnamed value is className exactly, else 0.
int IsAssociated(const QString &extension, const QString &className);

QString GetStringValue(settings::Root root, const QString &key, const QString &name,
                       const QString &defaultValue);
void SetStringValue(settings::Root root, const QString &key, const QString &name,
                    const QString &data);
void DeleteValue(settings::Root root, const QString &key, const QString &name);
void DeleteKey(settings::Root root, const QString &key);
// Expands %NAME% references to environment variables; unknown names stay.
QString ExpandEnvStrings(const QString &text);
QString TrimAtNull(const QString &text);
// There are no short path forms here: the path itself when it exists, else empty.
QString GetShortPath(const QString &path);
// The program folder, ending with "/".
QString AppFolder();

// The installed program the open command names: "pictavo" in the bin folder
// beside the program folder's share folder, or in the program folder itself.
QString ProgramPath();
// The open command stored for every class: the program, quoted when it holds
// blanks or quotes, then " %1".
QString OpenCommand();
// The desktop entry's Exec value for a program path (desktop-entry quoting).
QString DesktopExec(const QString &programPath);
// The contents of Pictavo's desktop entry.
QByteArray DesktopEntryText();
// Every MIME type the desktop entry declares (the table's and their aliases).
QStringList DesktopMimeTypes();

} // namespace ModAssoc
