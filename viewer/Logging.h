// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

namespace viewer {

// Messages of the viewer library ("pictavo.viewer"), for failures that
// leave the user no other trace.
Q_DECLARE_LOGGING_CATEGORY(lcViewer)

} // namespace viewer
