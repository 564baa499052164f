// SPDX-License-Identifier: GPL-3.0-or-later
#include "explorer/Logging.h"

namespace explorer {

Q_LOGGING_CATEGORY(lcExplorer, "pictavo.explorer")

} // namespace explorer
