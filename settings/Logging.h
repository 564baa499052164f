// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

namespace settings {

// Messages of the settings library ("pictavo.settings"), for failures that
// leave the user no other trace.
Q_DECLARE_LOGGING_CATEGORY(lcSettings)

} // namespace settings
