#pragma once
// The small unit of file routines beside the tree: file paths, window-title names,
// and the folder-naming and rename routines.

#include <string>

/// folder + name, lower-cased (letters A to Z only): C:\A + X.WAV gives c:\a\x.wav.
std::string JoinPath(const std::string& folder, const std::string& name);
/// Upper-case name of a folder for the window title; a drive gives its label and letter: "SYSTEM (C:)".
std::string FolderDisplayName(const std::string& path);
