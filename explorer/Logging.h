// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

namespace explorer {

// Messages of the explorer library ("pictavo.explorer"), for failures that
// leave the user no other trace.
Q_DECLARE_LOGGING_CATEGORY(lcExplorer)

} // namespace explorer
