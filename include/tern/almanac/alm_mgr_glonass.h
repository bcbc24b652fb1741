// The GLONASS almanacs by slot, in memory.
#pragma once

#include <tern/almanac/alm_mgr_table.h>
#include <tern/msg/fb_msgs.h>

namespace tern {

class alm_mgr_glonass_t : public alm_mgr_table_t<alm_data_glonass_t, fb_alm_glonass_t> {};

} // namespace tern
