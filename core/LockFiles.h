// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace core {

// Before Qt removes a lock whose owner died, it takes a second lock file
// beside it, named after the first with ".rmlock" added, so that two
// processes do not remove it at the same time. A process killed in the
// instant it created that second file leaves it without an owner, and Qt
// then waits for it to age 30 s; until then the dead owner's lock cannot be
// taken over at all. This removes such an ownerless file once it is at least
// olderThanMs old, and leaves alone one that names an owner (Qt judges those
// itself) or is younger.
void removeOwnerlessRemovalGuard(const QString &lockPath, qint64 olderThanMs);

} // namespace core
