// Replays every file of the given directories through a fuzz target's checks, without
// libFuzzer: the tests run each target over its seeds and over every input that once crashed
// it (kept among the seeds as crash-*), so those stay fixed. Exit status 1 when a directory
// cannot be read or holds no file; a failed check aborts.
#include <glib.h>

#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        GError* error = nullptr;
        GDir* dir = g_dir_open(argv[i], 0, &error);
        if (!dir) {
            std::fprintf(stderr, "%s: %s\n", argv[0], error->message);
            g_error_free(error);
            status = 1;
            continue;
        }
        unsigned files = 0;
        while (const char* name = g_dir_read_name(dir)) {
            const std::string path = std::string(argv[i]) + "/" + name;
            gchar* bytes = nullptr;
            gsize size = 0;
            if (!g_file_get_contents(path.c_str(), &bytes, &size, nullptr)) continue;
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes), size);
            g_free(bytes);
            ++files;
        }
        g_dir_close(dir);
        std::printf("%s: %u inputs replayed\n", argv[i], files);
        if (files == 0) status = 1;
    }
    return status;
}
