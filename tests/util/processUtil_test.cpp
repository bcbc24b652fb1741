#include "tern/util/processUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <iterator>
#include <memory>
#include <sstream>

#include "tern/config/path_util.h"

#include "support/cases.h"
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// When `line` is one diagnostic line "fsync:PID: text\n", returns the text; else "<bad>".
std::string fsync_diag_text(const std::string& line) {
    const std::size_t colon = line.find(": "), digits = line.find_first_not_of("0123456789", 6);
    if (line.rfind("fsync:", 0) != 0 || digits == 6 || digits != colon ||
        line.find('\n') != line.size() - 1)
        return "<bad>";
    return line.substr(colon + 2, line.size() - colon - 3);
}

// Runs an asynchronous flush of `path`; returns the status its callback reports, or -100.
int flush_async(const std::string& path) {
    auto status = std::make_shared<std::atomic<int>>(-100);
    if (!tern::sync_file_async(path, [status](int s) { *status = s; })) return -100;
    tern_test::run_until([&] { return *status != -100; }, 20.0);
    return *status;
}

class FileTest : public ::testing::Test {
protected:
    void SetUp() override { tern::set_fsync_program(tern_test::tool_path("fsync")); }
    void TearDown() override { tern::set_fsync_program(""); }
    tern_test::temp_dir_t tmp_;
    const std::string dir_ = tmp_.path();
    const std::string file_ = tmp_.write("data.log", "payload\n");
};

TEST_F(FileTest, DefaultFlushProgramIsTheSystemsOrTheOneBesideTheLibrary) {
    tern::set_fsync_program("");
    if (g_file_test("/bin/fsync", G_FILE_TEST_EXISTS)) {
        EXPECT_EQ(tern::fsync_program(), "/bin/fsync");
        return;
    }
    // No system flush program here: the built one is found without being configured.
    gchar* found = g_canonicalize_filename(tern::fsync_program().c_str(), nullptr);
    gchar* built = g_canonicalize_filename(tern_test::tool_path("fsync").c_str(), nullptr);
    EXPECT_STREQ(found, built);
    g_free(found);
    g_free(built);
    EXPECT_EQ(flush_async(file_), 0);
}

// (A flush that succeeds: the sparse file below.)
TEST_F(FileTest, FlushFailuresSilentInProcessReportedByTheProgram) {
    CaptureStderr();
    EXPECT_FALSE(tern::sync_file(dir_ + "/missing"));
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(flush_async(file_), 0);
    CaptureStderr();
    EXPECT_GT(flush_async(dir_ + "/missing"), 0);
    const std::string err = GetCapturedStderr();
    EXPECT_EQ(fsync_diag_text(err).rfind("cannot open " + dir_ + "/missing: ", 0), 0u) << err;

    // A program that cannot be started: one diagnostic line under this program's name.
    tern::set_fsync_program(dir_ + "/no-such-program");
    CaptureStderr();
    EXPECT_FALSE(tern::sync_file_async(file_));
    std::ostringstream expected;
    expected << tern::processInfo_t() << ": failed to spawn fsync for " << file_ << "\n";
    EXPECT_EQ(GetCapturedStderr(), expected.str());
}

// A log file may pass 2 GiB (and 4 GiB): on a 32-bit build without 64-bit offsets open() and
// stat() fail on it with EOVERFLOW, so the name would look free and the flush would fail.
TEST_F(FileTest, UtilitiesHandleASparseFileBeyondFourGiB) {
    EXPECT_EQ(sizeof(off_t), 8u);
    const std::string big = std::string(dir_) + "/big.log";
    struct remove_t {
        std::string path;
        ~remove_t() { ::unlink(path.c_str()); }
    } remove{big};
    const off_t size = (off_t{5} << 30) + 3;
    const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const bool written = ::ftruncate(fd, size) == 0 && ::pwrite(fd, "end", 3, size - 3) == 3;
    ::close(fd);
    ASSERT_TRUE(written);

    EXPECT_EQ(tern::unique_filename(dir_, "big", ".log"), "big_1.log");
    EXPECT_TRUE(tern::sync_file(big));
    EXPECT_EQ(flush_async(big), 0); // the fsync program of the same build
    struct stat st {};
    ASSERT_EQ(::stat(big.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size);
    EXPECT_TRUE(tern::delete_file(big));
    EXPECT_EQ(tern::unique_filename(dir_, "big", ".log"), "big.log");
}

TEST(FsyncProgram, CommandLine) {
    const std::string prog = tern_test::tool_path("fsync");
    const auto help = tern_test::run_program({prog, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: fsync FILE\n", 0), 0u);
    for (const auto& argv : {std::vector<std::string>{prog}, {prog, "a", "b"}, {prog, "-x"}}) {
        const auto r = tern_test::run_program(argv);
        EXPECT_EQ(r.status, 2); // bad usage
        EXPECT_NE(fsync_diag_text(r.err), "<bad>") << r.err;
        EXPECT_NE(fsync_diag_text(r.err), "") << r.err;
    }
}

TEST(ProcessInfo, PrefixIsBaseNameColonPid) {
    std::ostringstream s;
    s << tern::processInfo_t(1234, "/usr/local/bin/tern-ui") << "|"
      << tern::processInfo_t(7, "plain");
    EXPECT_EQ(s.str(), "tern-ui:1234|plain:7");

    const tern::processInfo_t self;
    EXPECT_EQ(self.name, "tern_util_tests");
    EXPECT_EQ(self.pid, static_cast<std::int32_t>(::getpid()));
}

TEST(Plugin, LoadResolveAndFailWithTheLoadersReason) {
    std::string error = "stale";
    void* h = tern::loadLibrary(TERN_TEST_PLUGIN, &error);
    ASSERT_NE(h, nullptr) << error;
    EXPECT_EQ(error, "");

    auto* fn =
        reinterpret_cast<int (*)(int)>(tern::resolveSymbol(h, "tern_test_plugin_answer", &error));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(2), 42);
    // The loader's reason names what failed.
    EXPECT_EQ(tern::resolveSymbol(h, "no_such_symbol", &error), nullptr);
    EXPECT_NE(error.find("no_such_symbol"), std::string::npos) << error;
    tern::unloadLibrary(h);
    EXPECT_EQ(tern::loadLibrary("/nonexistent/libx.so", &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/libx.so"), std::string::npos) << error;
    // A null handle must not turn into a search of the whole process.
    EXPECT_EQ(tern::resolveSymbol(nullptr, "malloc", &error), nullptr);
    EXPECT_EQ(error, "no library handle");
    EXPECT_EQ(tern::libraryFilename("tern"), "libtern.so");
}

std::vector<unsigned int> numbers(const std::string& text) {
    std::istringstream in(text);
    return std::vector<unsigned int>(std::istream_iterator<unsigned int>(in), {});
}

class VersionCmp : public testing::TestWithParam<tern_test::case_t> {};
TEST_P(VersionCmp, Sign) {
    const auto& c = GetParam().cols;
    EXPECT_EQ(tern::version_cmp(numbers(c.at(0)), numbers(c.at(1))), std::stoi(c.at(2)));
    EXPECT_EQ(tern::version_string(), "10.4.0");
}
INSTANTIATE_TEST_SUITE_P(File, VersionCmp,
                         testing::ValuesIn(tern_test::read_cases("util/version_cmp.txt")),
                         tern_test::case_name);

class DebugOptions : public testing::TestWithParam<tern_test::case_t> {};
TEST_P(DebugOptions, Split) {
    const auto& c = GetParam().cols;
    if (c.at(0) == "unset")
        unsetenv("TERN_TEST_DEBUG");
    else
        setenv("TERN_TEST_DEBUG", c[0].c_str(), 1);
    tern::debugOptions_t opts;
    opts.add("stale");
    opts.init("TERN_TEST_DEBUG", c.at(1).at(0));
    std::string got;
    for (const std::string& o : opts.options()) got += (got.empty() ? "" : " ") + o;
    EXPECT_EQ(got, c.at(2));
}
INSTANTIATE_TEST_SUITE_P(File, DebugOptions,
                         testing::ValuesIn(tern_test::read_cases("util/debug_options.txt")),
                         tern_test::case_name);

TEST(Random, SeedRepeatsTheSequenceAndUuidsLookRight) {
    tern::random_seed(7);
    const long a = tern::random_int(), b = tern::random_int();
    tern::random_seed(7);
    EXPECT_TRUE(tern::random_int() == a && tern::random_int() == b);
    for (int i = 0; i < 1000; ++i) {
        const double d = tern::random_double();
        ASSERT_TRUE(d > -1.0 && d <= 1.0) << d;
    }
    std::string u1, u2;
    ASSERT_TRUE(tern::generate_uuid(u1) && tern::generate_uuid(u2));
    EXPECT_TRUE(u1.size() == 36 && u1.find_first_not_of("0123456789abcdef-") == std::string::npos)
        << u1;
    EXPECT_NE(u1, u2);
}

} // namespace
