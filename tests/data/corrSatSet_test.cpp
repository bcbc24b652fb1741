#include <tern/data/corrSatSet.h>

#include <gtest/gtest.h>

#include "support/scratch.h"
#include "support/sphere.h"

#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace tern;

namespace {

constexpr double deg = 3.14159265358979323846 / 180.0;

// Counts the loads it is told of; may drop another client while being told.
class counting_client_t : public corrSatSet_t::client_t {
public:
    int told = 0;
    counting_client_t** victim = nullptr;
    void corrSatSetChanged() override {
        ++told;
        if (victim && *victim) {
            delete *victim;
            *victim = nullptr;
        }
    }
};

// A fresh data directory named by TERN_DATA_PATH (which nothing else in this program reads).
class CorrSatSet : public ::testing::Test {
protected:
    void SetUp() override { setenv("TERN_DATA_PATH", dir_.c_str(), 1); }
    void write_satdefs(const std::string& text) { tmp_.write("SATDEFS", text); }

    corrSatSet_t& table = corrSatSet_t::instance();
    tern_test::temp_dir_t tmp_;
    const std::string dir_ = tmp_.path();
};

// A table entry as "type name longitude-in-degrees id" and the service's own values.
std::string text(const corrSat_t& sat) {
    std::ostringstream os;
    os << std::setprecision(12) << static_cast<unsigned>(sat.type) << ' ' << sat.name << ' '
       << sat.longitude / deg << ' ' << sat.id;
    return os.str();
}
std::string text(const tksCorrSat_t& t) {
    std::ostringstream os;
    os << text(static_cast<const corrSat_t&>(t)) << " net " << t.net << " freq " << t.freq
       << " channel " << t.channel << " beam " << t.beam << " userdef " << t.userdef;
    return os.str();
}

// The lines of entry n: values in the order type, name, longitude, id, net, freq, channel,
// beam, userdef; a value "-" leaves its key out.
std::string entry(int n, const std::vector<std::string>& values) {
    static const char* const keys[] = {"type", "name",    "longitude", "id",     "net",
                                       "freq", "channel", "beam",      "userdef"};
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i] != "-")
            text += "satellite_" + std::to_string(n) + "_" + keys[i] + "=" + values[i] + "\n";
    return text;
}

const std::string good_file =
    "#KeelConfig 1\nid=fleet-7\n" +
    entry(0, {"tks", "TK-98W", "-98", "11", "2", "1545.5", "4", "3000000000", "1"}) +
    entry(1, {"sbas", "EGNOS 123", "31.5", "123"}) + entry(2, {"glonass"}) +
    entry(3, {"tks", "TK-25E", "25", "12", "-1", "1545.52", "0", "7", "0"});

} // namespace

TEST_F(CorrSatSet, LoadsBothKindsInFileOrderAndTellsClients) {
    counting_client_t first;
    auto* gone = new counting_client_t; // told after `first`, which deletes it
    counting_client_t last;
    first.victim = &gone;
    write_satdefs(good_file);
    ASSERT_TRUE(table.loadDefault()) << table.error();
    EXPECT_EQ(gone, nullptr); // deleted before its turn and then skipped
    EXPECT_EQ(first.told, 1);
    EXPECT_EQ(last.told, 1);
    EXPECT_EQ(table.configId(), "fleet-7");
    ASSERT_EQ(table.tksSats().size(), 2u);
    ASSERT_EQ(table.sbasSats().size(), 1u);

    EXPECT_EQ(text(table.tksSats()[0]), "0 TK-98W -98 11 net 2 freq 1545.5 channel 4 beam "
                                        "3000000000 userdef 1");
    EXPECT_EQ(text(table.tksSats()[1]),
              "0 TK-25E 25 12 net -1 freq 1545.52 channel 0 beam 7 userdef 0");
    EXPECT_EQ(text(table.sbasSats()[0]), "1 EGNOS 123 31.5 123");
    EXPECT_EQ(table.warnings(), std::vector<std::string>{"satellite_2: unknown type \"glonass\""});

    EXPECT_EQ(table.findTksSatById(12), &table.tksSats()[1]);
    EXPECT_EQ(table.findTksSatById(123), nullptr);
    EXPECT_EQ(table.findSbasSatById(123), &table.sbasSats()[0]);
    EXPECT_EQ(table.findTksSatByFreq(1545.52), &table.tksSats()[1]);
    EXPECT_EQ(table.findTksSatByFreq(1545.5200001), nullptr);
}

// Each bad entry is dropped with its reason; the scan goes on until a type key is missing.
TEST_F(CorrSatSet, BadEntriesAreDroppedAndAGapEndsTheList) {
    write_satdefs(entry(0, {"sbas", "A", "1", "1"}) +
                  entry(1, {"tks", "B", "2", "2", "1", "1.5", "1", "1", "-"}) +
                  entry(2, {"sbas", "C", "east", "3"}) + entry(3, {"sbas", "D", "3", "-4"}) +
                  entry(4, {"sbas", "E", "nan", "5"}) +
                  entry(5, {"tks", "F", "6", "6", "1", "1.5e", "1", "1", "1"}) +
                  entry(6, {"sbas", "G", "7", "7"}) + entry(8, {"sbas", "I", "9", "9"}));
    ASSERT_TRUE(table.loadDefault());
    EXPECT_EQ(table.configId(), "");
    EXPECT_TRUE(table.tksSats().empty());
    ASSERT_EQ(table.sbasSats().size(), 2u);
    EXPECT_EQ(table.sbasSats()[0].name, "A");
    EXPECT_EQ(table.sbasSats()[1].name, "G");
    const std::vector<std::string> expected = {
        "satellite_1: missing satellite_1_userdef",
        "satellite_2: bad value of satellite_2_longitude: \"east\"",
        "satellite_3: bad value of satellite_3_id: \"-4\"",
        "satellite_4: bad value of satellite_4_longitude: not a finite number",
        "satellite_5: bad value of satellite_5_freq: \"1.5e\"",
    };
    EXPECT_EQ(table.warnings(), expected);
}

TEST_F(CorrSatSet, FailedLoadsKeepTheTableAndTellNobody) {
    write_satdefs(good_file);
    ASSERT_TRUE(table.loadDefault());
    counting_client_t client;

    // A file that is not a complete store is refused whole.
    write_satdefs("satellite_0_type=sbas\nsatellite_0_name=X");
    EXPECT_FALSE(table.loadDefault());
    EXPECT_NE(table.error().find("correction satellites not loaded: "), std::string::npos);
    EXPECT_NE(table.error().find("truncated"), std::string::npos) << table.error();

    ::unlink((dir_ + "/SATDEFS").c_str());
    ASSERT_EQ(::mkdir((dir_ + "/SATDEFS").c_str(), 0700), 0);
    EXPECT_FALSE(table.loadDefault());
    EXPECT_NE(table.error().find(dir_ + "/SATDEFS"), std::string::npos) << table.error();

    EXPECT_FALSE(table.load(dir_ + "/no/such/file"));
    EXPECT_NE(table.error().find("No such file"), std::string::npos) << table.error();

    for (const char* value : std::initializer_list<const char*>{"", nullptr}) {
        if (value)
            setenv("TERN_DATA_PATH", value, 1);
        else
            unsetenv("TERN_DATA_PATH");
        EXPECT_FALSE(table.loadDefault());
        EXPECT_EQ(table.error(), "TERN_DATA_PATH is not set: no correction satellites");
    }
    EXPECT_EQ(client.told, 0);
    EXPECT_EQ(table.configId(), "fleet-7");
    EXPECT_EQ(table.tksSats().size(), 2u);
}

// Look angles from random positions against the line of sight as a vector (the orbit's radius
// 6.610709044614748 Earth radii): a satellite is listed exactly when it stands at or above the
// mask, with its bearing and elevation.
TEST_F(CorrSatSet, VisibleSatellitesWithAzimuthAndElevation) {
    using tern_test::look, tern_test::position;
    write_satdefs(entry(0, {"sbas", "S0", "0", "120"}) +
                  entry(1, {"tks", "T-170", "-170", "5", "0", "1", "0", "0", "0"}));
    ASSERT_TRUE(table.loadDefault());
    std::vector<std::pair<double, double>> at = {{0, 0}, {0, -30 * deg}, {45 * deg, 170 * deg}};
    std::mt19937_64 rng(22);
    std::uniform_real_distribution<double> lat(-1.5, 1.5), lon(-3.14, 3.14);
    while (at.size() < 2000) at.emplace_back(lat(rng), lon(rng));
    for (const auto& [la, lo] : at) {
        data_csv_ea_t ea;
        ea.sats.resize(1); // calculate appends
        const unsigned n = table.calculate(ea, la, lo);
        std::size_t next = 1;
        for (const auto& [name, sat_lon] :
             {std::pair<std::string, double>{"T-170", -170 * deg}, {"S0", 0.0}}) {
            const auto sight =
                look(tern_test::minus(position(0, sat_lon, 6.610709044614748), position(la, lo)),
                     la, lo);
            if (sight.elevation < corrSatSet_t::defaultElevationMask) continue;
            ASSERT_LT(next, ea.sats.size()) << la << "," << lo << " misses " << name;
            const auto& got = ea.sats[next++];
            EXPECT_EQ(got.name, name);
            EXPECT_NEAR(got.elevation, sight.elevation, 1e-6) << la << "," << lo;
            const bool overhead = std::fabs(la) < 1e-9 && std::fabs(lo - sat_lon) < 1e-9;
            EXPECT_TRUE(overhead || tern_test::angle_off(got.azimuth, sight.bearing) < 1e-6)
                << la << "," << lo << ": " << got.azimuth << " for " << sight.bearing;
        }
        ASSERT_EQ(ea.sats.size(), next) << la << "," << lo;
        ASSERT_EQ(n, next - 1);
    }
    // Only the kinds asked for, the correction-service list first; the mask at its edge; a NaN
    // position sees nothing.
    data_csv_ea_t ea;
    const std::set<corrSatType_t> sbas_only = {corrSatType_sbas};
    EXPECT_EQ(table.calculate(ea, 0.0, 0.0, -90.0 * deg, &sbas_only), 1u);
    EXPECT_EQ(table.calculate(ea, 0.0, 0.0, -90.0 * deg), 2u);
    EXPECT_EQ(ea.sats[1].name + ea.sats[2].name, "T-170S0");
    EXPECT_EQ(table.calculate(ea, 0.0, 0.0, 89.999 * deg), 1u);
    EXPECT_EQ(table.calculate(ea, 0.0, 0.0, 90.001 * deg), 0u);
    EXPECT_EQ(table.calculate(ea, std::nan(""), 0.0, -90.0 * deg), 0u);
}
