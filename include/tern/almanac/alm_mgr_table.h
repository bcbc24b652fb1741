// What the GLONASS, SBAS, Galileo and BeiDou almanac managers share: the last record per
// satellite, in memory only, each marked new when it arrives.
#pragma once

#include <list>
#include <memory>

namespace tern {

class msg_t;

// `Rec` is the almanac record, keyed by its first byte (slot or satellite number); `Fb` the
// feedback message that carries one. A newer record simply replaces the held one: these
// records carry no age the managers compare.
template <class Rec, class Fb>
class alm_mgr_table_t {
public:
    alm_mgr_table_t();
    virtual ~alm_mgr_table_t();
    alm_mgr_table_t(const alm_mgr_table_t&) = delete;
    alm_mgr_table_t& operator=(const alm_mgr_table_t&) = delete;

    void clear();
    // Keeps a copy in the entry of its first byte, replacing what was there, marked new.
    void add(const Rec& alm);
    void handle(const Fb& msg);
    // Appends a feedback message for every record that arrived since the last call, or for
    // every record when `all` is true, in ascending id order; clears the new marks.
    void update(std::list<msg_t*>& msgs, bool all);
    // Appends a feedback message for the record of `id` when one is held.
    void update(std::list<msg_t*>& msgs, unsigned char id);
    void update(std::list<msg_t*>& msgs, int id);
    void update(std::list<msg_t*>& msgs, unsigned int id);
    // The record held for `id`, or null. Owned by the manager.
    const Rec* get_alm(unsigned int id) const;

private:
    struct priv_t;
    std::unique_ptr<priv_t> priv_;
};

} // namespace tern
