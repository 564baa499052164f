// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/SingleInstance.h"

namespace testsupport {

// For tests: answers as told and counts the calls.
class FakeInstance : public app::SingleInstance
{
public:
    explicit FakeInstance(bool otherRunning) : m_otherRunning(otherRunning) {}
    bool claim() override
    {
        ++claims;
        held = !m_otherRunning;
        return held;
    }
    void release() override { held = false; }

    int claims = 0;
    bool held = false;

private:
    bool m_otherRunning;
};

} // namespace testsupport
