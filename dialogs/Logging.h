// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

namespace dialogs {

// Messages of the dialogs library ("pictavo.dialogs"), for failures that
// leave the user no other trace.
Q_DECLARE_LOGGING_CATEGORY(lcDialogs)

} // namespace dialogs
