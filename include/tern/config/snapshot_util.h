// The pieces of the HTML status snapshot: the style sheet, writers for tables, headers and
// rows, text escaping, and the row classes that each read one value from a device's data
// cache and format it.
//
// A page written from these pieces looks like this (one row per line; "<td>" pairs of a
// definition row are on two lines):
//
//   <!DOCTYPE html>
//   <html lang="en">
//   <head>
//   <meta charset="utf-8">
//   <title>Controller snapshot</title>
//   <style type="text/css">            the style sheet below
//   ...
//   </style>
//   </head>
//   <body>
//   <table class="deviceTable"><tr><th>ternrimba on COM1 (Bow antenna)</th></tr></table>
//   <table class="twoColumn">
//   <tr><th colspan="2">Position</th></tr>
//   <tr><td class="definition">Latitude</td>
//   <td class="value">59&deg57.0000'N</td></tr>
//   ...
//   </table>
//   </body>
//   </html>
//
// Texts that come from a device or a user (labels, headers, device names, correction service
// names) are escaped; only the values our own formatters write (with their character
// references such as "&deg") go into the page as they are. An unset value shows "--".
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <utility>

namespace tern {

class data_cache_t;
class dev_controller_t;
class data_qc_t;

// Texts of values.
extern const char nothing_str[]; // "--": a value that is not set
extern const char Yes_str[];     // "Yes"
extern const char No_str[];      // "No"
extern const char None_str[];    // "None"
extern const char Unknown_str[]; // "Unknown" (shared with the CSV field names)

// The page's style sheet, written once in its head.
inline constexpr char snapshot_style_sheet[] = "<style type=\"text/css\">\n"
                                               "body\n{\n"
                                               "\ttext-align: center;\n"
                                               "\tmargin-right: auto;\n"
                                               "\tmargin-left: auto;\n"
                                               "\twidth: 95%;\n"
                                               "}\n"
                                               "table\n{\n"
                                               "\twidth: 100%;\n"
                                               "\ttext-align: center;\n"
                                               "\tmargin-right: auto;\n"
                                               "\tmargin-left: auto;\n"
                                               "}\n"
                                               "table, th, td\n{\n"
                                               "\tborder: 2px solid black;\n"
                                               "\tborder-collapse:collapse;\n"
                                               "\tpadding: 2px 2px 5px 5px;\n"
                                               "}\n"
                                               "table.deviceTable\n{\n"
                                               "\twidth: 100%;\n"
                                               "}\n"
                                               "table.deviceTable th\n{\n"
                                               "\tfont-size: 25pt;\n"
                                               "\tbackground-color: #0299f2;\n"
                                               "}\n"
                                               "table.twoColumn td\n{\n"
                                               "\twidth: 50%;\n"
                                               "}\n"
                                               "table.fourColumn td\n{\n"
                                               "\twidth: 25%;\n"
                                               "}\n"
                                               "th\n{\n"
                                               "\tfont-size: 18pt;\n"
                                               "\tbackground-color: #71c6f8;\n"
                                               "}\n"
                                               "th.subHeader\n{\n"
                                               "\tfont-size: 12pt;\n"
                                               "\tfont-style: italic;\n"
                                               "\tbackground-color: #71c6f8;\n"
                                               "}\n"
                                               "td.definition\n{\n"
                                               "\ttext-align: right;\n"
                                               "}\n"
                                               "td.value\n{\n"
                                               "\tfont-weight: bold;\n"
                                               "\ttext-align: left;\n"
                                               "}\n"
                                               "</style>\n";

// A text written escaped: " & ' < > become &quot; &amp; &#39; &lt; &gt;, every other byte
// is written as it is. The text is borrowed and must outlive the object.
class html_text_t {
public:
    explicit html_text_t(const std::string& text) : text_(text.data()), len_(text.size()) {}
    explicit html_text_t(const char* text);

    const char* data() const { return text_; }
    std::size_t size() const { return len_; }

private:
    const char* text_ = nullptr;
    std::size_t len_ = 0;
};
std::ostream& operator<<(std::ostream& os, const html_text_t& t);

// The column span of a cell: written as ` colspan="N"` when set, nothing otherwise.
class colspan_t {
public:
    unsigned int span = 0;
    bool set = false;

    colspan_t() = default;
    colspan_t(unsigned int n) : span(n), set(true) {} // NOLINT: a plain count converts
};
std::ostream& operator<<(std::ostream& os, const colspan_t& c);

// One definition row: a label cell and a value cell.
//
//   <tr><td class="definition">LABEL</td>
//   <td class="value">VALUE</td></tr>
//
// The label is always escaped. The value is "--" while unset, written as it is with the
// raw_text flag, else escaped. With no_row the <tr> and </tr> (and the line end after the
// value) are left out, so two rows can share one table row of a four-column table.
class snapshot_def_t {
public:
    static constexpr unsigned int raw_text = 1; // the value is written without escaping
    static constexpr unsigned int no_row = 2;   // no enclosing table-row element

    colspan_t colspan;
    unsigned int flags = 0;
    std::string label;
    std::string value;
    bool value_set = false;

    snapshot_def_t() = default;
    explicit snapshot_def_t(std::string label_text, unsigned int flag_bits = 0,
                            colspan_t span = colspan_t());

    // The text as given; escaped on output unless the row is raw.
    void set(const std::string& text);
    void set(const char* text);
    // The setters below write our own formatting and mark the row raw. A NaN or infinite
    // number leaves the value unset ("--"): a page never shows "nan".
    void set(bool v); // "Yes" or "No"
    void set(int v);
    void set(unsigned int v);
    void set(unsigned short v);
    void set(unsigned long long v);
    void set(float v, unsigned int precision);  // fixed-point
    void set(double v, unsigned int precision); // fixed-point
    // Degrees, fixed-point, then "&deg".
    void set_angle(double rad, unsigned int precision);
    // The angle reduced by 2 pi with the floating-point remainder (a negative angle stays
    // negative), then as set_angle: 7.0 with 1 decimal gives "41.1&deg".
    void set_heading(double rad, unsigned int precision);
    // Fixed-point, then " m/s&sup2;".
    void set_acceleration(double v, unsigned int precision);
    // The units module's distance form: "12.35 m" ("??" for an unknown unit).
    void set_distance(double v, unsigned char unit, unsigned int precision);
    // Dotted IPv4 text of an address in host order.
    void set_ip_addr(unsigned int addr);

protected:
    // Our own text, written as it is.
    void set_raw(const char* text, std::size_t len);

private:
    bool set_fixed(double v, unsigned int precision, const char* tail);
};
std::ostream& operator<<(std::ostream& os, const snapshot_def_t& d);

// <tr><th colspan="N">TEXT</th></tr>
class snapshot_header_t {
public:
    colspan_t colspan;
    std::string text;

    explicit snapshot_header_t(std::string t, colspan_t span = colspan_t())
        : colspan(span), text(std::move(t)) {}
    snapshot_header_t(colspan_t span, std::string t) : colspan(span), text(std::move(t)) {}
};
std::ostream& operator<<(std::ostream& os, const snapshot_header_t& h);

// <tr><th colspan="N" class="subHeader">TEXT</th></tr>
class snapshot_subheader_t : public snapshot_header_t {
public:
    using snapshot_header_t::snapshot_header_t;
};
std::ostream& operator<<(std::ostream& os, const snapshot_subheader_t& h);

// A row of one cell: <tr><td colspan="N">TEXT</td></tr>
class snapshot_none_row_t : public snapshot_header_t {
public:
    using snapshot_header_t::snapshot_header_t;
};
std::ostream& operator<<(std::ostream& os, const snapshot_none_row_t& r);

// The title table of one device:
// <table class="deviceTable"><tr><th>TEXT</th></tr></table>
class snapshot_device_table_t {
public:
    std::string text;

    explicit snapshot_device_table_t(std::string t) : text(std::move(t)) {}
};
std::ostream& operator<<(std::ostream& os, const snapshot_device_table_t& t);

// <table class="twoColumn">, or when shaded
// <table class="twoColumn"   style="background-color:#DDEEFF;">
class snapshot_two_column_table_start_t {
public:
    bool shaded = false;

    explicit snapshot_two_column_table_start_t(bool s = false) : shaded(s) {}
};
std::ostream& operator<<(std::ostream& os, const snapshot_two_column_table_start_t& t);

// As the two-column start, with class fourColumn.
class snapshot_four_column_table_start_t {
public:
    bool shaded = false;

    explicit snapshot_four_column_table_start_t(bool s = false) : shaded(s) {}
};
std::ostream& operator<<(std::ostream& os, const snapshot_four_column_table_start_t& t);

// </table>
class snapshot_table_end_t {};
std::ostream& operator<<(std::ostream& os, const snapshot_table_end_t&);

// The start of a whole page: doctype, <html lang="en">, the head with <meta charset="utf-8">,
// the escaped title and the style sheet, then <body>.
class snapshot_page_start_t {
public:
    std::string title;

    explicit snapshot_page_start_t(std::string t) : title(std::move(t)) {}
};
std::ostream& operator<<(std::ostream& os, const snapshot_page_start_t& p);

// </body></html>, each on its own line.
class snapshot_page_end_t {};
std::ostream& operator<<(std::ostream& os, const snapshot_page_end_t&);

// Row classes: each reads one value from a data cache while it is current (else the row
// shows "--"). Labels and forms:
//   Latitude, Longitude          degrees and minutes with hemisphere, 59&deg57.0000'N
//   Height, Heave                metres, 2 decimals ("41.30 m")
//   Speed                        metres per second, 1 decimal ("5.6 m/s")
//   Course, Heading              set_heading, 1 decimal
//   HDOP, PDOP, VDOP             1 decimal
//   Num Sats                     used/tracked, each "--" when unknown (always set)
//   FOM                          2 decimals
//   Roll, Pitch                  set_angle, 1 decimal
//   Depth Below Transducer       metres, 2 decimals
//   Frequency                    "Dual" or "Single"
//   Corrections Mode             the correction source's name (escaped: the device sends it)
//   Fix Mode                     "Auto 3D", "Manual 2D", ...; "No Fix" when the fix is invalid
//   Diff Age                     1 decimal
//   Motion Status                texts below
//   Horizontal/Vertical Acceleration   set_acceleration, 2 decimals
#define TERN_SNAPSHOT_ROW(name)                                                                    \
    class name : public snapshot_def_t {                                                           \
    public:                                                                                        \
        explicit name(const data_cache_t& cache);                                                  \
    }
TERN_SNAPSHOT_ROW(snapshot_latitude_t);
TERN_SNAPSHOT_ROW(snapshot_longitude_t);
TERN_SNAPSHOT_ROW(snapshot_height_t);
TERN_SNAPSHOT_ROW(snapshot_speed_t);
TERN_SNAPSHOT_ROW(snapshot_course_t);
TERN_SNAPSHOT_ROW(snapshot_hdop_t);
TERN_SNAPSHOT_ROW(snapshot_pdop_t);
TERN_SNAPSHOT_ROW(snapshot_vdop_t);
TERN_SNAPSHOT_ROW(snapshot_num_sats_t);
TERN_SNAPSHOT_ROW(snapshot_fom_t);
TERN_SNAPSHOT_ROW(snapshot_roll_t);
TERN_SNAPSHOT_ROW(snapshot_pitch_t);
TERN_SNAPSHOT_ROW(snapshot_heave_t);
TERN_SNAPSHOT_ROW(snapshot_heading_t);
TERN_SNAPSHOT_ROW(snapshot_depth_t);
TERN_SNAPSHOT_ROW(snapshot_dual_freq_t);
TERN_SNAPSHOT_ROW(snapshot_diff_name_t);
TERN_SNAPSHOT_ROW(snapshot_fix_mode_t);
TERN_SNAPSHOT_ROW(snapshot_diff_age_t);
TERN_SNAPSHOT_ROW(snapshot_motion_status_t);
TERN_SNAPSHOT_ROW(snapshot_horiz_accel_t);
TERN_SNAPSHOT_ROW(snapshot_vert_accel_t);
#undef TERN_SNAPSHOT_ROW

// Motion status texts: 0 "Unaided Settled", 1 "Unaided Settling", 2 "GPS Aided Settled",
// 3 "GPS Aided Settling", 4 "Heading Aided Settled", 5 "Heading Aided Settling",
// 6 "Full Aided Settled", 7 "Full Aided Settling", other "Unknown".
const char* motion_status_string(int status);

// The quality-control rows of a cache: a subheader "Current QC Values" over two columns,
// then ten definition rows (semi-major, semi-minor, orientation, latitude, longitude and
// height errors, unit variance, F-Test, maximum MDE(r), RAIM reject count). Rows 1 to 8 are
// set while a QC summary is current, rows 9 and 10 while the cache holds their value.
class snapshot_qc_summary_t {
public:
    static constexpr unsigned int row_count = 10;
    snapshot_def_t rows[row_count];

    explicit snapshot_qc_summary_t(const data_cache_t& cache);
};
std::ostream& operator<<(std::ostream& os, const snapshot_qc_summary_t& q);

// Every row class of one cache in a two-column table: headers "Position", "Quality",
// "Attitude" and "Corrections", the rows, the QC summary and the table's end.
void write_cache_snapshot(std::ostream& os, const data_cache_t& cache, bool shaded = false);

// What a page calls the device on `port`: "None" without one; else the type name of its
// description (or "Unknown" without one), " on ", the port's name ("NONE" when the port
// manager knows none) and, when the device has a custom name, " (", that name and ")".
// The text is plain: the writers escape it.
std::string snapshotDeviceDesc(dev_controller_t& controller, int port);
std::string snapshotDeviceDesc(dev_controller_t* controller, int port);

} // namespace tern
