#include <tern/data/corrSatSet.h>

#include <gtest/gtest.h>

#include "support/scratch.h"

#include <cmath>
#include <cstdlib>
#include <iomanip>
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

// Azimuth and elevation in degrees from a user position; expected values from the
// great-circle bearing to the sub-satellite point and the geostationary elevation formula.
TEST_F(CorrSatSet, VisibleSatellitesWithAzimuthAndElevation) {
    write_satdefs(entry(0, {"sbas", "S0", "0", "120"}) +
                  entry(1, {"tks", "T-170", "-170", "5", "0", "1", "0", "0", "0"}));
    ASSERT_TRUE(table.loadDefault());
    const struct {
        double lat, lon;
        const char* name;
        double az, el; // degrees; az < 0: not visible above the default mask
    } rows[] = {
        {0, 0, "S0", 0.0, 90.0},
        {45, 10, "S0", 194.0019421655169, 37.21718118646693},     // south-west
        {45, -10, "S0", 165.9980578344831, 37.21718118646693},    // south-east
        {-30, -5, "S0", 9.92498503922732, 54.59697445638502},     // north-east
        {0, -30, "S0", 90.0, 55.02568314103438},                  // due east
        {60, 120, "S0", -1, -22.51056295885732},                  // below the horizon
        {45, 170, "T-170", 152.7636865248293, 34.47779741322249}, // across the date line
        {45, -175, "T-170", 172.9467733432014, 37.929741019607505},
    };
    const std::set<corrSatType_t> sbas_only = {corrSatType_sbas}, tks_only = {corrSatType_tks};
    for (const auto& r : rows) {
        data_csv_ea_t ea;
        ea.sats.resize(1); // calculate appends
        const bool is_sbas = r.name[0] == 'S';
        const unsigned n =
            table.calculate(ea, r.lat * deg, r.lon * deg, corrSatSet_t::defaultElevationMask,
                            is_sbas ? &sbas_only : &tks_only);
        ASSERT_EQ(n, r.az < 0 ? 0u : 1u) << r.lat << "," << r.lon;
        ASSERT_EQ(ea.sats.size(), 1u + n);
        if (n == 0) continue;
        EXPECT_EQ(ea.sats[1].name, r.name);
        EXPECT_EQ(ea.sats[1].id, is_sbas ? 120u : 5u);
        EXPECT_NEAR(ea.sats[1].azimuth / deg, r.az, 1e-4) << r.lat << "," << r.lon;
        EXPECT_NEAR(ea.sats[1].elevation / deg, r.el, 1e-4) << r.lat << "," << r.lon;
    }

    // All kinds: the correction-service list comes first. A NaN position sees nothing.
    data_csv_ea_t ea;
    EXPECT_EQ(table.calculate(ea, 0.0, 0.0, -90.0 * deg), 2u);
    EXPECT_EQ(ea.sats[0].name, "T-170");
    EXPECT_EQ(ea.sats[1].name, "S0");
    EXPECT_EQ(table.calculate(ea, 0.0, 0.0, 89.999 * deg), 1u);
    EXPECT_EQ(table.calculate(ea, 0.0, 0.0, 90.001 * deg), 0u);
    EXPECT_EQ(table.calculate(ea, std::nan(""), 0.0, -90.0 * deg), 0u);
}
