// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one way tests reach inside the browser window: its generated form and its feature objects.

#include "browser/AuditionSettings.h"
#include "browser/BrowserWindow.h"
#include "browser/LibraryScope.h"
#include "browser/PlaybackSequence.h"
#include "browser/WaveListFilter.h"
#include "browser/WaveMeasuring.h"
#include "browser/WaveformPanel.h"
#include "components/FileOp.h"
#include "components/WavePlay.h"

#include <QTimer>
#include "ui_BrowserWindow.h"

/// A friend of the window that hands its private parts to tests.
class BrowserWindowTestAccess {
public:
    static Ui::BrowserWindow& ui(BrowserWindow& w) { return *w.ui; }
    static PlaybackSequence& playback(BrowserWindow& w) { return *w.playback_; }
    static WaveListFilter& filter(BrowserWindow& w) { return *w.filter_; }
    static WaveMeasuring& measuring(BrowserWindow& w) { return *w.measuring_; }
    static AuditionSettings& audition(BrowserWindow& w) { return *w.audition_; }
    static WaveformPanel& waveform(BrowserWindow& w) { return *w.waveform_; }
    static LibraryScope& library(BrowserWindow& w) { return *w.library_; }
    static TFileOperation& fileOperation(BrowserWindow& w) { return *w.fileOperation_; }
    static bool copyOnDrop(const BrowserWindow& w) { return w.CopyOnDrop; }
    static bool iconLoaded(const BrowserWindow& w) { return w.IconLoaded; }
    static QIcon waveIcon(const BrowserWindow& w) { return w.WaveIcon; }
};

namespace browser_testing {

constexpr auto ui = &BrowserWindowTestAccess::ui;
constexpr auto playback = &BrowserWindowTestAccess::playback;
constexpr auto filter = &BrowserWindowTestAccess::filter;
constexpr auto measuring = &BrowserWindowTestAccess::measuring;
constexpr auto audition = &BrowserWindowTestAccess::audition;
constexpr auto waveform = &BrowserWindowTestAccess::waveform;
constexpr auto libraryScope = &BrowserWindowTestAccess::library;

} // namespace browser_testing
