// The data logger device: commands and reports, alarms, settings keys and the CSV timer.
#include <tern/data/port_mgr.h>
#include <tern/log/csv_builder.h>
#include <tern/log/data_logger.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/util/processUtil.h>
#include <tern/util/time_util.h>

#include "support/mainloop.h"
#include "support/scratch.h"
#include "volume.h"

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include <sstream>

using namespace tern;
using tern_test::run_until;
using tern_test::temp_dir_t;

namespace {

constexpr double nov15 = 1700006400.0;

class test_logger_t : public data_logger_t {
public:
    test_logger_t() : data_logger_t(nullptr) { port_id = 9; }
    const deviceInfo_t* device_info() const override { return nullptr; }
    void handle_port_data(const unsigned char*, std::size_t, std::list<msg_t*>&) override {}
    void poll(double, std::list<msg_t*>&) override {}
    void on_new_log_files(bool diag, std::list<msg_t*>&) override {
        events.push_back(diag ? "new files, diag" : "new files");
    }
    void on_diag_mode_off(std::list<msg_t*>&) override { events.push_back("diag off"); }
    std::vector<std::string> events;
};

// A list of messages the test owns, with their text forms.
struct msgs_t {
    std::list<msg_t*> l;
    ~msgs_t() { clear(); }
    void clear() {
        for (msg_t* m : l) delete m;
        l.clear();
    }
    std::string text() const {
        std::ostringstream os;
        for (const msg_t* m : l) {
            os << m->category << '/' << m->type << '@' << m->port;
            if (auto* f = dynamic_cast<const fb_log_cfg_t*>(m))
                os << " ch" << unsigned(f->channel) << " en" << f->cfg.log_enabled;
            if (auto* c = dynamic_cast<const fb_csv_output_cfg_t*>(m)) os << " mask" << c->cfg.mask;
            os << ';';
        }
        return os.str();
    }
};

class DataLogger : public tern_log_test::volume_test_t {
protected:
    void SetUp() override {
        volume_test_t::SetUp();
        logger.add_log_channel(log_channel_raw, ".raw", log_channel_t::flag_notify);
        logger.add_log_channel(log_channel_csv, ".csv", 0);
        set_tstamp_data_diff(nov15 + 10 - gettstamp_sys());
    }
    void set(log_channel_type_t channel, const std::string& rel, bool on = true) {
        cmd_log_cfg_t cmd;
        cmd.action = cmd_log_cfg_t::action_set;
        cmd.channel = channel;
        cmd.cfg.log_enabled = on;
        cmd.cfg.log_path = rel.empty() ? "" : vol + "/" + rel;
        logger.handle_logging_cfg(cmd, out.l);
    }

    test_logger_t logger;
    msgs_t out;
};

} // namespace

TEST_F(DataLogger, SetAndQueryReportInTypeOrder) {
    set(log_channel_csv, "c");
    EXPECT_EQ(out.text(), "2/15@9 ch1 en1;");
    out.clear();
    set(log_channel_sensor, "s"); // never added: nothing
    EXPECT_EQ(out.text(), "");
    cmd_log_cfg_t q;
    logger.handle_logging_cfg(q, out.l);
    EXPECT_EQ(out.text(), "2/15@9 ch0 en0;2/15@9 ch1 en1;2/16@9 mask4294967295;");
    out.clear();
    cmd_csv_output_cfg_t sel;
    sel.cfg.mask = 1;
    logger.handle_csv_output_cfg(sel, out.l);
    EXPECT_EQ(out.text(), "2/16@9 mask1;");
    EXPECT_EQ(logger.log_channel(log_channel_csv)->file_header(),
              "H Unix Seconds,UTC Time,Latitude\r\n");
}

TEST_F(DataLogger, AlarmsFollowTheChannelsAndVolumes) {
    set(log_channel_csv, "../../x");
    EXPECT_TRUE(logger.general_alarm(6));
    EXPECT_FALSE(logger.general_alarm(5));
    set(log_channel_raw, "r");
    EXPECT_FALSE(logger.general_alarm(5));
    usb_dev_t gone;
    ASSERT_TRUE(mgr.get_by_dev_path("/dev/sda1", gone));
    daemon.remove("/dev/sda1");
    ASSERT_TRUE(run_until([&] { return !mgr.get_by_dev_path("/dev/sda1", gone); }));
    logger.usb_dev_gone(gone);
    EXPECT_TRUE(logger.general_alarm(5));
    // The refused channel lay on that volume too: started afresh, it is off without an error.
    EXPECT_FALSE(logger.general_alarm(6));
    EXPECT_EQ(out.text(), "2/15@9 ch1 en0;2/15@9 ch0 en1;");
    logger.settings_reset();
    EXPECT_FALSE(logger.general_alarm(5));
    EXPECT_FALSE(logger.general_alarm(6));
}

TEST_F(DataLogger, NewFilesAndDiagModeOffReachTheOwner) {
    cmd_log_cfg_t cmd;
    cmd.action = cmd_log_cfg_t::action_set;
    cmd.cfg.log_enabled = true;
    cmd.cfg.log_diag_mode = true;
    cmd.cfg.log_path = vol + "/r";
    logger.handle_logging_cfg(cmd, out.l);
    logger.log_data(log_channel_raw, "ab", 2, out.l);
    logger.log_data(log_channel_raw, "cd", 2, out.l);
    logger.log_data(log_channel_sensor, "ef", 2, out.l); // no such channel
    cmd.cfg.log_enabled = false;
    logger.handle_logging_cfg(cmd, out.l);
    EXPECT_EQ(logger.events, (std::vector<std::string>{"new files, diag", "diag off"}));
    EXPECT_EQ(temp_dir_t::read(vol + "/r/20231115_000000+0000.raw"), "abcd");
}

TEST_F(DataLogger, SettingsKeysAndLoadDefaults) {
    set(log_channel_raw, "r");
    KeelConfig store;
    EXPECT_TRUE(logger.settings_save_general(store, "lg_"));
    ASSERT_EQ(store.size(), 10u + 28u);
    std::ostringstream keys;
    for (std::size_t i = 0; i < 11; ++i)
        keys << store.entries()[i].key << '=' << store.entries()[i].value << '\n';
    EXPECT_EQ(keys.str(), "lg_log_enabled=1\nlg_log_switch_file=daily\nlg_log_path=" + vol +
                              "/r\nlg_log_diag_mode=0\nlg_log_auto_delete_age=0\n"
                              "lg_csv_log_enabled=0\nlg_csv_log_switch_file=daily\n"
                              "lg_csv_log_path=\nlg_csv_log_diag_mode=0\n"
                              "lg_csv_log_auto_delete_age=0\nlg_csv_output_enable_latitude=1\n");

    KeelConfig partial;
    partial.setValue("lg_csv_log_enabled", "1");
    partial.setValue("lg_csv_log_path", vol + "/c");
    partial.setValue("lg_csv_log_switch_file", "hourly");
    partial.setValue("lg_csv_output_enable_heave", "1");
    EXPECT_TRUE(logger.settings_load_general(partial, "lg_"));
    EXPECT_FALSE(logger.log_channel(log_channel_raw)->log_cfg().log_enabled);
    const log_cfg_t& c = logger.log_channel(log_channel_csv)->log_cfg();
    EXPECT_TRUE(c.log_enabled);
    EXPECT_EQ(c.switch_file, log_cfg_t::switch_hourly);
    // Loading starts from the default selection: only the 28 column bits follow the keys.
    EXPECT_EQ(logger.csv_builder()->output_cfg().mask, 0xF0000000u | 1u << 27);
    EXPECT_TRUE(logger.settings_load_general(store, "lg_"));
    EXPECT_EQ(logger.csv_builder()->output_cfg(), csv_output_cfg_t());
}

TEST_F(DataLogger, CsvLinesComeFromTheTimerOnlyForAFreshEpoch) {
    set(log_channel_csv, "c");
    csv_builder_t* b = logger.csv_builder();
    ASSERT_NE(b, nullptr);
    logger.set_csv_interval(20);
    logger.start_csv_log(); // nothing fresh yet: no line, no file
    EXPECT_TRUE(logger.is_csv_log_active());
    const std::string file = vol + "/c/20231115_000000+0000.csv";
    b->set_msg_tstamp(nov15 + 10);
    b->set_heave(0.5, nov15 + 10);
    b->set_roll(0.1, nov15 + 8); // too old for this epoch
    ASSERT_TRUE(run_until([&] { return !b->msg_tstamp_valid(); }));
    const std::string line =
        "1700006410.000,11/15/2023 00:00:10," + std::string(27, ',') + "0.50,\r\n";
    EXPECT_EQ(temp_dir_t::read(file), b->file_header() + line);
    run_until([] { return false; }, 0.1); // several ticks, no new epoch
    EXPECT_EQ(temp_dir_t::read(file), b->file_header() + line);
    // A line comes a tick after its second, and goes into the file of its second's day.
    b->set_msg_tstamp(nov15 - 1);
    ASSERT_TRUE(run_until([&] { return !b->msg_tstamp_valid(); }));
    EXPECT_EQ(temp_dir_t::read(vol + "/c/20231114_000000+0000.csv"),
              b->file_header() + "1700006399.000,11/14/2023 23:59:59," + std::string(27, ',') +
                  "0.50,\r\n");
    logger.stop_csv_log();
    EXPECT_FALSE(logger.is_csv_log_active());
}

TEST(DataLoggerPath, UnderTheLogDataDirectory) {
    struct ports_t : port_mgr_t {
        bool has_port(int) const override { return true; }
        const std::string* find_port_name(int) const override { return &name; }
        std::string name = "COM 2";
    } ports;
    EXPECT_EQ(data_logger_t::get_log_path(ports, 2, false), "tern/log_data/COM_2");
    EXPECT_EQ(data_logger_t::get_log_path(ports, 2, true), "tern/log_data/COM_2/log");
}
