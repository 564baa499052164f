// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Logging.h"

namespace shell {

Q_LOGGING_CATEGORY(lcShell, "pictavo.shell")

} // namespace shell
