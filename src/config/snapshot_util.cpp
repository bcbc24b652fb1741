#include "tern/config/snapshot_util.h"

#include "tern/conn/net_addr.h"
#include "tern/data/data_cache.h"
#include "tern/data/device.h"
#include "tern/data/deviceInfo.h"
#include "tern/data/port_mgr.h"
#include "tern/util/units.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <locale>
#include <ostream>
#include <sstream>

namespace tern {

const char nothing_str[] = "--";
const char Yes_str[] = "Yes";
const char No_str[] = "No";
const char None_str[] = "None";

namespace {

constexpr double two_pi = 6.28318530717958647692;
constexpr double deg_per_rad = 180.0 / 3.14159265358979323846;
// The degree sign as the pages have always written it: the legacy entity without its
// semicolon, which every browser shows as the sign.
constexpr char deg_ref[] = "&deg";

// Runs the text of a stream-written formatter; the stream is kept per thread so that a page
// does not build a stream per row.
template <class F>
std::string formatted(const F& f) {
    thread_local std::ostringstream os = [] {
        std::ostringstream s;
        s.imbue(std::locale::classic());
        return s;
    }();
    os.str(std::string());
    os.clear();
    os << f;
    return os.str();
}

void write_open_cell(std::ostream& os, const char* open, const colspan_t& span) {
    os << open << span;
}

} // namespace

// ---- html_text_t

html_text_t::html_text_t(const char* text) : text_(text ? text : ""), len_(std::strlen(text_)) {}

std::ostream& operator<<(std::ostream& os, const html_text_t& t) {
    const char* p = t.data();
    const char* end = p + t.size();
    const char* run = p;
    for (; p != end; ++p) {
        const char* ref = nullptr;
        switch (*p) {
        case '"':
            ref = "&quot;";
            break;
        case '&':
            ref = "&amp;";
            break;
        case '\'':
            ref = "&#39;";
            break;
        case '<':
            ref = "&lt;";
            break;
        case '>':
            ref = "&gt;";
            break;
        default:
            continue;
        }
        os.write(run, p - run);
        os << ref;
        run = p + 1;
    }
    os.write(run, end - run);
    return os;
}

std::ostream& operator<<(std::ostream& os, const colspan_t& c) {
    if (c.set) {
        char digits[16];
        const auto r = std::to_chars(digits, digits + sizeof digits, c.span);
        os << " colspan=\"";
        os.write(digits, r.ptr - digits);
        os << '"';
    }
    return os;
}

// ---- snapshot_def_t

snapshot_def_t::snapshot_def_t(std::string label_text, unsigned int flag_bits, colspan_t span)
    : colspan(span), flags(flag_bits), label(std::move(label_text)) {}

void snapshot_def_t::set(const std::string& text) {
    value = text;
    value_set = true;
}

void snapshot_def_t::set(const char* text) {
    value = text ? text : "";
    value_set = true;
}

void snapshot_def_t::set_raw(const char* text, std::size_t len) {
    value.assign(text, len);
    value_set = true;
    flags |= raw_text;
}

void snapshot_def_t::set(bool v) {
    const char* t = v ? Yes_str : No_str;
    set_raw(t, std::strlen(t));
}

namespace {
template <class T>
void integer_text(T v, std::string& out) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, v);
    out.assign(digits, r.ptr);
}
} // namespace

void snapshot_def_t::set(int v) {
    integer_text(v, value);
    set_raw(value.data(), value.size());
}
void snapshot_def_t::set(unsigned int v) {
    integer_text(v, value);
    set_raw(value.data(), value.size());
}
void snapshot_def_t::set(unsigned short v) {
    integer_text(v, value);
    set_raw(value.data(), value.size());
}
void snapshot_def_t::set(unsigned long long v) {
    integer_text(v, value);
    set_raw(value.data(), value.size());
}

bool snapshot_def_t::set_fixed(double v, unsigned int precision, const char* tail) {
    if (!std::isfinite(v)) return false;
    // Enough for any double in fixed notation with a sane precision.
    char digits[400];
    if (precision > 60) precision = 60;
    const auto r = std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed,
                                 static_cast<int>(precision));
    if (r.ec != std::errc()) return false;
    value.assign(digits, r.ptr);
    value += tail;
    value_set = true;
    flags |= raw_text;
    return true;
}

void snapshot_def_t::set(float v, unsigned int precision) {
    set_fixed(static_cast<double>(v), precision, "");
}
void snapshot_def_t::set(double v, unsigned int precision) {
    set_fixed(v, precision, "");
}

void snapshot_def_t::set_angle(double rad, unsigned int precision) {
    set_fixed(rad * deg_per_rad, precision, deg_ref);
}

void snapshot_def_t::set_heading(double rad, unsigned int precision) {
    set_angle(std::fmod(rad, two_pi), precision);
}

void snapshot_def_t::set_acceleration(double v, unsigned int precision) {
    // A named reference, not the Latin-1 byte B2: the page is UTF-8.
    set_fixed(v, precision, " m/s&sup2;");
}

void snapshot_def_t::set_distance(double v, unsigned char unit, unsigned int precision) {
    // The units module's own text, so a distance reads the same here as everywhere else
    // (a value that rounds to zero has no minus sign).
    if (!std::isfinite(v)) return;
    const std::string text = formatted(dist_fmt_t(v, static_cast<dist_unit_t>(unit), precision));
    set_raw(text.data(), text.size());
}

void snapshot_def_t::set_ip_addr(unsigned int addr) {
    const std::string text = formatted(ipaddr_str_t(addr));
    set_raw(text.data(), text.size());
}

std::ostream& operator<<(std::ostream& os, const snapshot_def_t& d) {
    const bool row = !(d.flags & snapshot_def_t::no_row);
    if (row) os << "<tr>";
    write_open_cell(os, "<td class=\"definition\"", d.colspan);
    os << '>' << html_text_t(d.label) << "</td>\n";
    write_open_cell(os, "<td class=\"value\"", d.colspan);
    os << '>';
    if (!d.value_set)
        os << nothing_str;
    else if (d.flags & snapshot_def_t::raw_text)
        os << d.value;
    else
        os << html_text_t(d.value);
    os << "</td>";
    if (row) os << "</tr>\n";
    return os;
}

// ---- other row kinds

std::ostream& operator<<(std::ostream& os, const snapshot_header_t& h) {
    write_open_cell(os, "<tr><th", h.colspan);
    return os << '>' << html_text_t(h.text) << "</th></tr>\n";
}

std::ostream& operator<<(std::ostream& os, const snapshot_subheader_t& h) {
    write_open_cell(os, "<tr><th", h.colspan);
    return os << " class=\"subHeader\">" << html_text_t(h.text) << "</th></tr>\n";
}

std::ostream& operator<<(std::ostream& os, const snapshot_none_row_t& r) {
    write_open_cell(os, "<tr><td", r.colspan);
    return os << '>' << html_text_t(r.text) << "</td></tr>\n";
}

std::ostream& operator<<(std::ostream& os, const snapshot_device_table_t& t) {
    return os << "<table class=\"deviceTable\"><tr><th>" << html_text_t(t.text)
              << "</th></tr></table>\n";
}

namespace {
std::ostream& table_start(std::ostream& os, const char* cls, bool shaded) {
    os << "<table class=\"" << cls << '"';
    if (shaded) os << "   style=\"background-color:#DDEEFF;\"";
    return os << ">\n";
}
} // namespace

std::ostream& operator<<(std::ostream& os, const snapshot_two_column_table_start_t& t) {
    return table_start(os, "twoColumn", t.shaded);
}

std::ostream& operator<<(std::ostream& os, const snapshot_four_column_table_start_t& t) {
    return table_start(os, "fourColumn", t.shaded);
}

std::ostream& operator<<(std::ostream& os, const snapshot_table_end_t&) {
    return os << "</table>\n";
}

std::ostream& operator<<(std::ostream& os, const snapshot_page_start_t& p) {
    return os << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>"
              << html_text_t(p.title) << "</title>\n"
              << snapshot_style_sheet << "</head>\n<body>\n";
}

std::ostream& operator<<(std::ostream& os, const snapshot_page_end_t&) {
    return os << "</body>\n</html>\n";
}

// ---- row classes

namespace {
constexpr unsigned int row_flags = snapshot_def_t::raw_text;
} // namespace

namespace {
// An angle the units module cannot write (not finite, beyond the degrees it counts) comes out
// empty: the row then stays unset and shows "--" like any value that is not there.
void set_latlon(snapshot_def_t& row, const latlon_fmt_t& f) {
    std::string text = formatted(f);
    if (text.empty()) return;
    row.value = std::move(text);
    row.value_set = true;
}
} // namespace

snapshot_latitude_t::snapshot_latitude_t(const data_cache_t& cache)
    : snapshot_def_t("Latitude", row_flags) {
    double v = 0.0;
    if (cache.get_latitude(v)) set_latlon(*this, lat_fmt_t(v, latlon_unit_degmin, 6));
}

snapshot_longitude_t::snapshot_longitude_t(const data_cache_t& cache)
    : snapshot_def_t("Longitude", row_flags) {
    double v = 0.0;
    if (cache.get_longitude(v)) set_latlon(*this, lon_fmt_t(v, latlon_unit_degmin, 6));
}

snapshot_height_t::snapshot_height_t(const data_cache_t& cache)
    : snapshot_def_t("Height", row_flags) {
    double v = 0.0;
    if (cache.get_ellipsoidal_height(v)) set_distance(v, dist_unit_meter, 2);
}

snapshot_speed_t::snapshot_speed_t(const data_cache_t& cache) : snapshot_def_t("Speed", row_flags) {
    float v = 0.0f;
    if (cache.get_speed(v) && std::isfinite(v)) {
        value = formatted(speed_fmt_t(static_cast<double>(v), speed_unit_mps, 1));
        value_set = true;
    }
}

snapshot_course_t::snapshot_course_t(const data_cache_t& cache)
    : snapshot_def_t("Course", row_flags) {
    float v = 0.0f;
    if (cache.get_course(v)) set_heading(static_cast<double>(v), 1);
}

snapshot_hdop_t::snapshot_hdop_t(const data_cache_t& cache) : snapshot_def_t("HDOP", row_flags) {
    float v = 0.0f;
    if (cache.get_hdop(v)) set(v, 1);
}

snapshot_pdop_t::snapshot_pdop_t(const data_cache_t& cache) : snapshot_def_t("PDOP", row_flags) {
    float v = 0.0f;
    if (cache.get_pdop(v)) set(v, 1);
}

snapshot_vdop_t::snapshot_vdop_t(const data_cache_t& cache) : snapshot_def_t("VDOP", row_flags) {
    float v = 0.0f;
    if (cache.get_vdop(v)) set(v, 1);
}

snapshot_num_sats_t::snapshot_num_sats_t(const data_cache_t& cache)
    : snapshot_def_t("Num Sats", row_flags) {
    unsigned int used = 0, tracked = 0;
    std::string text;
    if (cache.get_num_sats_used(used))
        integer_text(used, text);
    else
        text = nothing_str;
    text += '/';
    if (cache.get_num_sats_tracked(tracked)) {
        std::string t;
        integer_text(tracked, t);
        text += t;
    } else {
        text += nothing_str;
    }
    set_raw(text.data(), text.size());
}

snapshot_fom_t::snapshot_fom_t(const data_cache_t& cache) : snapshot_def_t("FOM", row_flags) {
    float v = 0.0f;
    if (cache.get_fom(v)) set(v, 2);
}

snapshot_roll_t::snapshot_roll_t(const data_cache_t& cache) : snapshot_def_t("Roll", row_flags) {
    float v = 0.0f;
    if (cache.get_roll(v)) set_angle(static_cast<double>(v), 1);
}

snapshot_pitch_t::snapshot_pitch_t(const data_cache_t& cache) : snapshot_def_t("Pitch", row_flags) {
    float v = 0.0f;
    if (cache.get_pitch(v)) set_angle(static_cast<double>(v), 1);
}

snapshot_heave_t::snapshot_heave_t(const data_cache_t& cache) : snapshot_def_t("Heave", row_flags) {
    float v = 0.0f;
    if (cache.get_heave(v)) set_distance(static_cast<double>(v), dist_unit_meter, 2);
}

snapshot_heading_t::snapshot_heading_t(const data_cache_t& cache)
    : snapshot_def_t("Heading", row_flags) {
    float v = 0.0f;
    if (cache.get_heading(v)) set_heading(static_cast<double>(v), 1);
}

snapshot_depth_t::snapshot_depth_t(const data_cache_t& cache)
    : snapshot_def_t("Depth Below Transducer", row_flags) {
    double v = 0.0;
    if (cache.get_depth(v)) set_distance(v, dist_unit_meter, 2);
}

snapshot_dual_freq_t::snapshot_dual_freq_t(const data_cache_t& cache)
    : snapshot_def_t("Frequency", row_flags) {
    bool v = false;
    if (cache.get_dual_freq(v)) set(v ? "Dual" : "Single");
}

snapshot_diff_name_t::snapshot_diff_name_t(const data_cache_t& cache)
    : snapshot_def_t("Corrections Mode", row_flags) {
    std::string v;
    if (cache.get_diff_detail_name(v)) {
        // The receiver names the service: that text is escaped like any other outside text.
        set(v);
        flags &= ~raw_text;
    }
}

snapshot_fix_mode_t::snapshot_fix_mode_t(const data_cache_t& cache)
    : snapshot_def_t("Fix Mode", row_flags) {
    const data_fix_type_t* fix = cache.fix_type();
    if (!fix) return;
    if (!fix->fix_valid)
        set("No Fix");
    else
        set(std::string(fix->fix_auto ? "Auto" : "Manual") + (fix->fix_3d ? " 3D" : " 2D"));
}

snapshot_diff_age_t::snapshot_diff_age_t(const data_cache_t& cache)
    : snapshot_def_t("Diff Age", row_flags) {
    float v = 0.0f;
    if (cache.get_diff_age(v)) set(v, 1);
}

const char* motion_status_string(int status) {
    static const char* const texts[] = {"Unaided Settled",       "Unaided Settling",
                                        "GPS Aided Settled",     "GPS Aided Settling",
                                        "Heading Aided Settled", "Heading Aided Settling",
                                        "Full Aided Settled",    "Full Aided Settling"};
    return (status >= 0 && status < 8) ? texts[status] : Unknown_str;
}

snapshot_motion_status_t::snapshot_motion_status_t(const data_cache_t& cache)
    : snapshot_def_t("Motion Status", row_flags) {
    tss1Msg_t::status_t v{};
    if (cache.get_motion_status(v)) set(motion_status_string(static_cast<int>(v)));
}

snapshot_horiz_accel_t::snapshot_horiz_accel_t(const data_cache_t& cache)
    : snapshot_def_t("Horizontal Acceleration", row_flags) {
    double v = 0.0;
    if (cache.get_horiz_accel(v)) set_acceleration(v, 2);
}

snapshot_vert_accel_t::snapshot_vert_accel_t(const data_cache_t& cache)
    : snapshot_def_t("Vertical Acceleration", row_flags) {
    double v = 0.0;
    if (cache.get_vert_accel(v)) set_acceleration(v, 2);
}

// ---- QC summary

snapshot_qc_summary_t::snapshot_qc_summary_t(const data_cache_t& cache)
    : rows{snapshot_def_t("QC Error Semi Major Axis", row_flags),
           snapshot_def_t("QC Error Semi Minor Axis", row_flags),
           snapshot_def_t("QC Error Orientation", row_flags),
           snapshot_def_t("QC Latitude Error", row_flags),
           snapshot_def_t("QC Longitude Error", row_flags),
           snapshot_def_t("QC Height Error", row_flags),
           snapshot_def_t("QC Unit Variance", row_flags),
           snapshot_def_t("F-Test", row_flags),
           snapshot_def_t("Maximum MDE(r)", row_flags),
           snapshot_def_t("RAIM Reject Count", row_flags)} {
    if (const data_qc_t* qc = cache.qc_summary()) {
        auto metres = [](float v) { return static_cast<double>(v); };
        rows[0].set_distance(metres(qc->stddev_semimajor_error), dist_unit_meter, 2);
        rows[1].set_distance(metres(qc->stddev_semiminor_error), dist_unit_meter, 2);
        rows[2].set_heading(metres(qc->orientation_semimajor_error), 2);
        rows[3].set_distance(metres(qc->stddev_latitude_error), dist_unit_meter, 2);
        rows[4].set_distance(metres(qc->stddev_longitude_error), dist_unit_meter, 2);
        rows[5].set_distance(metres(qc->stddev_height_error), dist_unit_meter, 2);
        rows[6].set(qc->unit_variance, 2);
        rows[7].set(qc->qc_fisher_test ? "Pass" : "Fail");
    }
    double mde = 0.0;
    if (cache.get_max_mde_pos(mde)) rows[8].set_distance(mde, dist_unit_meter, 2);
    unsigned int rejects = 0;
    if (cache.get_raim_reject_count(rejects)) rows[9].set(rejects);
}

std::ostream& operator<<(std::ostream& os, const snapshot_qc_summary_t& q) {
    os << snapshot_subheader_t("Current QC Values", 2);
    for (const snapshot_def_t& row : q.rows) os << row;
    return os;
}

void write_cache_snapshot(std::ostream& os, const data_cache_t& cache, bool shaded) {
    os << snapshot_two_column_table_start_t(shaded) << snapshot_header_t("Position", 2)
       << snapshot_latitude_t(cache) << snapshot_longitude_t(cache) << snapshot_height_t(cache)
       << snapshot_speed_t(cache) << snapshot_course_t(cache) << snapshot_fix_mode_t(cache)
       << snapshot_header_t("Quality", 2) << snapshot_hdop_t(cache) << snapshot_pdop_t(cache)
       << snapshot_vdop_t(cache) << snapshot_num_sats_t(cache) << snapshot_fom_t(cache)
       << snapshot_dual_freq_t(cache) << snapshot_header_t("Corrections", 2)
       << snapshot_diff_name_t(cache) << snapshot_diff_age_t(cache)
       << snapshot_header_t("Attitude", 2) << snapshot_heading_t(cache) << snapshot_roll_t(cache)
       << snapshot_pitch_t(cache) << snapshot_heave_t(cache) << snapshot_depth_t(cache)
       << snapshot_motion_status_t(cache) << snapshot_horiz_accel_t(cache)
       << snapshot_vert_accel_t(cache) << snapshot_qc_summary_t(cache) << snapshot_table_end_t();
}

// ---- device description

std::string snapshotDeviceDesc(dev_controller_t& controller, int port) {
    device_t* dev = controller.find_device(port);
    if (!dev) return None_str;
    const deviceInfo_t* info = dev->device_info();
    std::string text = info ? info->type_name : std::string(Unknown_str);
    text += " on ";
    const port_mgr_t* mgr = controller.port_manager();
    text += mgr ? mgr->get_port_name(port) : std::string("NONE");
    if (!dev->customName().empty()) text += " (" + dev->customName() + ")";
    return text;
}

std::string snapshotDeviceDesc(dev_controller_t* controller, int port) {
    return controller ? snapshotDeviceDesc(*controller, port) : std::string(None_str);
}

} // namespace tern
