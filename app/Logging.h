// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

namespace app {

// Messages of the app library ("pictavo.app"), for failures that
// leave the user no other trace.
Q_DECLARE_LOGGING_CATEGORY(lcApp)

} // namespace app
