// The sentence builders' data store: the latest navigation data message of every kind.
#pragma once

#include <tern/msg/data_msgs.h>
#include <tern/output/output_types.h>
#include <tern/util/gps2utc.h>

#include <bitset>
#include <cstddef>
#include <iterator>
#include <list>
#include <map>

namespace tern {

// A set of satellite numbers (0 to 255) held as bits: no allocation, ascending iteration.
class satNumberSet_t {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = unsigned int;
        using difference_type = std::ptrdiff_t;
        using pointer = const unsigned int*;
        using reference = unsigned int;

        const_iterator() = default;
        unsigned int operator*() const { return n_; }
        const_iterator& operator++() {
            n_ = set_ ? set_->next_from(n_ + 1) : 256;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const const_iterator& o) const { return n_ == o.n_; }
        bool operator!=(const const_iterator& o) const { return n_ != o.n_; }

    private:
        friend class satNumberSet_t;
        const_iterator(const satNumberSet_t* s, unsigned int n) : set_(s), n_(n) {}
        const satNumberSet_t* set_ = nullptr;
        unsigned int n_ = 256;
    };

    void insert(unsigned int n) {
        if (n < 256) bits_.set(n);
    }
    void clear() { bits_.reset(); }
    bool empty() const { return bits_.none(); }
    std::size_t size() const { return bits_.count(); }
    // 1 when `n` is in the set, else 0 (as std::set::count).
    std::size_t count(unsigned int n) const { return n < 256 && bits_.test(n) ? 1 : 0; }
    const_iterator begin() const { return const_iterator(this, next_from(0)); }
    const_iterator end() const { return const_iterator(this, 256); }

    bool operator==(const satNumberSet_t& o) const { return bits_ == o.bits_; }
    bool operator!=(const satNumberSet_t& o) const { return bits_ != o.bits_; }

private:
    unsigned int next_from(unsigned int n) const {
        while (n < 256 && !bits_.test(n)) ++n;
        return n;
    }
    std::bitset<256> bits_;
};

// The latest message of every kind that the sentence builders need, kept exactly as received
// (no freshness window: builders compare the messages' own utc_tstamp), with the satellite
// messages kept per constellation. A value type: copies copy everything.
class outputDataCache_t {
public:
    using satUseMap_t = std::map<constellation_t, data_sat_use_t>;
    using satTrackMap_t = std::map<constellation_t, data_sat_track_t>;
    using satHealthMap_t = std::map<constellation_t, data_sat_health_t>;

    // Maximum time span of the satellite-use messages that currentSatsUsed() joins.
    static constexpr double sats_used_window = 2.0;

    outputDataCache_t();

    // Last message type 0, last time stamp 0.0, no GPS-to-UTC parameters, every held
    // message's time stamp 0.0 (values kept), the satellite maps emptied with no last
    // constellation, protection-value time stamp 0.0.
    void clear();

    // Adds a navigation data message; other categories, unheld kinds and a message whose class
    // does not match its type number are ignored.
    void add(const msg_t& msg);
    // Adds every non-null message of the list, in order.
    void add(const std::list<msg_t*>& msgs);

    // Each stores a copy, then makes it the last message (type, and the time stamp when newer).
    void add(const data_pos_t& msg);
    void add(const data_height_t& msg);
    void add(const data_fix_mode_t& msg);
    void add(const data_fix_type_t& msg);
    void add(const data_h_dop_t& msg);
    void add(const data_pv_dop_t& msg);
    void add(const data_pr_stats_t& msg);
    void add(const data_sat_count_t& msg);
    void add(const data_diff_t& msg);
    void add(const data_diff_detail_t& msg);
    void add(const data_dual_freq_t& msg);
    void add(const data_ext_nav_mode_t& msg);
    // Sets the last message type but never moves the last time stamp.
    void add(const data_rxq_t& msg);
    void add(const data_sog_t& msg);
    void add(const data_cog_t& msg);
    void add(const data_heading_t& msg);
    void add(const data_mbrtk_heading_t& msg);
    void add(const data_mbrtk_baseline_t& msg);
    void add(const data_fom_t& msg);
    void add(const data_roll_t& msg);
    void add(const data_pitch_t& msg);
    void add(const data_heave_t& msg);
    void add(const data_rot_t& msg);
    void add(const data_motion_t& msg);
    void add(const data_depth_t& msg);
    void add(const data_datum_t& msg);
    // Kept in the entry of their constellation, which becomes the map's last one. A
    // constellation number of 4 or more names no constellation and is dropped.
    void add(const data_sat_use_t& msg);
    void add(const data_sat_track_t& msg);
    void add(const data_sat_health_t& msg);
    // Stores the leap-second parameters only; the last message is left alone.
    void add(const data_gps2utc_t& msg);
    // Keeps the larger protection value of one time stamp; any other time stamp replaces it.
    void add(const data_qc_mde_t& msg);

    const data_pos_t& position() const { return pos_; }
    const data_height_t& height() const { return height_; }
    const data_fix_mode_t& fixMode() const { return fix_mode_; }
    const data_fix_type_t& fixType() const { return fix_type_; }
    const data_h_dop_t& hdop() const { return hdop_; }
    const data_pv_dop_t& pvdop() const { return pvdop_; }
    const data_pr_stats_t& pseudorangeStats() const { return pr_stats_; }
    const data_sat_count_t& satCount() const { return sat_count_; }
    const data_diff_t& diffInfo() const { return diff_; }
    const data_diff_detail_t& diffDetail() const { return diff_detail_; }
    const data_dual_freq_t& dualFreq() const { return dual_freq_; }
    const data_ext_nav_mode_t& extendedNavMode() const { return ext_nav_mode_; }
    const data_rxq_t& rxq() const { return rxq_; }
    const data_sog_t& speed() const { return sog_; }
    const data_cog_t& course() const { return cog_; }
    const data_heading_t& heading() const { return heading_; }
    const data_mbrtk_heading_t& mbrtkHeading() const { return mbrtk_heading_; }
    const data_mbrtk_baseline_t& mbrtkBaseline() const { return mbrtk_baseline_; }
    const data_fom_t& figureOfMerit() const { return fom_; }
    const data_roll_t& roll() const { return roll_; }
    const data_pitch_t& pitch() const { return pitch_; }
    const data_heave_t& heave() const { return heave_; }
    const data_rot_t& rateOfTurn() const { return rot_; }
    const data_motion_t& motion() const { return motion_; }
    const data_depth_t& depth() const { return depth_; }
    const data_datum_t& datum() const { return datum_; }

    bool gps2utcValid() const { return gps2utc_valid_; }
    const gps2utc_t& gps2utc() const { return gps2utc_; }

    // Data type number of the last message added; 0 after clear().
    unsigned int lastMessageType() const { return last_type_; }
    // The newest time stamp seen: it only moves forward (receiver-quality messages and NaN
    // stamps never move it); 0.0 after clear().
    double lastTimestamp() const { return last_tstamp_; }

    double maxPosMde() const { return max_mde_; }
    double maxPosMdeTimestamp() const { return max_mde_tstamp_; }

    // The entry of the constellation added last, or null when there is none.
    const data_sat_use_t* lastSatUse() const;
    const data_sat_track_t* lastSatTrack() const;
    const data_sat_health_t* lastSatHealth() const;
    const satUseMap_t& allSatUse() const { return sat_use_; }
    const satTrackMap_t& allSatTrack() const { return sat_track_; }
    const satHealthMap_t& allSatHealth() const { return sat_health_; }

    // The satellite numbers in use in the current epoch: with T the time stamp of the last
    // satellite-use message, the union of every held satellite-use message stamped within
    // [T - 2.0, T]. Empty when there is no last satellite-use message.
    satNumberSet_t currentSatsUsed() const;

private:
    void updateLastMessage(const data_msg_t& msg);

    unsigned int last_type_ = 0;
    double last_tstamp_ = 0.0;
    bool gps2utc_valid_ = false;
    gps2utc_t gps2utc_;

    data_pos_t pos_;
    data_height_t height_;
    data_fix_mode_t fix_mode_;
    data_fix_type_t fix_type_;
    data_h_dop_t hdop_;
    data_pv_dop_t pvdop_;
    data_pr_stats_t pr_stats_;
    data_sat_count_t sat_count_;
    data_diff_t diff_;
    data_diff_detail_t diff_detail_;
    data_dual_freq_t dual_freq_;
    data_ext_nav_mode_t ext_nav_mode_;
    data_rxq_t rxq_;
    data_sog_t sog_;
    data_cog_t cog_;
    data_heading_t heading_;
    data_mbrtk_heading_t mbrtk_heading_;
    data_mbrtk_baseline_t mbrtk_baseline_;
    data_fom_t fom_;
    data_roll_t roll_;
    data_pitch_t pitch_;
    data_heave_t heave_;
    data_rot_t rot_;
    data_motion_t motion_;
    data_depth_t depth_;
    data_datum_t datum_;

    satUseMap_t sat_use_;
    constellation_t last_sat_use_ = constellation_none;
    satTrackMap_t sat_track_;
    constellation_t last_sat_track_ = constellation_none;
    satHealthMap_t sat_health_;
    constellation_t last_sat_health_ = constellation_none;

    double max_mde_tstamp_ = 0.0;
    double max_mde_ = 0.0; // metres
};

} // namespace tern
