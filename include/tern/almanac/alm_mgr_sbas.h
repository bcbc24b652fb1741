// The SBAS almanacs by satellite number, in memory.
#pragma once

#include <tern/almanac/alm_mgr_table.h>
#include <tern/msg/fb_msgs.h>

namespace tern {

class alm_mgr_sbas_t : public alm_mgr_table_t<alm_data_sbas_t, fb_alm_sbas_t> {};

} // namespace tern
