#include <tern/usb/usb_dev.h>

#include <gtest/gtest.h>

// The encoding is pinned by the USB daemon link's frames (usbd_msg_test).
TEST(UsbDev, HasPathComparesWholeComponents) {
    usb_dev_t d;
    d.mount_path = "/m/";
    EXPECT_TRUE(d.has_path("/m/"));
    EXPECT_TRUE(d.has_path("/m/log/x.csv"));
    EXPECT_TRUE(d.has_path("/m")); // the mount point itself
    EXPECT_FALSE(d.has_path("/m0/x"));
    EXPECT_FALSE(d.has_path("/media/x"));
    EXPECT_FALSE(d.has_path(""));
    d.mount_path.clear(); // a volume without a mount path lies on no path at all
    EXPECT_FALSE(d.has_path("/etc/passwd"));
    EXPECT_FALSE(d.has_path(""));
}
