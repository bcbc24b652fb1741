#include "support/scratch.h"

#include <tern/firmware/qvt_fw_pkg.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// The smallest sound files of each kind.
const std::string hex_ok = ":0100000041BE\n:00000001FF\n";
const std::string slb_ok = std::string("Bin+Chk001002003") + std::string(14, '\0') +
                           std::string("\x01\x00\x00\x10\x00\x00\x02\x00\x00\x00\xAB\xCD", 12);

class QvtPkg : public ::testing::Test {
protected:
    tern_test::temp_dir_t dir;

    void files() {
        dir.write("ENGINE.SLB", slb_ok);
        dir.write("LBMV2,07.hex", hex_ok);
        dir.write("iopv1.15.HEX", hex_ok);
    }
};

TEST_F(QvtPkg, DirectoryOrIndexFileAnyCase) {
    files();
    dir.write("Install.INI", "; comment\r\n"
                             "GPSSoftware = engine.slb\r\n"
                             "lbmsoftware=lbmv2,07.hex\r\n"
                             "IOPSOFTWARE  ==  IOPV1.15.hex\r\n"
                             "other = x\r\n");
    for (const std::string& p : {dir.path(), dir.path() + "//", dir.file("Install.INI")}) {
        qvt_fw_pkg_t pkg;
        ASSERT_TRUE(pkg.scan(p)) << p << ": " << pkg.get_err();
        EXPECT_TRUE(pkg.is_open());
        EXPECT_EQ(pkg.gps_path, dir.file("ENGINE.SLB"));
        EXPECT_EQ(pkg.lbm_path, dir.file("LBMV2,07.hex"));
        EXPECT_EQ(pkg.iop_path, dir.file("iopv1.15.HEX"));
        EXPECT_TRUE(pkg.gps_dec.is_open());
        pkg.close();
        EXPECT_FALSE(pkg.is_open());
        EXPECT_FALSE(pkg.lbm_dec.is_open());
    }
}

struct ini_case_t {
    const char* name;
    const char* ini;
    const char* err;
};

class QvtIni : public QvtPkg, public ::testing::WithParamInterface<ini_case_t> {};

TEST_P(QvtIni, Refused) {
    files();
    dir.write("bad.hex", ":0100000041BF\n:00000001FF\n");
    dir.write("bad.slb", "Bin+Chk001");
    dir.write("bad_image.slb", tern_test::temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) +
                                                           "/firmware/combined_wrong_magic.slb"));
    dir.write("install.ini", GetParam().ini);
    qvt_fw_pkg_t pkg;
    EXPECT_FALSE(pkg.scan(dir.path()));
    EXPECT_EQ(pkg.get_err(), GetParam().err);
    EXPECT_FALSE(pkg.is_open());
}

INSTANTIATE_TEST_SUITE_P(
    Files, QvtIni,
    ::testing::Values(
        ini_case_t{"NoGps", "lbmsoftware=LBMV2,07.hex\niopsoftware=iopv1.15.HEX\n",
                   "no GPS file in INI file"},
        ini_case_t{"NoLbmNorIop", "gpssoftware=ENGINE.SLB\n", "no LBM file in INI file"},
        ini_case_t{"NoIop", "gpssoftware=ENGINE.SLB\nlbmsoftware=LBMV2,07.hex\n",
                   "no IOP file in INI file"},
        ini_case_t{"EmptyName", "gpssoftware=ENGINE.SLB\nlbmsoftware=LBMV2,07.hex\niopsoftware= \n",
                   "no IOP file in INI file"},
        ini_case_t{"MissingFile",
                   "gpssoftware=ENGINE.SLB\nlbmsoftware=LBMV2,07.hex\niopsoftware=gone.hex\n",
                   "no IOP file in INI file"},
        ini_case_t{"TrailingBlankKept",
                   "gpssoftware=ENGINE.SLB \nlbmsoftware=LBMV2,07.hex\niopsoftware=iopv1.15.HEX\n",
                   "no GPS file in INI file"},
        ini_case_t{"BadLbm", "gpssoftware=ENGINE.SLB\nlbmsoftware=bad.hex\n",
                   "failed to init LBM decoder: line 1: checksum did not match"},
        ini_case_t{"BadGps", "gpssoftware=bad.slb\n",
                   "failed to init GPS decoder: failed to read firmware header: unexpected end "
                   "of file"},
        ini_case_t{"BadImageInGps", "gpssoftware=bad_image.slb\n",
                   "failed to init GPS decoder: failed to initialize firmware 1 from header: "
                   "failed to find magic string at start of header"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(QvtPkg, NoIndex) {
    qvt_fw_pkg_t pkg;
    EXPECT_EQ(pkg.get_err(), "not initialized");
    EXPECT_FALSE(pkg.scan(dir.path()));
    EXPECT_EQ(pkg.get_err(), "failed to locate install.ini: failed to find install.ini in dir");
    EXPECT_FALSE(pkg.scan(dir.file("nothing")));
    EXPECT_EQ(pkg.get_err(),
              "failed to locate install.ini: " + dir.file("nothing") + "does not exist");
}

TEST(QvtVersion, FromFileNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"/x/LBMV2,07.hex", "2.7"}, {"lbmv12.3x.hex", "12.3"},
        {"lbmv0012.0.hex", "12.0"}, {"lbmv12-3.hex", nullptr},
        {"lbmvA.3.hex", nullptr},   {"lbmv12.hex", nullptr},
        {"lbmv.3.hex", nullptr},    {"lbm12.3.hex", nullptr},
        {"/lbmv/iop1.2", nullptr},  {"", nullptr}};
    for (const auto& c : cases) {
        std::string v = "unchanged";
        EXPECT_EQ(qvt_fw_version_str("lbmv", c.first, v), c.second != nullptr) << c.first;
        EXPECT_EQ(v, c.second ? c.second : "unchanged") << c.first;
    }
}

} // namespace
