// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/Logging.h"

namespace dialogs {

Q_LOGGING_CATEGORY(lcDialogs, "pictavo.dialogs")

} // namespace dialogs
