// The Galileo almanacs by satellite number, in memory.
#pragma once

#include <tern/almanac/alm_mgr_table.h>
#include <tern/msg/fb_msgs.h>

namespace tern {

class alm_mgr_galileo_t : public alm_mgr_table_t<alm_data_galileo_t, fb_alm_galileo_t> {};

} // namespace tern
