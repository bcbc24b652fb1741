#include <tern/msg/catalogue.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/usb/usbd_msg.h>

#include "support/codec.h"
#include "support/msg_classes.h"

#include <gtest/gtest.h>

#include <set>
#include <typeinfo>
#include <utility>

using namespace tern;
using tern_test::msg_class_t;
using tern_test::raw_frame;

namespace {

using create_t = std::unique_ptr<msg_t> (*)(msg_decoder_t&);

// Feeds `frame` to a decoder and creates its message.
std::unique_ptr<msg_t> create(create_t how, const std::vector<unsigned char>& frame,
                              bool* was_short = nullptr) {
    msg_decoder_t dec;
    EXPECT_EQ(dec.decode_init(frame.data(), static_cast<unsigned>(frame.size())), frame.size());
    auto m = how(dec);
    if (was_short) *was_short = dec.is_short();
    return m;
}

// Every pair of a catalogue creates its own class, with the frame's port; a frame too short
// for the class is refused as short.
void expect_catalogue(create_t how, const std::vector<const std::vector<msg_class_t>*>& lists) {
    for (const auto* list : lists)
        for (const msg_class_t& c : *list) {
            SCOPED_TRACE(c.name);
            auto proto = c.make();
            proto->port = 9;
            const auto made = create(how, tern_test::frame_of(*proto));
            ASSERT_TRUE(made);
            EXPECT_EQ(typeid(*made), typeid(*proto));
            EXPECT_EQ(made->port, 9u);

            // One payload byte less than the class reads from its default encoding.
            const auto full = tern_test::frame_of(*proto);
            if (full.size() > 10) {
                std::vector<unsigned char> payload(full.begin() + 7, full.end() - 4);
                bool was_short = false;
                EXPECT_FALSE(create(how, raw_frame(c.category, c.type, 9, payload), &was_short));
                EXPECT_TRUE(was_short);
            }
        }
}

// Every other pair is unknown: refused, and not as short.
void expect_unknown_elsewhere(create_t how,
                              const std::vector<const std::vector<msg_class_t>*>& lists) {
    std::set<std::pair<unsigned, unsigned>> known;
    for (const auto* list : lists)
        for (const msg_class_t& c : *list) known.insert({c.category, c.type});
    for (unsigned cat = 0; cat < 6; ++cat)
        for (unsigned type = 0; type < 300; ++type) {
            if (known.count({cat, type})) continue;
            bool was_short = true;
            EXPECT_FALSE(create(how, raw_frame(cat, type, 1, {}), &was_short))
                << "cat " << cat << " type " << type;
            EXPECT_FALSE(was_short);
        }
}

} // namespace

TEST(Catalogue, TypeNumbersFollowTheTables) {
    for (const auto* list : {&tern_test::command_classes(), &tern_test::feedback_classes(),
                             &tern_test::data_classes()})
        for (unsigned i = 0; i < list->size(); ++i) EXPECT_EQ((*list)[i].type, i + 1);
    EXPECT_EQ(tern_test::command_classes().size(), 24u);
    EXPECT_EQ(tern_test::feedback_classes().size(), 40u);
    EXPECT_EQ(tern_test::data_classes().size(), 48u);
}

TEST(Catalogue, MainConnection) {
    const std::vector<const std::vector<msg_class_t>*> lists = {
        &tern_test::command_classes(), &tern_test::feedback_classes(), &tern_test::data_classes()};
    expect_catalogue(create_msg, lists);
    expect_unknown_elsewhere(create_msg, lists);

    // The same type number in three categories: three classes.
    EXPECT_TRUE(
        dynamic_cast<cmd_port_cfg_t*>(create(create_msg, raw_frame(1, 3, 1, {1, 0, 0})).get()));
    EXPECT_TRUE(dynamic_cast<fb_port_delete_t*>(create(create_msg, raw_frame(2, 3, 1, {})).get()));
    EXPECT_TRUE(dynamic_cast<data_diff_detail_t*>(
        create(create_msg, tern_test::frame_of(data_diff_detail_t())).get()));
}

TEST(Catalogue, UsbDaemonLink) {
    expect_catalogue(create_usbd_msg, {&tern_test::usbd_classes()});
    expect_unknown_elsewhere(create_usbd_msg, {&tern_test::usbd_classes()});

    // Feedback type 1 is another class on each kind of connection.
    const auto frame = tern_test::frame_of(fb_usbd_dev_t());
    EXPECT_TRUE(dynamic_cast<fb_usbd_dev_t*>(create(create_usbd_msg, frame).get()));
    EXPECT_TRUE(dynamic_cast<fb_controller_cfg_t*>(create(create_msg, frame).get()));
}

TEST(Catalogue, RefusesADecoderWithoutAFrame) {
    msg_decoder_t dec;
    EXPECT_FALSE(create_msg(dec));
    const unsigned char garbage[] = {0x41, 0x02, 0x04};
    EXPECT_EQ(dec.decode_init(garbage, 3), 1u);
    EXPECT_FALSE(create_msg(dec));
    EXPECT_FALSE(create_usbd_msg(dec));
}
