// Creation by number: every class of the catalogues is pinned by its golden frame
// (golden_test.cpp); here every other pair is refused, and so is a decoder without a frame.
#include <tern/msg/catalogue.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/usb/usbd_msg.h>

#include "support/codec.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

using namespace tern;

namespace {

using create_t = std::unique_ptr<msg_t> (*)(msg_decoder_t&);
using pairs_t = std::set<std::pair<unsigned, unsigned>>;

#define PAIR(cls) {cls().category, cls::msg_type},

// Every pair outside `known` is refused, and not as a short frame.
void expect_unknown_elsewhere(create_t how, const pairs_t& known) {
    for (unsigned cat = 0; cat < 6; ++cat)
        for (unsigned type = 0; type < 300; ++type) {
            if (known.count({cat, type})) continue;
            const auto f = tern_test::raw_frame(cat, type, 1, {});
            msg_decoder_t dec;
            ASSERT_EQ(dec.decode_init(f.data(), static_cast<unsigned>(f.size())), f.size());
            EXPECT_FALSE(how(dec)) << "cat " << cat << " type " << type;
            EXPECT_FALSE(dec.is_short());
        }
}

} // namespace

TEST(Catalogue, MainConnectionKnowsOnlyItsOwnPairs) {
    const pairs_t known = {TERN_COMMAND_MSGS(PAIR) TERN_FEEDBACK_MSGS(PAIR) TERN_DATA_MSGS(PAIR)};
    EXPECT_EQ(known.size(), 24u + 40u + 48u); // no two classes share a pair
    expect_unknown_elsewhere(create_msg, known);
}

TEST(Catalogue, UsbDaemonLinkKnowsOnlyItsOwnPairs) {
    const pairs_t known = {TERN_USBD_COMMAND_MSGS(PAIR) TERN_USBD_FEEDBACK_MSGS(PAIR)};
    EXPECT_EQ(known.size(), 3u);
    expect_unknown_elsewhere(create_usbd_msg, known);
}

TEST(Catalogue, RefusesADecoderWithoutAFrame) {
    msg_decoder_t dec;
    EXPECT_FALSE(create_msg(dec));
    const unsigned char garbage[] = {0x41, 0x02, 0x04};
    EXPECT_EQ(dec.decode_init(garbage, 3), 1u);
    EXPECT_FALSE(create_msg(dec));
    EXPECT_FALSE(create_usbd_msg(dec));
}
