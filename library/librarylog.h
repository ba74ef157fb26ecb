// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The library's log messages: what it could not do and why (watches run out, a folder not readable),
// never a dialog.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLibrary)
