// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/Logging.h"

namespace viewer {

Q_LOGGING_CATEGORY(lcViewer, "pictavo.viewer")

} // namespace viewer
