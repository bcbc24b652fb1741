#include <tern/data/allDeviceInfo.h>

#include <gtest/gtest.h>

using namespace tern;

namespace {

// The names as stored in settings ("device_type"), "none" first, in a fixed order.
TEST(AllDeviceInfo, TypeNamesInTheirFixedOrder) {
    std::string names;
    for (const std::string& n : allDeviceInfo_t::instance().allTypes()) names += n + ' ';
    EXPECT_EQ(names, "none ddktessa ternrimba ternorsk ternquill skiff nmea gyro tss fanbeam wind "
                     "emAttitudeInput depth ais sim hemisphereEclipse hemisphereVector "
                     "hemisphereR623 hemisphereV500 blended native tracker webmon usbl lbl ");
    EXPECT_EQ(usbDriver, "USB");
}

// Null is never listed (lookups would read it), and a description registered twice goes
// entirely on removal (it may be destroyed next). Lookups find the first match.
TEST(AllDeviceInfo, RegistrationOrderLookupAndRemoval) {
    allDeviceInfo_t& reg = allDeviceInfo_t::instance();
    const std::vector<const deviceInfo_t*> before = reg.deviceInfo();
    deviceInfo_t gyro_a("gyro", "Bow gyro"), gyro_b("gyro", "Stern gyro");
    reg.addDeviceInfo(&gyro_a);
    reg.addDeviceInfo(nullptr);
    reg.addDeviceInfo(&gyro_b);
    reg.addDeviceInfo(&gyro_a);
    EXPECT_EQ(reg.findByType("gyro"), &gyro_a);
    EXPECT_EQ(reg.findByDesc("Stern gyro"), &gyro_b);
    EXPECT_EQ(reg.findByType("Bow gyro"), nullptr);
    reg.removeDeviceInfo(&gyro_a);
    EXPECT_EQ(reg.findByType("gyro"), &gyro_b);
    reg.removeDeviceInfo(&gyro_b);
    EXPECT_EQ(reg.deviceInfo(), before);
}

TEST(DeviceInfo, AlarmsKeepTheirBitOrderUpToThirtyTwo) {
    deviceInfo_t info("fanbeam", "Fanbeam");
    EXPECT_TRUE(info.addAlarm(true, "Target lost"));
    EXPECT_TRUE(info.addAlarm(false, nullptr));
    for (int i = 2; i < 32; ++i) EXPECT_TRUE(info.addAlarm(false, "spare"));
    EXPECT_FALSE(info.addAlarm(false, "bit 32"));
    ASSERT_EQ(info.alarms.size(), 32u);
    EXPECT_EQ(info.alarms[0], alarmInfo_t(true, "Target lost"));
    EXPECT_EQ(info.alarms[1], alarmInfo_t(false, ""));
    EXPECT_EQ(info.alarms[31].text, "spare");
}

} // namespace
