// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/Logging.h"

namespace settings {

Q_LOGGING_CATEGORY(lcSettings, "pictavo.settings")

} // namespace settings
