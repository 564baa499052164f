// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace core {

// The file commands of the explorer's and the viewer's menus. The values are
// the codes the commands have always been numbered by.
enum class FileOperation
{
    CopyTo = 1,
    Delete = 2,
    DeletePermanently = 3,
    MoveTo = 4,
    Rename = 5,
};

} // namespace core
