#include "tern/almanac/alm_mgr_beidou.h"
#include "tern/almanac/alm_mgr_galileo.h"
#include "tern/almanac/alm_mgr_glonass.h"
#include "tern/almanac/alm_mgr_sbas.h"

#include <map>

namespace tern {

namespace {

unsigned int alm_id(const alm_data_glonass_t& r) {
    return r.slot;
}
unsigned int alm_id(const alm_data_short_t& r) {
    return r.sat;
}

} // namespace

template <class Rec, class Fb>
struct alm_mgr_table_t<Rec, Fb>::priv_t {
    struct entry_t {
        Rec alm;
        bool is_new = false;
    };
    std::map<unsigned int, entry_t> entries;
};

template <class Rec, class Fb>
alm_mgr_table_t<Rec, Fb>::alm_mgr_table_t() : priv_(new priv_t) {}

template <class Rec, class Fb>
alm_mgr_table_t<Rec, Fb>::~alm_mgr_table_t() = default;

template <class Rec, class Fb>
void alm_mgr_table_t<Rec, Fb>::clear() {
    priv_->entries.clear();
}

template <class Rec, class Fb>
void alm_mgr_table_t<Rec, Fb>::add(const Rec& alm) {
    auto& e = priv_->entries[alm_id(alm)];
    e.alm = alm;
    e.is_new = true;
}

template <class Rec, class Fb>
void alm_mgr_table_t<Rec, Fb>::handle(const Fb& msg) {
    add(msg.alm);
}

template <class Rec, class Fb>
void alm_mgr_table_t<Rec, Fb>::update(std::list<msg_t*>& msgs, bool all) {
    for (auto& kv : priv_->entries) {
        const bool was_new = kv.second.is_new;
        kv.second.is_new = false;
        if (was_new || all) msgs.push_back(new Fb(kv.second.alm));
    }
}

template <class Rec, class Fb>
void alm_mgr_table_t<Rec, Fb>::update(std::list<msg_t*>& msgs, unsigned char id) {
    if (const Rec* alm = get_alm(id)) msgs.push_back(new Fb(*alm));
}

template <class Rec, class Fb>
void alm_mgr_table_t<Rec, Fb>::update(std::list<msg_t*>& msgs, int id) {
    if (id >= 0 && id <= 255) update(msgs, static_cast<unsigned char>(id));
}

template <class Rec, class Fb>
void alm_mgr_table_t<Rec, Fb>::update(std::list<msg_t*>& msgs, unsigned int id) {
    if (id <= 255) update(msgs, static_cast<unsigned char>(id));
}

template <class Rec, class Fb>
const Rec* alm_mgr_table_t<Rec, Fb>::get_alm(unsigned int id) const {
    const auto it = priv_->entries.find(id);
    return it == priv_->entries.end() ? nullptr : &it->second.alm;
}

template class alm_mgr_table_t<alm_data_glonass_t, fb_alm_glonass_t>;
template class alm_mgr_table_t<alm_data_sbas_t, fb_alm_sbas_t>;
template class alm_mgr_table_t<alm_data_galileo_t, fb_alm_galileo_t>;
template class alm_mgr_table_t<alm_data_beidou_t, fb_alm_beidou_t>;

} // namespace tern
