// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/Logging.h"

namespace imaging {

// Debug messages (which picture the engine took over, and its size) only when
// asked for: QT_LOGGING_RULES='pictavo.imaging.debug=true'.
Q_LOGGING_CATEGORY(lcImaging, "pictavo.imaging", QtInfoMsg)

} // namespace imaging
