// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/Logging.h"

namespace imaging {

Q_LOGGING_CATEGORY(lcImaging, "pictavo.imaging")

} // namespace imaging
