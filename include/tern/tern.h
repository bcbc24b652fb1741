// Umbrella header: every public header of the library and of its two platform libraries.
#pragma once

#include <tern/alarms/windStatusConfig.h>
#include <tern/conn/buf.h>
#include <tern/conn/net_addr.h>
#include <tern/data/port_cfg.h>
#include <tern/log/csv_fields.h>
#include <tern/log/log_cfg.h>
#include <tern/msg/catalogue.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/msg/msg.h>
#include <tern/msg/records.h>
#include <tern/output/output_cfg.h>
#include <tern/output/output_types.h>
#include <tern/sensors/windStatus.h>
#include <tern/thread/refd.h>
#include <tern/usb/usb_dev.h>
#include <tern/usb/usbd_msg.h>
#include <tern/util/gps2utc.h>
#include <tern/decode/atsAsciiMsg.h>
#include <tern/decode/bufferStream.h>
#include <tern/decode/dateTime.h>
#include <tern/decode/decode.h>
#include <tern/decode/tss1Msg.h>
#include <keelconfig/KeelConfig.h>
