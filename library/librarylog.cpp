// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/librarylog.h"

Q_LOGGING_CATEGORY(lcLibrary, "tonfolio.library", QtInfoMsg)
