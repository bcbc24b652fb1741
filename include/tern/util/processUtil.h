// Process, file and plug-in utilities shared by the library and its host programs: the
// running process's identity and diagnostic prefix, flushing files to storage, loading
// shared-object plug-ins, the library version, random numbers and identifiers, and debug
// switches taken from the environment.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <set>
#include <string>
#include <vector>

namespace tern {

// The running process's id.
std::int32_t processId();
// The target of "/proc/self/exe" (at most 1023 bytes); empty when it cannot be read.
std::string programPath();

// A process's identity, written as "name:pid". Diagnostics on standard error start with it
// followed by ": ".
struct processInfo_t {
    std::int32_t pid = 0;
    std::string name; // base name of the program path

    // The running process.
    processInfo_t();
    // Any process; `path` may be a full program path, its base name is kept.
    processInfo_t(std::int32_t id, const std::string& path);
};
std::ostream& operator<<(std::ostream& os, const processInfo_t& info);

// Opens `path` read-write, flushes it to its medium and closes it; true when the flush
// succeeded. A file that cannot be opened gives false silently; a failed flush writes
// "name:pid: fsync(path): reason" on standard error.
bool sync_file(const std::string& path);

// The flush program sync_file_async starts, process-wide. By default "/bin/fsync"; where the
// system has none, the fsync installed beside the library's programs (in a build tree, the one
// built there). An empty path restores the default.
void set_fsync_program(const std::string& path);
std::string fsync_program();

// Starts the flush program on `path` (no shell, standard output to the null device) and
// returns at once; true when it started. When it cannot start, writes
// "name:pid: failed to spawn fsync for path" on standard error. The child is always reaped;
// `done`, when given, is then called with its exit status (0 on success, 128 + signal when
// killed) from a library thread.
bool sync_file_async(const std::string& path, std::function<void(int status)> done = {});

// From the base name, the text from the last '.' on, dot included ("x.tar.gz" gives ".gz");
// empty when the base name has no dot ("/a.b/c").
std::string file_extension(const std::string& path);

// "lib" + name + ".so".
std::string libraryFilename(const std::string& name);
// Opens a shared object with every symbol bound at once. On failure returns null and, when
// `error` is given, stores the loader's reason there (on success `error` is cleared).
void* loadLibrary(const std::string& path, std::string* error = nullptr);
// Looks a symbol up in a library from loadLibrary, with the same error convention. A null
// handle fails (it never searches the whole process).
void* resolveSymbol(void* handle, const std::string& name, std::string* error = nullptr);
// Closes a library from loadLibrary; null is ignored.
void unloadLibrary(void* handle);

// The library version, "10.4.0".
const std::string& version_string();
// Compares two versions component by component: -1, 0 or 1. At the first difference the
// larger component wins; when one is a prefix of the other the shorter is smaller.
int version_cmp(const std::vector<unsigned int>& a, const std::vector<unsigned int>& b);

// Reads a fresh random identifier from the kernel into `text`; true on success.
bool generate_uuid(std::string& text);

// Seeds the C library's random(); random_int() then keeps this sequence.
void random_seed(unsigned int seed);
// random(), seeded from the clock on first use unless random_seed was called.
long random_int();
// A value in (-1, 1] derived from random_int().
double random_double();

// Debug switches from an environment variable: "a,b" with ',' as separator gives {a, b}.
class debugOptions_t {
public:
    // Clears the set, then adds every non-empty piece of the variable's value split at `sep`.
    void init(const char* name, char sep = ',');
    void add(const std::string& option);
    bool has(const std::string& option) const { return options_.count(option) != 0; }
    bool empty() const { return options_.empty(); }
    std::size_t size() const { return options_.size(); }
    const std::set<std::string>& options() const { return options_; }

private:
    std::set<std::string> options_;
};

} // namespace tern
