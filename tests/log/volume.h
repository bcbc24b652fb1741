// A temporary directory that an in-process USB daemon reports as the mounted volume /dev/sda1,
// watched by the default USB manager, which forwards volume events to the channel `watched`.
// Files closed while it lives go to a flush program that notes their paths in `flushed`.
#pragma once

#include <tern/log/log_channel.h>
#include <tern/usb/usb_mgr.h>
#include <tern/util/processUtil.h>

#include "support/fake_usbd.h"
#include "support/mainloop.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace tern_log_test {

class volume_test_t : public ::testing::Test, public tern::usb_mgr_client_t {
protected:
    void SetUp() override {
        vol = tmp.path() + "/vol";
        ::mkdir(vol.c_str(), 0777);
        daemon.add(tern_test::usb_volume("/dev/sda1", vol));
        tern::usb_mgr_t::set_default(&mgr);
        mgr.set_check_interval(50);
        mgr.init(this);
        usb_dev_t d;
        ASSERT_TRUE(tern_test::run_until([&] { return mgr.get_by_dev_path("/dev/sda1", d); }));
    }
    void TearDown() override {
        watched = nullptr;
        tern::usb_mgr_t::set_default(nullptr);
    }
    void usb_dev_added(const usb_dev_t& d) override {
        if (watched) watched->usb_dev_new(d);
    }
    void usb_dev_changed(const usb_dev_t& o, const usb_dev_t& n) override {
        if (watched) watched->usb_dev_changed(o, n);
    }
    void usb_dev_removed(const usb_dev_t& d) override {
        if (watched) watched->usb_dev_gone(d);
    }

    tern_test::temp_dir_t tmp;
    const std::string flushed = tmp.file("flushed");
    // Restores the flush program only after the owners declared below have closed their files.
    struct flush_note_t {
        std::string saved = tern::fsync_program();
        explicit flush_note_t(const std::string& note) {
            ::setenv("TERN_FLUSH_NOTE", note.c_str(), 1);
            tern::set_fsync_program(std::string(TERN_TEST_DATA_DIR) + "/../log/flush_note.sh");
        }
        ~flush_note_t() { tern::set_fsync_program(saved); }
    } flush_note{flushed};
    std::string vol;
    tern_test::fake_usbd_t daemon;
    tern::usb_mgr_t mgr;
    tern::log_channel_t* watched = nullptr;
};

} // namespace tern_log_test
