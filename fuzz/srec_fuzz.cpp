// Reads arbitrary bytes as an S-record file: every record, then frames through the loader
// with and without the skip flag, then as Cobalt and Harbor component files.
#include "fuzz_file.h"

#include <tern/firmware/cobalt_fw_pkg.h>
#include <tern/firmware/harbor_fw_pkg.h>
#include <tern/firmware/srec_decode.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FILE* f = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!f) return 0;
    srec_decode_t dec;
    dec.init(f, 1);
    srec_t rec;
    std::ostringstream text;
    while (dec.get_rec(rec) > 0) {
        text << rec;
        if (rec.data_len() > rec.len()) std::abort();
    }
    for (bool skip : {true, false}) {
        rewind(f);
        dec.init(f, 1);
        srec_loader_t loader;
        loader.skip(skip);
        unsigned char buf[100];
        while (loader.load(dec, buf, sizeof buf) > 0)
            if (loader.size() > sizeof buf) std::abort();
    }
    fclose(f);

    fuzz_file_t file(data, size);
    if (!file.ok()) return 0;
    std::vector<cobalt_fw_scan_rec_t> c;
    cobalt_fw_scan_file(file.path(), c, 2);
    std::list<harbor_fw_comp_info_t> infos;
    harbor_fw_scan_t scan;
    long r = scan.open(file.path(), infos) ? 1 : -1;
    while (r > 0) r = scan.scan_iter();
    for (const auto& info : infos) {
        harbor_fw_comp_loader_t loader;
        if (!loader.open(file.path(), info.offset, info.first_line)) continue;
        unsigned char buf[64];
        while (loader.load(buf, sizeof buf) > 0) {
        }
    }
    return 0;
}
