// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <array>

#include "settings/Registry.h"

// File-type associations: Pictavo registers one file-type class per image
// extension, binds the extensions to them with backups of the previous
// bindings, checks the bindings at start-up and restores them on request.
// Bindings live in the store's classes and current-user roots and are
// mirrored to the desktop (shell::DesktopIntegration).
namespace shell::associations {

struct Association
{
    const char16_t *extension;    // ".jpg"
    const char16_t *progId;       // "Pictavo.jpg"
    const char16_t *description;  // "Pictavo JPG image"
    const char16_t *icon;         // below the program folder: "/icons/jpg.ico"
    const char16_t *questionName; // " jpg "
    const char16_t *mimeType;     // the desktop's type; empty: not mirrored
};

// The fifteen associated types, in the order they are checked and listed.
const std::array<Association, 15> &table();

// Store key of the user's class choice for an extension.
QString fileExtsKey(const QString &extension);
// Store key that keeps the desktop's previous default per MIME type.
QString desktopBackupKey();
// The desktop entry that names Pictavo as an application.
inline constexpr char16_t kDesktopFileName[] = u"pictavo.desktop";

// Start-up check: registers the classes and binds every extension, asking
// first when Pictavo's classes exist but some types were taken over.
void ensureAssociated();
// Gives every extension bound to Pictavo its previous binding back.
void restorePrevious();

void registerProgId(const QString &className, const QString &description, const QString &verb,
                    const QString &iconPath);
void associateExtension(const QString &extension, const QString &className);
void restoreExtension(const QString &extension, const QString &className);
// True when the extension's unnamed value is className exactly.
bool isAssociated(const QString &extension, const QString &className);

QString stringValue(settings::Root root, const QString &key, const QString &name,
                    const QString &defaultValue);
void setStringValue(settings::Root root, const QString &key, const QString &name,
                    const QString &data);
void deleteValue(settings::Root root, const QString &key, const QString &name);
void deleteKey(settings::Root root, const QString &key);
// Expands %NAME% references to environment variables; unknown names stay.
QString expandEnvStrings(const QString &text);
QString trimAtNull(const QString &text);
// There are no short path forms here: the path itself when it exists, else empty.
QString shortPath(const QString &path);
// The program folder, ending with "/".
QString appFolder();

// The installed program the open command names: "pictavo" in the bin folder
// beside the program folder's share folder, or in the program folder itself.
QString programPath();
// The open command stored for every class: the program, quoted when it holds
// blanks or quotes, then " %1".
QString openCommand();
// The desktop entry's Exec value for a program path (desktop-entry quoting).
QString desktopExec(const QString &programPath);
// The contents of Pictavo's desktop entry.
QByteArray desktopEntryText();
// Every MIME type the desktop entry declares (the table's and their aliases).
QStringList desktopMimeTypes();

} // namespace shell::associations
