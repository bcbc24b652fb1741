#include "tern/log/csv_builder.h"

#include "tern/msg/data_msgs.h"

#include "../util/time_util_priv.h"

#include <charconv>
#include <cmath>
#include <ostream>

namespace tern {

namespace {

constexpr double max_field_age = 1.1;
constexpr double rad_to_deg = 180.0 / 3.14159265358979323846;

// A small fixed buffer that formats numbers without the locale and without the heap.
class line_buf_t {
public:
    void put(char c) {
        if (n_ < sizeof buf_) buf_[n_++] = c;
    }
    void put(const char* s) {
        while (*s) put(*s++);
    }
    void fixed(double v, int decimals) {
        const auto r =
            std::to_chars(buf_ + n_, buf_ + sizeof buf_, v, std::chars_format::fixed, decimals);
        if (r.ec == std::errc()) n_ = static_cast<std::size_t>(r.ptr - buf_);
    }
    void number(std::int64_t v, int width = 0) {
        char tmp[24];
        const auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
        for (auto len = r.ptr - tmp; len < width; ++len) put('0');
        for (const char* p = tmp; p < r.ptr; ++p) put(*p);
    }
    const char* data() const { return buf_; }
    std::size_t size() const { return n_; }

private:
    // A full line of 28 huge values still fits: the widest double in fixed notation with
    // 8 decimals is 318 characters.
    char buf_[28 * 330 + 64];
    std::size_t n_ = 0;
};

// Whether t lies more than max_age before the epoch. At real epochs (1.7e9 s) a difference of
// doubles is off by a fraction of a microsecond, which put a value set exactly 1.1 s before on
// either side of the limit: whole microseconds compare exactly.
bool older(double epoch, double t, double max_age) {
    constexpr double us_limit = 9.0e12; // seconds whose microseconds fit in 64 bits
    if (!(std::fabs(epoch) < us_limit && std::fabs(t) < us_limit && std::fabs(max_age) < us_limit))
        return epoch - t > max_age; // far out or not a number: as the doubles say
    return std::llround(epoch * 1e6) - std::llround(t * 1e6) > std::llround(max_age * 1e6);
}

void render(const csv_builder_t& b, line_buf_t& out) {
    if (b.msg_tstamp_valid()) {
        const double t = b.msg_tstamp();
        out.fixed(t, 3);
        out.put(',');
        if (std::isfinite(t) && std::fabs(t) < 9.0e15) {
            const detail::utc_fields_t f =
                detail::utc_breakdown(static_cast<std::int64_t>(std::floor(t)));
            out.number(f.mon, 2);
            out.put('/');
            out.number(f.day, 2);
            out.put('/');
            out.number(f.year);
            out.put(' ');
            out.number(f.hour, 2);
            out.put(':');
            out.number(f.min, 2);
            out.put(':');
            out.number(f.sec, 2);
        }
        out.put(',');
    } else {
        out.put(",,");
    }
    const csv_output_cfg_t& cfg = b.output_cfg();
    for (unsigned int i = 0; i < csv_field_count; ++i) {
        if (!cfg.field_is_set(i)) continue;
        if (b.field_valid(i)) {
            switch (static_cast<csvField_t>(i)) {
            case csv_field_latitude:
                out.fixed(b.latitude() * rad_to_deg, 8);
                break;
            case csv_field_longitude:
                out.fixed(b.longitude() * rad_to_deg, 8);
                break;
            case csv_field_height:
                out.fixed(b.height(), 4);
                break;
            case csv_field_speed:
                out.fixed(b.speed(), 3);
                break;
            case csv_field_course:
                out.fixed(b.course() * rad_to_deg, 1);
                break;
            case csv_field_sats_used:
                out.number(b.sats_used());
                break;
            case csv_field_sats_tracked:
                out.number(b.sats_tracked());
                break;
            case csv_field_hdop:
                out.fixed(b.hdop(), 1);
                break;
            case csv_field_vdop:
                out.fixed(b.vdop(), 1);
                break;
            case csv_field_pdop:
                out.fixed(b.pdop(), 1);
                break;
            case csv_field_nav_3d:
                out.put(b.nav_3d() ? '3' : '2');
                break;
            case csv_field_dual_freq:
                out.put(b.dual_freq() ? '2' : '1');
                break;
            case csv_field_fom:
                out.fixed(b.fom(), 2);
                break;
            case csv_field_corr_mode:
                out.number(b.corr_mode());
                break;
            case csv_field_corr_age:
                out.fixed(b.corr_age(), 1);
                break;
            case csv_field_corr_snr:
                out.fixed(b.corr_snr(), 1);
                break;
            case csv_field_corr_net:
                out.number(b.corr_net());
                break;
            case csv_field_ftest:
                out.put(b.qaqc_ftest() ? '1' : '0');
                break;
            case csv_field_unit_variance:
                out.fixed(b.qaqc_unit_var(), 3);
                break;
            case csv_field_qaqc_semi_major:
                out.fixed(b.qaqc_semi_major(), 3);
                break;
            case csv_field_qaqc_semi_minor:
                out.fixed(b.qaqc_semi_minor(), 3);
                break;
            case csv_field_raim_rejects:
                out.number(b.raim_rejects());
                break;
            case csv_field_max_pos_mde:
                out.fixed(b.max_pos_mde(), 3);
                break;
            case csv_field_mbrtk_heading:
                out.fixed(b.mbrtk_heading(), 2);
                break;
            case csv_field_heading:
                out.fixed(b.heading() * rad_to_deg, 1);
                break;
            case csv_field_pitch:
                out.fixed(b.pitch() * rad_to_deg, 2);
                break;
            case csv_field_roll:
                out.fixed(b.roll() * rad_to_deg, 2);
                break;
            case csv_field_heave:
                out.fixed(b.heave(), 2);
                break;
            default:
                break;
            }
        }
        out.put(',');
    }
    out.put("\r\n");
}

} // namespace

csv_builder_t::csv_builder_t() {
    for (double& a : max_age_) a = max_field_age;
    clear();
}

void csv_builder_t::clear() {
    msg_tstamp_valid_ = false;
    valid_ = 0;
}

void csv_builder_t::set_msg_tstamp(double t) {
    msg_tstamp_ = t;
    msg_tstamp_valid_ = true;
}

void csv_builder_t::mark(unsigned int i, double t) {
    valid_ |= 1u << i;
    tstamps_[i] = t;
}

#define TERN_CSV_SETTER(name, type, member, field)                                                 \
    void csv_builder_t::name(type v, double t) {                                                   \
        member = v;                                                                                \
        mark(field, t);                                                                            \
    }
TERN_CSV_SETTER(set_latitude, double, latitude_, csv_field_latitude)
TERN_CSV_SETTER(set_longitude, double, longitude_, csv_field_longitude)
TERN_CSV_SETTER(set_height, double, height_, csv_field_height)
TERN_CSV_SETTER(set_speed, double, speed_, csv_field_speed)
TERN_CSV_SETTER(set_course, double, course_, csv_field_course)
TERN_CSV_SETTER(set_sats_used, unsigned int, sats_used_, csv_field_sats_used)
TERN_CSV_SETTER(set_sats_tracked, unsigned int, sats_tracked_, csv_field_sats_tracked)
TERN_CSV_SETTER(set_hdop, double, hdop_, csv_field_hdop)
TERN_CSV_SETTER(set_vdop, double, vdop_, csv_field_vdop)
TERN_CSV_SETTER(set_pdop, double, pdop_, csv_field_pdop)
TERN_CSV_SETTER(set_nav_3d, bool, nav_3d_, csv_field_nav_3d)
TERN_CSV_SETTER(set_dual_freq, bool, dual_freq_, csv_field_dual_freq)
TERN_CSV_SETTER(set_fom, double, fom_, csv_field_fom)
TERN_CSV_SETTER(set_corr_mode, unsigned int, corr_mode_, csv_field_corr_mode)
TERN_CSV_SETTER(set_corr_age, double, corr_age_, csv_field_corr_age)
TERN_CSV_SETTER(set_corr_snr, double, corr_snr_, csv_field_corr_snr)
TERN_CSV_SETTER(set_corr_net, unsigned int, corr_net_, csv_field_corr_net)
TERN_CSV_SETTER(set_qaqc_ftest, bool, ftest_, csv_field_ftest)
TERN_CSV_SETTER(set_qaqc_unit_var, double, unit_var_, csv_field_unit_variance)
TERN_CSV_SETTER(set_qaqc_semi_major, double, semi_major_, csv_field_qaqc_semi_major)
TERN_CSV_SETTER(set_qaqc_semi_minor, double, semi_minor_, csv_field_qaqc_semi_minor)
TERN_CSV_SETTER(set_mbrtk_heading, double, mbrtk_heading_, csv_field_mbrtk_heading)
TERN_CSV_SETTER(set_heading, double, heading_, csv_field_heading)
TERN_CSV_SETTER(set_pitch, double, pitch_, csv_field_pitch)
TERN_CSV_SETTER(set_roll, double, roll_, csv_field_roll)
TERN_CSV_SETTER(set_heave, double, heave_, csv_field_heave)
#undef TERN_CSV_SETTER

void csv_builder_t::add_raim_event(bool passed, double t) {
    if (!field_valid(csv_field_raim_rejects) || tstamps_[csv_field_raim_rejects] != t) {
        mark(csv_field_raim_rejects, t);
        raim_rejects_ = 0;
    }
    if (!passed) ++raim_rejects_;
}

void csv_builder_t::add_pos_mde(double v, double t) {
    if (field_valid(csv_field_max_pos_mde) && tstamps_[csv_field_max_pos_mde] == t) {
        if (v > max_pos_mde_) max_pos_mde_ = v;
        return;
    }
    max_pos_mde_ = v;
    mark(csv_field_max_pos_mde, t);
}

bool csv_builder_t::field_valid(unsigned int i) const {
    return i < csv_field_count && (valid_ & (1u << i)) != 0;
}

void csv_builder_t::set_field_valid(unsigned int i) {
    if (i < csv_field_count) valid_ |= 1u << i;
}

void csv_builder_t::clear_field_valid(unsigned int i) {
    if (i < csv_field_count) valid_ &= ~(1u << i);
}

double csv_builder_t::field_tstamp(unsigned int i) const {
    return i < csv_field_count ? tstamps_[i] : 0.0;
}

void csv_builder_t::age_fields() {
    for (unsigned int i = 0; i < csv_field_count; ++i) {
        if (field_valid(i) && older(msg_tstamp_, tstamps_[i], max_age_[i])) clear_field_valid(i);
    }
}

std::string csv_builder_t::file_header() const {
    std::string h = "H Unix Seconds,UTC Time";
    for (unsigned int i = 0; i < csv_field_count; ++i) {
        if (!cfg_.field_is_set(i)) continue;
        h += ',';
        h += csvFieldToString(i);
    }
    h += "\r\n";
    return h;
}

void csv_builder_t::write_line(std::ostream& os) const {
    line_buf_t line;
    render(*this, line);
    os.write(line.data(), static_cast<std::streamsize>(line.size()));
}

void csv_builder_t::append_line(std::string& out) const {
    line_buf_t line;
    render(*this, line);
    out.append(line.data(), line.size());
}

std::ostream& operator<<(std::ostream& os, const csv_builder_t& b) {
    b.write_line(os);
    return os;
}

namespace {

// Calls f(m) for every message of the list that is the data class M.
template <class M, class F>
void each(const std::list<msg_t*>& msgs, F&& f) {
    for (const msg_t* m : msgs) {
        if (!m || m->category != msg_t::category_data || m->type != M::msg_type) continue;
        if (const M* d = dynamic_cast<const M*>(m)) f(*d);
    }
}

} // namespace

void update_gga_fields(csv_builder_t& b, const std::list<msg_t*>& msgs) {
    for (const msg_t* m : msgs) {
        if (!m || m->category != msg_t::category_data) continue;
        if (const auto* d = dynamic_cast<const data_diff_t*>(m)) {
            b.set_corr_age(d->age, d->utc_tstamp);
        } else if (const auto* dd = dynamic_cast<const data_diff_detail_t*>(m)) {
            b.set_corr_mode(dd->corr_type, dd->utc_tstamp);
        } else if (const auto* h = dynamic_cast<const data_h_dop_t*>(m)) {
            b.set_hdop(h->hdop, h->utc_tstamp);
        } else if (const auto* ht = dynamic_cast<const data_height_t*>(m)) {
            b.set_height(ht->ellipsoidal_height, ht->utc_tstamp);
        } else if (const auto* p = dynamic_cast<const data_pos_t*>(m)) {
            b.set_msg_tstamp(p->utc_tstamp);
            b.set_latitude(p->latitude, p->utc_tstamp);
            b.set_longitude(p->longitude, p->utc_tstamp);
        } else if (const auto* c = dynamic_cast<const data_sat_count_t*>(m)) {
            b.set_sats_used(c->num_sats, c->utc_tstamp);
        }
    }
}

void update_vtg_fields(csv_builder_t& b, const std::list<msg_t*>& msgs) {
    for (const msg_t* m : msgs) {
        if (!m || m->category != msg_t::category_data) continue;
        if (const auto* c = dynamic_cast<const data_cog_t*>(m))
            b.set_course(c->cog, c->utc_tstamp);
        else if (const auto* s = dynamic_cast<const data_sog_t*>(m))
            b.set_speed(s->sog, s->utc_tstamp);
    }
}

void update_fom(csv_builder_t& b, const std::list<msg_t*>& msgs) {
    each<data_fom_t>(msgs, [&b](const data_fom_t& m) {
        b.set_msg_tstamp(m.utc_tstamp);
        b.set_fom(m.fom, m.utc_tstamp);
    });
}

void update_heading(csv_builder_t& b, const std::list<msg_t*>& msgs) {
    each<data_heading_t>(msgs, [&b](const data_heading_t& m) {
        b.set_msg_tstamp(m.utc_tstamp);
        b.set_heading(m.heading, m.utc_tstamp);
    });
}

void update_attitude(csv_builder_t& b, const std::list<msg_t*>& msgs) {
    for (const msg_t* m : msgs) {
        if (!m || m->category != msg_t::category_data) continue;
        if (const auto* r = dynamic_cast<const data_roll_t*>(m)) {
            b.set_msg_tstamp(r->utc_tstamp);
            b.set_roll(r->roll, r->utc_tstamp);
        } else if (const auto* p = dynamic_cast<const data_pitch_t*>(m)) {
            b.set_msg_tstamp(p->utc_tstamp);
            b.set_pitch(p->pitch, p->utc_tstamp);
        } else if (const auto* h = dynamic_cast<const data_heave_t*>(m)) {
            b.set_msg_tstamp(h->utc_tstamp);
            b.set_heave(h->heave, h->utc_tstamp);
        }
    }
}

void update_qc_summary(csv_builder_t& b, const std::list<msg_t*>& msgs) {
    each<data_qc_t>(msgs, [&b](const data_qc_t& m) {
        b.set_qaqc_ftest(m.qc_fisher_test, m.utc_tstamp);
        b.set_qaqc_unit_var(m.unit_variance, m.utc_tstamp);
        b.set_qaqc_semi_major(m.stddev_semimajor_error, m.utc_tstamp);
        b.set_qaqc_semi_minor(m.stddev_semiminor_error, m.utc_tstamp);
    });
}

void update_qc_mde(csv_builder_t& b, const std::list<msg_t*>& msgs) {
    each<data_qc_mde_t>(msgs, [&b](const data_qc_mde_t& m) {
        const double lat = m.pmde_lat, lon = m.pmde_long, alt = m.pmde_altitude;
        b.add_pos_mde(std::sqrt(lat * lat + lon * lon + alt * alt), m.utc_tstamp);
    });
}

void update_qc_gbs(csv_builder_t& b, const std::list<msg_t*>& msgs) {
    each<data_qc_gbs_t>(msgs, [&b](const data_qc_gbs_t& m) {
        b.add_raim_event(m.prob_miss_detect_mlfs > 0.0f, m.utc_tstamp);
    });
}

void update_csv_fields(csv_builder_t& b, const msg_t& msg) {
    const std::list<msg_t*> one(1, const_cast<msg_t*>(&msg));
    update_gga_fields(b, one);
    update_vtg_fields(b, one);
    update_fom(b, one);
    update_heading(b, one);
    update_attitude(b, one);
    update_qc_summary(b, one);
    update_qc_mde(b, one);
    update_qc_gbs(b, one);
}

} // namespace tern
