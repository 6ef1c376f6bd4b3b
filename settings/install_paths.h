// What a path written by setup, kept in the registry or typed on setup's command line looks
// like, and how the saver's files are named inside the install folder. Portable, so that the
// rules are tested natively; nothing here touches the file system or the current directory.
#pragma once

#include "engine/folder_path.h"

#include <string>

enum class PathForm {
    Empty,
    DriveAbsolute, // "C:\folder" or "C:/folder"
    Unc,           // "\\server\share\folder"
    Device,        // "\\?\..." or "\\.\...": past the usual rules of names
    DriveRelative, // "C:folder": relative to that drive's current directory
    Rooted,        // "\folder": relative to the current drive
    Relative,      // "folder": relative to the current directory
};

PathForm pathForm(const std::string& path);

// A path that means the same whatever the process's current directory is.
bool isFullFolderPath(const std::string& path);

// The picture folder as a full path. The settings file may hold a folder written by hand
// relative to the install folder, which is where the saver used to stand when it first
// listed it; "" when neither the folder nor `installDir` gives a full path.
std::string fullImagesFolder(const std::string& imagesFolder, const std::string& installDir);
