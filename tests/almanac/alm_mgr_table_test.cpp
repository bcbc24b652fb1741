#include <tern/almanac/alm_mgr_beidou.h>
#include <tern/almanac/alm_mgr_galileo.h>
#include <tern/almanac/alm_mgr_glonass.h>
#include <tern/almanac/alm_mgr_sbas.h>

#include <gtest/gtest.h>

using namespace tern;

TEST(AlmGlonass, LastRecordPerSlotWinsWhateverItsAge) {
    alm_mgr_glonass_t mgr;
    alm_data_glonass_t newer, older;
    newer.slot = older.slot = 4;
    newer.day_number = 900;
    older.day_number = 100;
    mgr.add(newer);
    mgr.handle(fb_alm_glonass_t(older));
    EXPECT_EQ(mgr.get_alm(5), nullptr);
    std::list<msg_t*> out;
    mgr.update(out, false);
    mgr.update(out, false); // nothing new the second time
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(static_cast<fb_alm_glonass_t*>(out.front())->alm, older);
    delete out.front();
    mgr.clear();
    EXPECT_EQ(mgr.get_alm(4), nullptr);
}

// The two-byte records: new-only and all, in ascending satellite order, and one by id.
template <class Mgr, class Rec, class Fb>
void check_short_manager() {
    Mgr mgr;
    mgr.add(Rec{{40, 1}});
    mgr.add(Rec{{7, 2}});
    std::list<msg_t*> out;
    mgr.update(out, false);
    mgr.update(out, false);
    mgr.update(out, true);
    mgr.update(out, static_cast<unsigned char>(40));
    mgr.update(out, static_cast<unsigned char>(41));
    std::vector<unsigned int> sats;
    for (msg_t* m : out) {
        auto* fb = dynamic_cast<Fb*>(m);
        sats.push_back(fb ? fb->alm.sat : 999u);
        delete m;
    }
    EXPECT_EQ(sats, (std::vector<unsigned int>{7, 40, 7, 40, 40}));
}

TEST(AlmShort, SbasGalileoBeidou) {
    check_short_manager<alm_mgr_sbas_t, alm_data_sbas_t, fb_alm_sbas_t>();
    check_short_manager<alm_mgr_galileo_t, alm_data_galileo_t, fb_alm_galileo_t>();
    check_short_manager<alm_mgr_beidou_t, alm_data_beidou_t, fb_alm_beidou_t>();
}
