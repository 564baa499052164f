// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include "shell/DesktopBackground.h"

namespace testsupport {

// A desktop that records the pictures it is given; installs itself while
// alive. With `failWith` set, it refuses with that problem.
class FakeDesktopBackground : public shell::DesktopBackground
{
public:
    FakeDesktopBackground() { shell::setDesktopBackground(this); }
    ~FakeDesktopBackground() override { shell::setDesktopBackground(nullptr); }
    FakeDesktopBackground(const FakeDesktopBackground &) = delete;
    FakeDesktopBackground &operator=(const FakeDesktopBackground &) = delete;

    QStringList pictures;
    QString failWith;

    bool setPicture(const QString &file, QString *problem) override
    {
        if (!failWith.isEmpty()) {
            *problem = failWith;
            return false;
        }
        pictures << file;
        return true;
    }
};

} // namespace testsupport
