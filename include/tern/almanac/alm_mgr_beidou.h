// The BeiDou almanacs by satellite number, in memory.
#pragma once

#include <tern/almanac/alm_mgr_table.h>
#include <tern/msg/fb_msgs.h>

namespace tern {

class alm_mgr_beidou_t : public alm_mgr_table_t<alm_data_beidou_t, fb_alm_beidou_t> {};

} // namespace tern
