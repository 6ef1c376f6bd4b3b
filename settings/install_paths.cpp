#include "settings/install_paths.h"

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "C:\" or "\\server\share\" of a full path; "" for any other form.
std::string rootOf(const std::string& path) {
    switch (pathForm(path)) {
    case PathForm::DriveAbsolute:
        return path.substr(0, 2) + "\\";
    case PathForm::Unc: {
        std::size_t server = path.find_first_of("\\/", 2);
        std::size_t share =
            server == std::string::npos ? server : path.find_first_of("\\/", server + 1);
        return share == std::string::npos ? path + "\\" : path.substr(0, share + 1);
    }
    default:
        return std::string();
    }
}

} // namespace

PathForm pathForm(const std::string& path) {
    if (path.empty())
        return PathForm::Empty;
    if (path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':')
        return path.size() >= 3 && isSeparator(path[2]) ? PathForm::DriveAbsolute
                                                        : PathForm::DriveRelative;
    if (!isSeparator(path[0]))
        return PathForm::Relative;
    if (path.size() < 2 || !isSeparator(path[1]))
        return PathForm::Rooted;
    if (path.size() >= 3 && (path[2] == '?' || path[2] == '.') &&
        (path.size() == 3 || isSeparator(path[3])))
        return PathForm::Device;
    // A server name must follow the two separators.
    return path.size() >= 3 && !isSeparator(path[2]) ? PathForm::Unc : PathForm::Rooted;
}

bool isFullFolderPath(const std::string& path) {
    PathForm form = pathForm(path);
    return form == PathForm::DriveAbsolute || form == PathForm::Unc;
}

std::string fullImagesFolder(const std::string& imagesFolder, const std::string& installDir) {
    if (isFullFolderPath(imagesFolder))
        return imagesFolder;
    if (!isFullFolderPath(installDir))
        return std::string();
    switch (pathForm(imagesFolder)) {
    case PathForm::Empty:
        return installDir;
    case PathForm::Relative:
        return pathInFolder(installDir, imagesFolder);
    case PathForm::Rooted:
        return rootOf(installDir) + imagesFolder.substr(1);
    case PathForm::DriveRelative:
        // That drive's current directory is nothing the saver controls: its root stands in.
        return imagesFolder.substr(0, 2) + "\\" + imagesFolder.substr(2);
    default: // device paths are not followed
        return std::string();
    }
}
