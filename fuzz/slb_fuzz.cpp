// Reads arbitrary bytes as an SLB file, single or combined, and sends every image it offers.
#include "fuzz_file.h"

#include <tern/firmware/slb_decode.h>

#include <cstdlib>
#include <memory>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_file_t file(data, size);
    if (!file.ok()) return 0;
    slb_decode_t slb;
    if (!slb.scan(file.path())) return 0;
    std::ostringstream text;
    slb.dump(text);
    for (unsigned i = 0; i < slb.get_num_firmwares(); ++i) {
        // The scan checked every image: each must now be readable.
        std::unique_ptr<slb_fw_t> fw(slb.get_fw(i));
        if (!fw) std::abort();
        unsigned char buf[slb_fw_t::chunk_size];
        slb_fw_t::data_control_t ctl;
        fw->start_flash(0, 0);
        uint64_t sent = 0;
        while (fw->get_data(buf, ctl)) {
            if (ctl.kind > 2 || ctl.length > slb_fw_t::flash_size) std::abort();
            if (ctl.kind == 1) sent += ctl.length;
        }
        if (fw->at_end() && sent != fw->get_total_len()) std::abort();
    }
    return 0;
}
