#include "tern/util/processUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "support/process.h"

namespace {

// Sends this process's standard error to a file until stop(), then returns what was written.
class stderr_capture_t {
public:
    stderr_capture_t() {
        std::fflush(stderr);
        char name[] = "/tmp/tern_stderr_XXXXXX";
        fd_ = ::mkstemp(name);
        path_ = name;
        saved_ = ::dup(2);
        ::dup2(fd_, 2);
    }
    ~stderr_capture_t() { stop(); }
    std::string stop() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, 2);
            ::close(saved_);
            ::close(fd_);
            saved_ = -1;
            std::ifstream in(path_);
            std::stringstream s;
            s << in.rdbuf();
            text_ = s.str();
            ::unlink(path_.c_str());
        }
        return text_;
    }

private:
    int fd_ = -1, saved_ = -1;
    std::string path_, text_;
};

// Waits for the status an asynchronous flush reports, with a deadline.
struct done_t {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    int status = -100;

    std::function<void(int)> callback() {
        return [this](int s) {
            std::lock_guard<std::mutex> lock(m);
            status = s;
            done = true;
            cv.notify_all();
        };
    }
    bool wait() {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::seconds(20), [this] { return done; });
    }
};

// When `line` is one diagnostic line "fsync:PID: text\n", returns the text; else "<bad>".
std::string fsync_diag_text(const std::string& line) {
    const std::string head = "fsync:";
    if (line.compare(0, head.size(), head) != 0 || line.empty() || line.back() != '\n' ||
        line.find('\n') != line.size() - 1)
        return "<bad>";
    std::size_t i = head.size();
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
    if (i == head.size() || line.compare(i, 2, ": ") != 0) return "<bad>";
    return line.substr(i + 2, line.size() - i - 3);
}

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = g_dir_make_tmp("tern_proc_XXXXXX", nullptr);
        ASSERT_NE(dir_, nullptr);
        file_ = std::string(dir_) + "/data.log";
        std::ofstream(file_) << "payload\n";
        tern::set_fsync_program(tern_test::tool_path("fsync"));
    }
    void TearDown() override {
        ::unlink(file_.c_str());
        ::rmdir(dir_);
        g_free(dir_);
        tern::set_fsync_program("/bin/fsync");
    }
    gchar* dir_ = nullptr;
    std::string file_;
};

TEST_F(FileTest, SyncFileFlushesOrFailsSilentlyWhenUnopenable) {
    EXPECT_TRUE(tern::sync_file(file_));
    stderr_capture_t cap;
    EXPECT_FALSE(tern::sync_file(std::string(dir_) + "/missing"));
    EXPECT_EQ(cap.stop(), "");
}

TEST_F(FileTest, AsyncFlushRunsTheProgramToSuccess) {
    done_t d;
    ASSERT_TRUE(tern::sync_file_async(file_, d.callback()));
    ASSERT_TRUE(d.wait());
    EXPECT_EQ(d.status, 0);
}

TEST_F(FileTest, AsyncFlushOfAMissingFileReportsTheProgramsDiagnostic) {
    done_t d;
    stderr_capture_t cap;
    ASSERT_TRUE(tern::sync_file_async(std::string(dir_) + "/missing", d.callback()));
    ASSERT_TRUE(d.wait());
    const std::string err = cap.stop();
    EXPECT_NE(d.status, 0);
    const std::string text = fsync_diag_text(err);
    EXPECT_EQ(text.rfind("cannot open " + std::string(dir_) + "/missing: ", 0), 0u) << err;
}

TEST_F(FileTest, MissingProgramGivesOneDiagnosticLine) {
    tern::set_fsync_program(std::string(dir_) + "/no-such-program");
    stderr_capture_t cap;
    EXPECT_FALSE(tern::sync_file_async(file_));
    const std::string err = cap.stop();
    std::ostringstream expected;
    expected << tern::processInfo_t() << ": failed to spawn fsync for " << file_ << "\n";
    EXPECT_EQ(err, expected.str());
}

TEST(FsyncProgram, CommandLine) {
    const std::string prog = tern_test::tool_path("fsync");
    const auto help = tern_test::run_program({prog, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: fsync FILE\n", 0), 0u);
    for (const auto& argv : {std::vector<std::string>{prog}, {prog, "a", "b"}, {prog, "-x"}}) {
        const auto r = tern_test::run_program(argv);
        EXPECT_NE(r.status, 0);
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
    EXPECT_EQ(tern::programPath().substr(0, 1), "/");
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

TEST(Version, StringAndComparison) {
    EXPECT_EQ(tern::version_string(), "10.4.0");
    struct row_t {
        std::vector<unsigned int> a, b;
        int expected;
    };
    const row_t rows[] = {
        {{1, 2}, {1, 2, 0}, -1}, {{1, 2, 0}, {1, 2}, 1},      {{1, 10}, {1, 9}, 1},
        {{1, 9}, {1, 10}, -1},   {{10, 4, 0}, {10, 4, 0}, 0}, {{}, {}, 0},
        {{}, {0}, -1},           {{2}, {1, 99}, 1},
    };
    for (const auto& r : rows) EXPECT_EQ(tern::version_cmp(r.a, r.b), r.expected);
}

TEST(DebugOptions, SplitsAtTheSeparatorDroppingEmptyPieces) {
    struct row_t {
        const char* value;
        char sep;
        std::set<std::string> expected;
    };
    const row_t rows[] = {
        {",a,,b,", ',', {"a", "b"}}, {"conn:usb:conn", ':', {"conn", "usb"}},
        {"a,b", ':', {"a,b"}},       {"", ',', {}},
        {nullptr, ',', {}}, // unset
    };
    for (const auto& r : rows) {
        if (r.value)
            setenv("TERN_TEST_DEBUG", r.value, 1);
        else
            unsetenv("TERN_TEST_DEBUG");
        tern::debugOptions_t opts;
        opts.add("stale");
        opts.init("TERN_TEST_DEBUG", r.sep);
        EXPECT_EQ(opts.options(), r.expected) << (r.value ? r.value : "unset");
    }
}

TEST(Random, SeedRepeatsTheSequenceAndUuidsLookRight) {
    tern::random_seed(7);
    const long a = tern::random_int(), b = tern::random_int();
    tern::random_seed(7);
    EXPECT_EQ(tern::random_int(), a);
    EXPECT_EQ(tern::random_int(), b);
    for (int i = 0; i < 1000; ++i) {
        const double d = tern::random_double();
        ASSERT_GT(d, -1.0);
        ASSERT_LE(d, 1.0);
    }

    std::string u1, u2;
    ASSERT_TRUE(tern::generate_uuid(u1));
    ASSERT_TRUE(tern::generate_uuid(u2));
    EXPECT_EQ(u1.size(), 36u);
    EXPECT_EQ(u1.find_first_not_of("0123456789abcdef-"), std::string::npos) << u1;
    EXPECT_NE(u1, u2);
}

} // namespace
