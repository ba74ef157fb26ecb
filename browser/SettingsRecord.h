// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every value the program keeps between runs, read in one go at start and written in one go on close.

#include <cstdint>
#include <optional>
#include <string>

/// The stored values of the settings key "Software\Varnholt\Tonfolio", as they are stored: absent when the
/// key lacks them or holds them with another type. What a value means for the window is decided by
/// whoever applies it; this only reads and writes.
struct SettingsRecord {
    std::optional<bool> playLooped;   ///< PlayLooped: any non-zero number is true
    std::optional<std::string> lastDir;
    std::optional<std::int32_t> displayFiles;
    std::optional<bool> playSingle;   ///< PlaySingle: 0 means the all-waves mode
    std::optional<std::int32_t> left, top, height, width;
    std::optional<std::int32_t> measureColumns;
    std::optional<std::int32_t> sortColumn;
    std::optional<bool> sortDescending;
    std::optional<std::int32_t> previewVolume;
    std::optional<std::string> outputDevice;
    std::optional<bool> playOnSelect;
    std::optional<bool> matchLoudness;
    std::optional<bool> showWaveform;
    std::optional<bool> libraryScope; ///< LibraryScope: the filter box searches the whole library
    std::optional<std::int32_t> waveformHeight;
    /// LikeTimbre, LikePitch, LikeEnvelope: how much each counts in More Like This (0 off to 3 more);
    /// LikeScope: what it compares with (0 the library, 1 the folder shown, 2 the search results).
    std::optional<std::int32_t> likeTimbre, likePitch, likeEnvelope, likeScope;

    /// Reads every value; the key is created when missing, so the first start leaves it there empty.
    static SettingsRecord load();
    /// Writes every value that is set, in a fixed order. A store that cannot be written loses this save
    /// and nothing else.
    void save() const;
};
