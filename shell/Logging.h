// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

namespace shell {

// Messages of the shell library ("pictavo.shell"), for failures that
// leave the user no other trace.
Q_DECLARE_LOGGING_CATEGORY(lcShell)

} // namespace shell
