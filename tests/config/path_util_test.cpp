#include "tern/config/path_util.h"

#include <gtest/gtest.h>

#include "support/scratch.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

struct path_row_t {
    const char* path;
    const char* base;
    const char* dir;
    const char* trimmed;
    const char* ext;
};

TEST(PathText, BaseDirTrimAndExtension) {
    const path_row_t rows[] = {
        {"/a/b/", "b", "/a", "/a/b", ""},
        {"b", "b", ".", "b", ""},
        {"a/b", "b", "a", "a/b", ""},
        {"a//b/", "b", "a", "a//b", ""},
        {"/a", "a", "/", "/a", ""},
        {"//a", "a", "/", "//a", ""},
        {"///", "/", "/", "/", ""},
        {"", "", "/", "", ""},
        {"/a.b/c", "c", "/a.b", "/a.b/c", ""},
        {"x.tar.gz", "x.tar.gz", ".", "x.tar.gz", ".gz"},
        {"/d/.hidden", ".hidden", "/d", "/d/.hidden", ".hidden"},
        {"/d/log.csv//", "log.csv", "/d", "/d/log.csv", ".csv"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(tern::base_name(r.path), r.base) << r.path;
        EXPECT_EQ(tern::dir_name(r.path), r.dir) << r.path;
        EXPECT_EQ(tern::trim_path_sep(r.path), r.trimmed) << r.path;
        EXPECT_EQ(tern::file_extension(r.path), r.ext) << r.path;
    }
    std::list<std::string> parts{"kept"};
    tern::path_split("/a//b/", parts);
    EXPECT_EQ(parts, (std::list<std::string>{"kept", "a", "b"}));
}

TEST(PathText, ExtensionTestsIgnoreCase) {
    EXPECT_TRUE(tern::ends_in_ext("SETTINGS.TRS", ".trs"));
    EXPECT_TRUE(tern::is_settings_filename("a.Trs"));
    EXPECT_FALSE(tern::is_settings_filename("trs"));
    EXPECT_FALSE(tern::is_settings_filename("a.trs.bak"));
    EXPECT_TRUE(tern::is_upload_filename("/m/FW.TRU"));
    EXPECT_TRUE(tern::is_tks_ip_cfg_filename("x.TKSotiCFG"));
    EXPECT_FALSE(tern::ends_in_ext(".tr", ".trs"));
    EXPECT_TRUE(tern::isSatdefsFilename("/usb/tern/SATDEFS_2024.txt"));
    EXPECT_FALSE(tern::isSatdefsFilename("/usb/SATDEFS/satdefs.txt"));
    EXPECT_FALSE(tern::isSatdefsFilename("SATDEF"));
}

TEST(PathText, SystemFilePathFromTheEnvironment) {
    const char* var = "TERN_TEST_DATA_PATH_VAR";
    setenv(var, "/data/", 1);
    EXPECT_EQ(tern::get_system_file_path(var, "almanac"), "/data/almanac");
    setenv(var, "/data", 1);
    EXPECT_EQ(tern::get_system_file_path(var, "almanac"), "/data/almanac");
    EXPECT_EQ(tern::get_system_file_path(var), "/data");
    setenv(var, "", 1);
    EXPECT_EQ(tern::get_system_file_path(var, "almanac"), "/tmp/almanac");
    unsetenv(var);
    EXPECT_EQ(tern::get_system_file_path(var, "almanac"), "/tmp/almanac");
    EXPECT_EQ(tern::get_system_file_path(var), "/tmp");
}

class DirTest : public ::testing::Test {
protected:
    void touch(const std::string& rel) { tmp_.write(rel, "x"); }
    bool is_dir(const std::string& rel) { return std::filesystem::is_directory(tmp_.file(rel)); }
    tern_test::temp_dir_t tmp_;
    const std::string dir_ = tmp_.path();
};

TEST_F(DirTest, UniqueFilenameTakesTheFirstFreeCounter) {
    EXPECT_EQ(tern::unique_filename(dir_, "report", ".htm"), "report.htm");
    touch("report.htm");
    EXPECT_EQ(tern::unique_filename(dir_, "report", ".htm"), "report_1.htm");
    touch("report_1.htm");
    touch("report_3.htm");
    EXPECT_EQ(tern::unique_filename(dir_, "report", ".htm"), "report_2.htm");
    // A dangling link still holds its name.
    ASSERT_EQ(::symlink("/nonexistent", (dir_ + "/link.htm").c_str()), 0);
    EXPECT_EQ(tern::unique_filename(dir_, "link", ".htm"), "link_1.htm");
}

TEST_F(DirTest, VerifyDirCreatesEachMissingLevel) {
    EXPECT_TRUE(tern::verify_dir(dir_, "tern/log_data/com1"));
    EXPECT_TRUE(is_dir("tern/log_data/com1"));
    EXPECT_TRUE(tern::verify_dir(dir_, "tern/log_data/com1")); // already there
    EXPECT_TRUE(tern::verify_dir(dir_ + "/", "//tern//settings/"));
    EXPECT_TRUE(is_dir("tern/settings"));
    EXPECT_FALSE(tern::verify_dir(dir_ + "/absent", "tern"));
    EXPECT_FALSE(is_dir("absent"));
    touch("plain");
    EXPECT_FALSE(tern::verify_dir(dir_, "plain/sub")); // a file in the way
    EXPECT_FALSE(tern::verify_dir(dir_ + "/plain", "sub"));
}

} // namespace
