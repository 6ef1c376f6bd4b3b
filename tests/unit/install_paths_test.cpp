#include "settings/install_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(InstallPaths, TellsFullPathsFromThoseThatDependOnTheCurrentDirectory) {
    struct Case {
        const char* path;
        PathForm form;
    } cases[] = {
        {"", PathForm::Empty},
        {"C:\\Vellutor", PathForm::DriveAbsolute},
        {"c:/vellutor", PathForm::DriveAbsolute},
        {"Z:\\", PathForm::DriveAbsolute},
        {"\\\\server\\share\\v", PathForm::Unc},
        {"//server/share", PathForm::Unc},
        {"\\\\?\\C:\\Vellutor", PathForm::Device},
        {"\\\\.\\C:\\Vellutor", PathForm::Device},
        {"\\\\?", PathForm::Device},
        {"C:Vellutor", PathForm::DriveRelative},
        {"C:", PathForm::DriveRelative},
        {"\\Vellutor", PathForm::Rooted},
        {"\\\\", PathForm::Rooted},
        {"Vellutor", PathForm::Relative},
        {"..\\Vellutor", PathForm::Relative},
        {"1:\\x", PathForm::Relative},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pathForm(c.path), c.form) << c.path;
    EXPECT_TRUE(isFullFolderPath("C:\\x"));
    EXPECT_TRUE(isFullFolderPath("\\\\server\\share"));
    for (const char* path : {"", "x", "C:x", "\\x", "\\\\?\\C:\\x", "\\\\.\\pipe\\x"})
        EXPECT_FALSE(isFullFolderPath(path)) << path;
}

TEST(InstallPaths, JoinsWithOneBackslash) {
    EXPECT_EQ(pathInFolder("C:\\Vellutor", "vellutor.set"), "C:\\Vellutor\\vellutor.set");
    EXPECT_EQ(pathInFolder("C:\\Vellutor\\", "vellutor.set"), "C:\\Vellutor\\vellutor.set");
    EXPECT_EQ(pathInFolder("C:/Vellutor/", "a.bmp"), "C:/Vellutor/a.bmp");
    EXPECT_EQ(pathInFolder("C:\\", "a.bmp"), "C:\\a.bmp");
}

TEST(InstallPaths, PictureFolderBecomesAFullPathWithoutTheCurrentDirectory) {
    const std::string install = "D:\\Programs\\Vellutor";
    // What the dialog writes stays as it is.
    EXPECT_EQ(fullImagesFolder("D:\\Programs\\Vellutor\\images\\", install),
              "D:\\Programs\\Vellutor\\images\\");
    EXPECT_EQ(fullImagesFolder("E:\\My Pictures", install), "E:\\My Pictures");
    EXPECT_EQ(fullImagesFolder("\\\\nas\\photos\\2026", install), "\\\\nas\\photos\\2026");
    EXPECT_EQ(fullImagesFolder("E:\\My Pictures", ""), "E:\\My Pictures");
    // Hand-made forms are taken from the install folder, where the saver first listed them.
    EXPECT_EQ(fullImagesFolder("", install), install);
    EXPECT_EQ(fullImagesFolder("pics", install), "D:\\Programs\\Vellutor\\pics");
    EXPECT_EQ(fullImagesFolder("..\\pics", install), "D:\\Programs\\Vellutor\\..\\pics");
    EXPECT_EQ(fullImagesFolder("\\pics", install), "D:\\pics");
    EXPECT_EQ(fullImagesFolder("\\pics", "\\\\nas\\share\\v"), "\\\\nas\\share\\pics");
    EXPECT_EQ(fullImagesFolder("E:pics", install), "E:\\pics");
    // Nothing to stand on: no folder at all rather than the current directory.
    EXPECT_EQ(fullImagesFolder("pics", ""), "");
    EXPECT_EQ(fullImagesFolder("pics", "Vellutor"), "");
    EXPECT_EQ(fullImagesFolder("\\\\?\\C:\\pics", install), "");
}

} // namespace
