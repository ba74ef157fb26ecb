// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of resources/ are linked in through qt_add_resources; this unit gives the library a body.
namespace tonfolio {
int resourcesLinked()
{
    return 1;
}
} // namespace tonfolio
