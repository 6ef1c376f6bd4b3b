// Joining a folder and a name, for the folder walk and for the install folder's files.
#pragma once

#include <string>

// `name` inside `folder`, with exactly one backslash between them.
inline std::string pathInFolder(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/')
        path += '\\';
    return path + name;
}
