// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The small unit of file routines beside the tree: file paths, window-title names,
// and the folder-naming and rename routines.

#include <string>

/// The text with the letters A to Z lower-cased; every other byte kept, as paths are stored.
std::string lowerAscii(std::string s);
/// folder + name, lower-cased (letters A to Z only): C:\A + X.WAV gives c:\a\x.wav.
std::string JoinPath(const std::string& folder, const std::string& name);
/// Upper-case name of a folder for the window title; a drive gives its label and letter: "SYSTEM (C:)".
std::string FolderDisplayName(const std::string& path);

/// The first of "New Folder", "New Folder #1", "New Folder #2", ... that names nothing in parent.
std::string NewFolderName(const std::string& parent);
/// True when any entry of that name exists (case ignored, as the file system compares).
bool NameExists(const std::string& path);
/// The folder path with its last name replaced, without trailing separator: C:\A\B\ + X gives C:\A\X.
std::string ReplaceLastName(const std::string& oldPath, const std::string& newName);
/// Moves the folder oldPath to newPath; never replaces anything. True when the folder was moved.
bool RenameFolder(const std::string& oldPath, const std::string& newPath);
