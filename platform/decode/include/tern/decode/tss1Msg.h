// TSS1 motion record: parsing and building.
// (The record layout is drawn in the implementation notes below.)
#pragma once

namespace tern {

class tss1Msg_t {
public:
    // Sensor status, in the order of the record's status letters u U g G h H f F: lower case
    // while the solution settles, upper case once it is settled.
    enum status_t : unsigned char {
        status_unaided_settling = 0,       // 'u'
        status_unaided = 1,                // 'U'
        status_gps_aided_settling = 2,     // 'g'
        status_gps_aided = 3,              // 'G'
        status_heading_aided_settling = 4, // 'h'
        status_heading_aided = 5,          // 'H'
        status_full_aided_settling = 6,    // 'f'
        status_full_aided = 7,             // 'F'
    };
};

} // namespace tern
