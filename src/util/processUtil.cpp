#include "tern/util/processUtil.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <glib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

#include "tern/config/path_util.h"

namespace tern {

namespace {

constexpr unsigned int version_major = 10;
constexpr unsigned int version_minor = 4;
constexpr unsigned int version_build = 0;

#ifndef TERN_LIB_TO_BIN
#define TERN_LIB_TO_BIN "../bin"
#endif
#ifndef TERN_LIB_TO_TOOLS
#define TERN_LIB_TO_TOOLS "tools"
#endif

const char system_fsync[] = "/bin/fsync";

std::mutex fsync_mutex;
// Empty: the default, looked up on each use.
std::string& fsync_path() {
    static std::string path;
    return path;
}

// Directory of the shared object (or program) that holds this code.
std::string library_dir() {
    static const char anchor = 0;
    Dl_info info{};
    if (!::dladdr(&anchor, &info) || !info.dli_fname) return std::string();
    const std::string file = info.dli_fname;
    const std::string::size_type slash = file.rfind('/');
    return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
}

// "/bin/fsync" where the system has it; otherwise the fsync installed beside the library's
// programs, or in a build tree the one built beside the library.
std::string default_fsync_program() {
    if (g_file_test(system_fsync, G_FILE_TEST_IS_EXECUTABLE)) return system_fsync;
    const std::string dir = library_dir();
    if (!dir.empty()) {
        for (const char* rel : {TERN_LIB_TO_BIN, TERN_LIB_TO_TOOLS}) {
            const std::string candidate = dir + "/" + rel + "/fsync";
            if (g_file_test(candidate.c_str(), G_FILE_TEST_IS_REGULAR) &&
                g_file_test(candidate.c_str(), G_FILE_TEST_IS_EXECUTABLE))
                return candidate;
        }
    }
    return system_fsync;
}

std::atomic<bool> random_seeded{false};

std::string prefix() {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << processInfo_t();
    return s.str();
}

int exit_code(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Waits for the flush child so it never lingers as a zombie, then reports its status.
void reap(GPid pid, const std::function<void(int)>& done) {
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    g_spawn_close_pid(pid);
    if (done) done(r < 0 ? -1 : exit_code(status));
}

} // namespace

std::int32_t processId() {
    return static_cast<std::int32_t>(::getpid());
}

std::string programPath() {
    char buf[1024];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    return std::string(buf, static_cast<std::size_t>(n));
}

processInfo_t::processInfo_t() : processInfo_t(processId(), programPath()) {
    if (name.empty() && g_get_prgname()) name = g_get_prgname();
}

processInfo_t::processInfo_t(std::int32_t id, const std::string& path) : pid(id) {
    const std::string::size_type pos = path.rfind('/');
    name = pos == std::string::npos ? path : path.substr(pos + 1);
}

std::ostream& operator<<(std::ostream& os, const processInfo_t& info) {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << info.name << ':' << info.pid;
    return os << s.str();
}

bool sync_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    if (!ok) {
        const int err = errno;
        std::fprintf(stderr, "%s: fsync(%s): %s\n", prefix().c_str(), path.c_str(),
                     g_strerror(err));
    }
    ::close(fd);
    return ok;
}

void set_fsync_program(const std::string& path) {
    std::lock_guard<std::mutex> lock(fsync_mutex);
    fsync_path() = path;
}

std::string fsync_program() {
    {
        std::lock_guard<std::mutex> lock(fsync_mutex);
        if (!fsync_path().empty()) return fsync_path();
    }
    return default_fsync_program();
}

bool sync_file_async(const std::string& path, std::function<void(int status)> done) {
    const std::string program = fsync_program();
    // A name starting with '-' would read as an option: the same file as "./-name" is not.
    const std::string arg = (!path.empty() && path[0] == '-') ? "./" + path : path;
    gchar* argv[] = {const_cast<gchar*>(program.c_str()), const_cast<gchar*>(arg.c_str()), nullptr};
    GPid pid = 0;
    GError* error = nullptr;
    const gboolean started = g_spawn_async(
        nullptr, argv, nullptr,
        static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
        nullptr, &pid, &error);
    if (!started) {
        if (error) g_error_free(error);
        std::fprintf(stderr, "%s: failed to spawn fsync for %s\n", prefix().c_str(), path.c_str());
        return false;
    }
    try {
        std::thread([pid, done] { reap(pid, done); }).detach();
    } catch (...) {
        // No thread to spare: the flush is short, wait for it here.
        reap(pid, done);
    }
    return true;
}

std::string file_extension(const std::string& path) {
    const std::string base = base_name(path);
    const std::string::size_type dot = base.rfind('.');
    return dot == std::string::npos ? std::string() : base.substr(dot);
}

std::string libraryFilename(const std::string& name) {
    return "lib" + name + ".so";
}

void* loadLibrary(const std::string& path, std::string* error) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW);
    if (error) {
        const char* text = handle ? nullptr : ::dlerror();
        *error = text ? text : "";
    }
    return handle;
}

void* resolveSymbol(void* handle, const std::string& name, std::string* error) {
    if (!handle) {
        if (error) *error = "no library handle";
        return nullptr;
    }
    ::dlerror();
    void* sym = ::dlsym(handle, name.c_str());
    const char* text = ::dlerror();
    if (error) *error = text ? text : "";
    return text ? nullptr : sym;
}

void unloadLibrary(void* handle) {
    if (handle) ::dlclose(handle);
}

const std::string& version_string() {
    static const std::string version = [] {
        std::ostringstream s;
        s.imbue(std::locale::classic());
        s << version_major << '.' << version_minor << '.' << version_build;
        return s.str();
    }();
    return version;
}

int version_cmp(const std::vector<unsigned int>& a, const std::vector<unsigned int>& b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool generate_uuid(std::string& text) {
    std::ifstream in("/proc/sys/kernel/random/uuid");
    std::string word;
    if (!(in >> word) || word.empty()) return false;
    text = word;
    return true;
}

void random_seed(unsigned int seed) {
    ::srandom(seed);
    random_seeded.store(true);
}

long random_int() {
    if (!random_seeded.exchange(true)) ::srandom(static_cast<unsigned int>(g_get_real_time()));
    return ::random();
}

double random_double() {
    return (1073741823.5 - static_cast<double>(random_int())) / 1073741823.5;
}

void debugOptions_t::init(const char* name, char sep) {
    options_.clear();
    const char* value = name ? std::getenv(name) : nullptr;
    if (!value) return;
    const std::string text(value);
    std::string::size_type pos = 0;
    while (pos <= text.size()) {
        std::string::size_type end = text.find(sep, pos);
        if (end == std::string::npos) end = text.size();
        if (end > pos) add(text.substr(pos, end - pos));
        pos = end + 1;
    }
}

void debugOptions_t::add(const std::string& option) {
    options_.insert(option);
}

} // namespace tern
