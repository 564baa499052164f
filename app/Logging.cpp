// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Logging.h"

namespace app {

Q_LOGGING_CATEGORY(lcApp, "pictavo.app")

} // namespace app
