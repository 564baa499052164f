// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>

#include <optional>

#include "settings/Registry.h"

namespace viewer {

class BrowserLink;

// The about box: the program's name, version and description, a legal and a
// support line, OK and a button that starts the system-information tool.
// The viewer shows it without blocking and owns it; OK closes and deletes it.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    // skin: where the dialog borrows the browser's skin from (may be null).
    explicit AboutDialog(QWidget *owner, BrowserLink *skin = nullptr);

    // The System Info button: starts the system-information tool the settings
    // store names, or says that there is none.
    static void startSysInfo();
    // A value of the settings store as text, or nothing when the key or the
    // value is missing or the value does not fit the 1024-byte buffer it is
    // read into (NUL included). A NUL at the end of the text is dropped.
    static std::optional<QString> keyValue(settings::Root root, const QString &key,
                                           const QString &name);
};

// The message System Info shows when it finds no tool to start.
inline constexpr char16_t kSysInfoUnavailable[] = u"System Information Is Unavailable At This Time";

} // namespace viewer
