// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

namespace imaging {

// Messages of the imaging library ("pictavo.imaging"), for failures that
// leave the user no other trace.
Q_DECLARE_LOGGING_CATEGORY(lcImaging)

} // namespace imaging
