// Reads arbitrary bytes as an Intel hex file: the checking scan, then every data record.
#include "fuzz_file.h"

#include <tern/firmware/ih_decode.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_file_t file(data, size);
    if (!file.ok()) return 0;
    ih_decode_t ih;
    if (!ih.scan(file.path())) return 0;
    uint32_t addr;
    unsigned len;
    unsigned char buf[255];
    uint32_t total = 0;
    while (ih.get_data_rec(addr, len, buf)) {
        if (uint64_t(addr) + len > uint64_t(1) << 32) std::abort(); // data past the top
        total += len;
    }
    if (!ih.is_eof() || total != ih.get_total_len()) std::abort();
    return 0;
}
