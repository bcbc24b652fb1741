#include "tern/config/snapshot_util.h"

#include "tern/conn/net_addr.h"
#include "tern/data/data_cache.h"
#include "tern/data/device.h"
#include "tern/data/deviceInfo.h"
#include "tern/data/port_mgr.h"
#include "tern/util/units.h"
#include "util/units_priv.h"

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

// Every piece of a page is built as text in a buffer kept per thread and written to the
// stream in one go: a page costs no allocation once the buffer has grown to a page's size.
std::string& page_text() {
    thread_local std::string text;
    // A page with a runaway text in it does not keep its memory for the thread's life.
    if (text.capacity() > 65536) text = std::string();
    text.clear();
    return text;
}

template <class F>
std::ostream& write_piece(std::ostream& os, F append) {
    std::string& text = page_text();
    append(text);
    return os.write(text.data(), static_cast<std::streamsize>(text.size()));
}

template <std::size_t N>
void put(std::string& out, const char (&literal)[N]) {
    out.append(literal, N - 1);
}

void put_escaped(std::string& out, const char* p, std::size_t len) {
    const char* end = p + len;
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
        out.append(run, static_cast<std::size_t>(p - run));
        out += ref;
        run = p + 1;
    }
    out.append(run, static_cast<std::size_t>(end - run));
}

void put_escaped(std::string& out, const std::string& text) {
    put_escaped(out, text.data(), text.size());
}

template <class T>
void put_integer(std::string& out, T v) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, v);
    out.append(digits, static_cast<std::size_t>(r.ptr - digits));
}

void put_colspan(std::string& out, const colspan_t& c) {
    if (!c.set) return;
    put(out, " colspan=\"");
    put_integer(out, c.span);
    out += '"';
}

// A cell opening up to its ">", e.g. <td class="value" colspan="2">
template <std::size_t N>
void put_open_cell(std::string& out, const char (&open)[N], const colspan_t& span) {
    put(out, open);
    put_colspan(out, span);
    out += '>';
}

// A definition row up to its value, and from its value on.
void put_def_start(std::string& out, const char* label, std::size_t label_len,
                   const colspan_t& span, unsigned int flags) {
    if (!(flags & snapshot_def_t::no_row)) put(out, "<tr>");
    put_open_cell(out, "<td class=\"definition\"", span);
    put_escaped(out, label, label_len);
    put(out, "</td>\n");
    put_open_cell(out, "<td class=\"value\"", span);
}

void put_def_end(std::string& out, unsigned int flags) {
    put(out, "</td>");
    if (!(flags & snapshot_def_t::no_row)) put(out, "</tr>\n");
}

// <tr><th colspan="N">TEXT</th></tr>, with class="subHeader" when asked
void put_header(std::string& out, const char* text, std::size_t len, const colspan_t& span,
                bool sub) {
    put(out, "<tr><th");
    put_colspan(out, span);
    if (sub) put(out, " class=\"subHeader\"");
    out += '>';
    put_escaped(out, text, len);
    put(out, "</th></tr>\n");
}

void put_table_start(std::string& out, const char* cls, bool shaded) {
    put(out, "<table class=\"");
    out += cls;
    out += '"';
    if (shaded) put(out, "   style=\"background-color:#DDEEFF;\"");
    put(out, ">\n");
}

// ---- value texts, appended; false (nothing appended) for a value that cannot be shown

bool put_fixed(std::string& out, double v, unsigned int precision, const char* tail) {
    if (!std::isfinite(v)) return false;
    // Enough for any double in fixed notation with a sane precision.
    char digits[400];
    if (precision > 60) precision = 60;
    const auto r = std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed,
                                 static_cast<int>(precision));
    if (r.ec != std::errc()) return false;
    out.append(digits, static_cast<std::size_t>(r.ptr - digits));
    out += tail;
    return true;
}

bool put_angle(std::string& out, double rad, unsigned int precision) {
    return put_fixed(out, rad * deg_per_rad, precision, deg_ref);
}

bool put_heading(std::string& out, double rad, unsigned int precision) {
    return put_angle(out, std::fmod(rad, two_pi), precision);
}

bool put_acceleration(std::string& out, double v, unsigned int precision) {
    // A named reference, not the Latin-1 byte B2: the page is UTF-8.
    return put_fixed(out, v, precision, " m/s&sup2;");
}

// The units module's own text, so a distance reads the same here as everywhere else (a value
// that rounds to zero has no minus sign).
bool put_distance(std::string& out, double v, unsigned char unit, unsigned int precision) {
    if (!std::isfinite(v)) return false;
    detail::append_dist(out, v, static_cast<dist_unit_t>(unit), precision);
    return true;
}

// An angle the units module cannot write (not finite, beyond the degrees it counts) comes out
// empty: the row then stays unset and shows "--" like any value that is not there.
bool put_latlon(std::string& out, const latlon_fmt_t& f) {
    const std::size_t from = out.size();
    detail::append_latlon(out, f);
    return out.size() != from;
}

// Runs the text of a stream-written formatter.
template <class F>
std::string formatted(const F& f) {
    std::ostringstream os;
    os.imbue(std::locale::classic());
    os << f;
    return os.str();
}

} // namespace

// ---- html_text_t

html_text_t::html_text_t(const char* text) : text_(text ? text : ""), len_(std::strlen(text_)) {}

std::ostream& operator<<(std::ostream& os, const html_text_t& t) {
    return write_piece(os, [&](std::string& out) { put_escaped(out, t.data(), t.size()); });
}

std::ostream& operator<<(std::ostream& os, const colspan_t& c) {
    return write_piece(os, [&](std::string& out) { put_colspan(out, c); });
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

// Sets a row to the text `put` writes, raw; a value that cannot be shown leaves the row as it
// was.
template <class F>
void set_own(snapshot_def_t& row, F put) {
    thread_local std::string text;
    text.clear();
    if (!put(text)) return;
    row.value = text;
    row.value_set = true;
    row.flags |= snapshot_def_t::raw_text;
}

template <class T>
void set_integer(snapshot_def_t& row, T v) {
    set_own(row, [v](std::string& out) { return put_integer(out, v), true; });
}

} // namespace

void snapshot_def_t::set(int v) {
    set_integer(*this, v);
}
void snapshot_def_t::set(unsigned int v) {
    set_integer(*this, v);
}
void snapshot_def_t::set(unsigned short v) {
    set_integer(*this, v);
}
void snapshot_def_t::set(unsigned long long v) {
    set_integer(*this, v);
}

bool snapshot_def_t::set_fixed(double v, unsigned int precision, const char* tail) {
    bool shown = false;
    set_own(*this, [&](std::string& out) { return shown = put_fixed(out, v, precision, tail); });
    return shown;
}

void snapshot_def_t::set(float v, unsigned int precision) {
    set_fixed(static_cast<double>(v), precision, "");
}
void snapshot_def_t::set(double v, unsigned int precision) {
    set_fixed(v, precision, "");
}

void snapshot_def_t::set_angle(double rad, unsigned int precision) {
    set_own(*this, [&](std::string& out) { return put_angle(out, rad, precision); });
}

void snapshot_def_t::set_heading(double rad, unsigned int precision) {
    set_own(*this, [&](std::string& out) { return put_heading(out, rad, precision); });
}

void snapshot_def_t::set_acceleration(double v, unsigned int precision) {
    set_own(*this, [&](std::string& out) { return put_acceleration(out, v, precision); });
}

void snapshot_def_t::set_distance(double v, unsigned char unit, unsigned int precision) {
    set_own(*this, [&](std::string& out) { return put_distance(out, v, unit, precision); });
}

void snapshot_def_t::set_ip_addr(unsigned int addr) {
    const std::string text = formatted(ipaddr_str_t(addr));
    set_raw(text.data(), text.size());
}

std::ostream& operator<<(std::ostream& os, const snapshot_def_t& d) {
    return write_piece(os, [&](std::string& out) {
        put_def_start(out, d.label.data(), d.label.size(), d.colspan, d.flags);
        if (!d.value_set)
            put(out, "--");
        else if (d.flags & snapshot_def_t::raw_text)
            out += d.value;
        else
            put_escaped(out, d.value);
        put_def_end(out, d.flags);
    });
}

// ---- other row kinds

std::ostream& operator<<(std::ostream& os, const snapshot_header_t& h) {
    return write_piece(os, [&](std::string& out) {
        put_header(out, h.text.data(), h.text.size(), h.colspan, false);
    });
}

std::ostream& operator<<(std::ostream& os, const snapshot_subheader_t& h) {
    return write_piece(os, [&](std::string& out) {
        put_header(out, h.text.data(), h.text.size(), h.colspan, true);
    });
}

std::ostream& operator<<(std::ostream& os, const snapshot_none_row_t& r) {
    return write_piece(os, [&](std::string& out) {
        put(out, "<tr><td");
        put_colspan(out, r.colspan);
        out += '>';
        put_escaped(out, r.text);
        put(out, "</td></tr>\n");
    });
}

std::ostream& operator<<(std::ostream& os, const snapshot_device_table_t& t) {
    return write_piece(os, [&](std::string& out) {
        put(out, "<table class=\"deviceTable\"><tr><th>");
        put_escaped(out, t.text);
        put(out, "</th></tr></table>\n");
    });
}

std::ostream& operator<<(std::ostream& os, const snapshot_two_column_table_start_t& t) {
    return write_piece(os, [&](std::string& out) { put_table_start(out, "twoColumn", t.shaded); });
}

std::ostream& operator<<(std::ostream& os, const snapshot_four_column_table_start_t& t) {
    return write_piece(os, [&](std::string& out) { put_table_start(out, "fourColumn", t.shaded); });
}

std::ostream& operator<<(std::ostream& os, const snapshot_table_end_t&) {
    return os.write("</table>\n", 9);
}

std::ostream& operator<<(std::ostream& os, const snapshot_page_start_t& p) {
    return write_piece(os, [&](std::string& out) {
        put(out, "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>");
        put_escaped(out, p.title);
        put(out, "</title>\n");
        put(out, snapshot_style_sheet);
        put(out, "</head>\n<body>\n");
    });
}

std::ostream& operator<<(std::ostream& os, const snapshot_page_end_t&) {
    return os.write("</body>\n</html>\n", 16);
}

// ---- rows of a data cache

namespace {

// A row read from a data cache or a QC summary: its label, its text up to the value (our own
// labels need no escaping), and its value appended from the source (false, nothing appended,
// while the value is not there). The correction service's name comes from the receiver and
// is escaped; every other value is our own text.
template <class Source>
struct row_kind_t {
    const char* label;
    std::size_t label_len;
    const char* head;
    std::size_t head_len;
    bool outside_text;
    bool (*value)(const Source& source, std::string& out);
};
using cache_row_t = row_kind_t<data_cache_t>;

#define TERN_ROW_HEAD(label) "<tr><td class=\"definition\">" label "</td>\n<td class=\"value\">"
#define TERN_ROW(label, outside_text, ...)                                                         \
    {                                                                                              \
        label, sizeof label - 1, TERN_ROW_HEAD(label), sizeof TERN_ROW_HEAD(label) - 1,            \
            outside_text, __VA_ARGS__                                                              \
    }
#define TERN_CACHE_ROW(label, ...)                                                                 \
    TERN_ROW(label, false, [](const data_cache_t& c, std::string& out) __VA_ARGS__)

bool put_text(std::string& out, const char* text) {
    out += text;
    return true;
}

constexpr cache_row_t latitude_row = TERN_CACHE_ROW("Latitude", {
    double v = 0.0;
    return c.get_latitude(v) && put_latlon(out, lat_fmt_t(v, latlon_unit_degmin, 6));
});

constexpr cache_row_t longitude_row = TERN_CACHE_ROW("Longitude", {
    double v = 0.0;
    return c.get_longitude(v) && put_latlon(out, lon_fmt_t(v, latlon_unit_degmin, 6));
});

constexpr cache_row_t height_row = TERN_CACHE_ROW("Height", {
    double v = 0.0;
    return c.get_ellipsoidal_height(v) && put_distance(out, v, dist_unit_meter, 2);
});

constexpr cache_row_t speed_row = TERN_CACHE_ROW("Speed", {
    float v = 0.0f;
    if (!c.get_speed(v) || !std::isfinite(v)) return false;
    detail::append_speed(out, static_cast<double>(v), speed_unit_mps, 1);
    return true;
});

constexpr cache_row_t course_row = TERN_CACHE_ROW("Course", {
    float v = 0.0f;
    return c.get_course(v) && put_heading(out, static_cast<double>(v), 1);
});

constexpr cache_row_t fix_mode_row = TERN_CACHE_ROW("Fix Mode", {
    const data_fix_type_t* fix = c.fix_type();
    if (!fix) return false;
    if (!fix->fix_valid) return put_text(out, "No Fix");
    out += fix->fix_auto ? "Auto" : "Manual";
    return put_text(out, fix->fix_3d ? " 3D" : " 2D");
});

constexpr cache_row_t hdop_row = TERN_CACHE_ROW("HDOP", {
    float v = 0.0f;
    return c.get_hdop(v) && put_fixed(out, static_cast<double>(v), 1, "");
});

constexpr cache_row_t pdop_row = TERN_CACHE_ROW("PDOP", {
    float v = 0.0f;
    return c.get_pdop(v) && put_fixed(out, static_cast<double>(v), 1, "");
});

constexpr cache_row_t vdop_row = TERN_CACHE_ROW("VDOP", {
    float v = 0.0f;
    return c.get_vdop(v) && put_fixed(out, static_cast<double>(v), 1, "");
});

constexpr cache_row_t num_sats_row = TERN_CACHE_ROW("Num Sats", {
    unsigned int n = 0;
    if (c.get_num_sats_used(n))
        put_integer(out, n);
    else
        put(out, "--");
    out += '/';
    if (c.get_num_sats_tracked(n))
        put_integer(out, n);
    else
        put(out, "--");
    return true;
});

constexpr cache_row_t fom_row = TERN_CACHE_ROW("FOM", {
    float v = 0.0f;
    return c.get_fom(v) && put_fixed(out, static_cast<double>(v), 2, "");
});

constexpr cache_row_t dual_freq_row = TERN_CACHE_ROW("Frequency", {
    bool v = false;
    return c.get_dual_freq(v) && put_text(out, v ? "Dual" : "Single");
});

constexpr cache_row_t diff_name_row =
    TERN_ROW("Corrections Mode", true, [](const data_cache_t& c, std::string& out) {
        thread_local std::string name;
        if (!c.get_diff_detail_name(name)) return false;
        out += name;
        return true;
    });

constexpr cache_row_t diff_age_row = TERN_CACHE_ROW("Diff Age", {
    float v = 0.0f;
    return c.get_diff_age(v) && put_fixed(out, static_cast<double>(v), 1, "");
});

constexpr cache_row_t heading_row = TERN_CACHE_ROW("Heading", {
    float v = 0.0f;
    return c.get_heading(v) && put_heading(out, static_cast<double>(v), 1);
});

constexpr cache_row_t roll_row = TERN_CACHE_ROW("Roll", {
    float v = 0.0f;
    return c.get_roll(v) && put_angle(out, static_cast<double>(v), 1);
});

constexpr cache_row_t pitch_row = TERN_CACHE_ROW("Pitch", {
    float v = 0.0f;
    return c.get_pitch(v) && put_angle(out, static_cast<double>(v), 1);
});

constexpr cache_row_t heave_row = TERN_CACHE_ROW("Heave", {
    float v = 0.0f;
    return c.get_heave(v) && put_distance(out, static_cast<double>(v), dist_unit_meter, 2);
});

constexpr cache_row_t depth_row = TERN_CACHE_ROW("Depth Below Transducer", {
    double v = 0.0;
    return c.get_depth(v) && put_distance(out, v, dist_unit_meter, 2);
});

constexpr cache_row_t motion_status_row = TERN_CACHE_ROW("Motion Status", {
    tss1Msg_t::status_t v{};
    return c.get_motion_status(v) && put_text(out, motion_status_string(static_cast<int>(v)));
});

constexpr cache_row_t horiz_accel_row = TERN_CACHE_ROW("Horizontal Acceleration", {
    double v = 0.0;
    return c.get_horiz_accel(v) && put_acceleration(out, v, 2);
});

constexpr cache_row_t vert_accel_row = TERN_CACHE_ROW("Vertical Acceleration", {
    double v = 0.0;
    return c.get_vert_accel(v) && put_acceleration(out, v, 2);
});

bool qc_metres(std::string& out, float v) {
    return put_distance(out, static_cast<double>(v), dist_unit_meter, 2);
}

// The quality-control rows shown from the QC summary while it is current.
#define TERN_QC_ROW(label, expr)                                                                   \
    TERN_ROW(label, false, [](const data_qc_t& qc, std::string& out) { return expr; })
constexpr row_kind_t<data_qc_t> qc_summary_rows[] = {
    TERN_QC_ROW("QC Error Semi Major Axis", qc_metres(out, qc.stddev_semimajor_error)),
    TERN_QC_ROW("QC Error Semi Minor Axis", qc_metres(out, qc.stddev_semiminor_error)),
    TERN_QC_ROW("QC Error Orientation",
                put_heading(out, static_cast<double>(qc.orientation_semimajor_error), 2)),
    TERN_QC_ROW("QC Latitude Error", qc_metres(out, qc.stddev_latitude_error)),
    TERN_QC_ROW("QC Longitude Error", qc_metres(out, qc.stddev_longitude_error)),
    TERN_QC_ROW("QC Height Error", qc_metres(out, qc.stddev_height_error)),
    TERN_QC_ROW("QC Unit Variance", put_fixed(out, static_cast<double>(qc.unit_variance), 2, "")),
    TERN_QC_ROW("F-Test", put_text(out, qc.qc_fisher_test ? "Pass" : "Fail")),
};
#undef TERN_QC_ROW

constexpr cache_row_t max_mde_row = TERN_CACHE_ROW("Maximum MDE(r)", {
    double v = 0.0;
    return c.get_max_mde_pos(v) && put_distance(out, v, dist_unit_meter, 2);
});

constexpr cache_row_t raim_rejects_row = TERN_CACHE_ROW("RAIM Reject Count", {
    unsigned int v = 0;
    return c.get_raim_reject_count(v) && (put_integer(out, v), true);
});

constexpr unsigned int row_flags = snapshot_def_t::raw_text;

#undef TERN_CACHE_ROW
#undef TERN_ROW
#undef TERN_ROW_HEAD

// The row object of a kind, as constructed from its source: its value as the page would
// show it.
template <class Source>
snapshot_def_t row_object(const row_kind_t<Source>& kind, const Source* source) {
    snapshot_def_t row(std::string(kind.label, kind.label_len), row_flags);
    if (source && kind.value(*source, row.value)) {
        row.value_set = true;
        if (kind.outside_text) row.flags &= ~snapshot_def_t::raw_text;
    }
    return row;
}

// The row as its row object would write it, without the object.
template <class Source>
void put_row(std::string& out, const row_kind_t<Source>& kind, const Source* source) {
    out.append(kind.head, kind.head_len);
    if (!source) {
        put(out, "--");
    } else if (kind.outside_text) {
        thread_local std::string text;
        text.clear();
        if (kind.value(*source, text))
            put_escaped(out, text);
        else
            put(out, "--");
    } else if (!kind.value(*source, out)) {
        put(out, "--");
    }
    put(out, "</td></tr>\n");
}

template <std::size_t N>
void put_section(std::string& out, const char (&header)[N],
                 std::initializer_list<const cache_row_t*> rows, const data_cache_t& cache) {
    put_header(out, header, N - 1, 2, false);
    for (const cache_row_t* kind : rows) put_row(out, *kind, &cache);
}

void put_qc_summary(std::string& out, const data_cache_t& cache) {
    static const char subheader[] = "Current QC Values";
    put_header(out, subheader, sizeof subheader - 1, 2, true);
    const data_qc_t* qc = cache.qc_summary();
    for (const auto& kind : qc_summary_rows) put_row(out, kind, qc);
    put_row(out, max_mde_row, &cache);
    put_row(out, raim_rejects_row, &cache);
}

} // namespace

#define TERN_CACHE_ROW_CLASS(name, kind)                                                           \
    name::name(const data_cache_t& cache) : snapshot_def_t(row_object(kind, &cache)) {}
TERN_CACHE_ROW_CLASS(snapshot_latitude_t, latitude_row)
TERN_CACHE_ROW_CLASS(snapshot_longitude_t, longitude_row)
TERN_CACHE_ROW_CLASS(snapshot_height_t, height_row)
TERN_CACHE_ROW_CLASS(snapshot_speed_t, speed_row)
TERN_CACHE_ROW_CLASS(snapshot_course_t, course_row)
TERN_CACHE_ROW_CLASS(snapshot_hdop_t, hdop_row)
TERN_CACHE_ROW_CLASS(snapshot_pdop_t, pdop_row)
TERN_CACHE_ROW_CLASS(snapshot_vdop_t, vdop_row)
TERN_CACHE_ROW_CLASS(snapshot_num_sats_t, num_sats_row)
TERN_CACHE_ROW_CLASS(snapshot_fom_t, fom_row)
TERN_CACHE_ROW_CLASS(snapshot_roll_t, roll_row)
TERN_CACHE_ROW_CLASS(snapshot_pitch_t, pitch_row)
TERN_CACHE_ROW_CLASS(snapshot_heave_t, heave_row)
TERN_CACHE_ROW_CLASS(snapshot_heading_t, heading_row)
TERN_CACHE_ROW_CLASS(snapshot_depth_t, depth_row)
TERN_CACHE_ROW_CLASS(snapshot_dual_freq_t, dual_freq_row)
TERN_CACHE_ROW_CLASS(snapshot_diff_name_t, diff_name_row)
TERN_CACHE_ROW_CLASS(snapshot_fix_mode_t, fix_mode_row)
TERN_CACHE_ROW_CLASS(snapshot_diff_age_t, diff_age_row)
TERN_CACHE_ROW_CLASS(snapshot_motion_status_t, motion_status_row)
TERN_CACHE_ROW_CLASS(snapshot_horiz_accel_t, horiz_accel_row)
TERN_CACHE_ROW_CLASS(snapshot_vert_accel_t, vert_accel_row)
#undef TERN_CACHE_ROW_CLASS

const char* motion_status_string(int status) {
    static const char* const texts[] = {"Unaided Settled",       "Unaided Settling",
                                        "GPS Aided Settled",     "GPS Aided Settling",
                                        "Heading Aided Settled", "Heading Aided Settling",
                                        "Full Aided Settled",    "Full Aided Settling"};
    return (status >= 0 && status < 8) ? texts[status] : Unknown_str;
}

// ---- QC summary

snapshot_qc_summary_t::snapshot_qc_summary_t(const data_cache_t& cache) {
    const data_qc_t* qc = cache.qc_summary();
    unsigned int i = 0;
    for (const auto& kind : qc_summary_rows) rows[i++] = row_object(kind, qc);
    rows[i++] = row_object(max_mde_row, &cache);
    rows[i++] = row_object(raim_rejects_row, &cache);
}

std::ostream& operator<<(std::ostream& os, const snapshot_qc_summary_t& q) {
    os << snapshot_subheader_t("Current QC Values", 2);
    for (const snapshot_def_t& row : q.rows) os << row;
    return os;
}

void write_cache_snapshot(std::ostream& os, const data_cache_t& cache, bool shaded) {
    write_piece(os, [&](std::string& out) {
        put_table_start(out, "twoColumn", shaded);
        put_section(
            out, "Position",
            {&latitude_row, &longitude_row, &height_row, &speed_row, &course_row, &fix_mode_row},
            cache);
        put_section(out, "Quality",
                    {&hdop_row, &pdop_row, &vdop_row, &num_sats_row, &fom_row, &dual_freq_row},
                    cache);
        put_section(out, "Corrections", {&diff_name_row, &diff_age_row}, cache);
        put_section(out, "Attitude",
                    {&heading_row, &roll_row, &pitch_row, &heave_row, &depth_row,
                     &motion_status_row, &horiz_accel_row, &vert_accel_row},
                    cache);
        put_qc_summary(out, cache);
        put(out, "</table>\n");
    });
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
