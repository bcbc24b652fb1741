// How the controller's settings files are identified and how the keys of ports and devices
// are named inside a KeelConfig store, plus the display texts of the stored serial and network
// values. Every process reads and writes the same keys through these names.
//
// A controller settings file (extension SETTINGS_EXT, ".trs") starts with
//
//   magic=Skerryview
//   version=2010-08-20
//   num_ports=4
//   port_0_name=COM1
//   port_0_baud=115200
//   ...
//
// where every port key is the port's prefix (port_config_prefix(n), "port_0_") followed by
// one of the KEY_PORT_... texts.
#pragma once

#include <tern/config/path_util.h>
#include <tern/data/port_cfg.h>
#include <tern/msg/records.h>
#include <tern/util/processUtil.h>

namespace tern {

inline constexpr char current_config[] = "current"; // name of the active configuration
inline constexpr char KEY_MAGIC[] = "magic";
inline constexpr char KEY_VERSION[] = "version";
inline constexpr char FILE_MAGIC_CONTROLLER[] = "Skerryview";
inline constexpr char FILE_VERSION_CONTROLLER[] = "2010-08-20";
inline constexpr char KEY_NUM_PORTS[] = "num_ports";
inline constexpr char KEY_PORT_PREFIX[] = "port";
inline constexpr char KEY_PORT_NAME[] = "name";
inline constexpr char KEY_PORT_DESC[] = "desc";
inline constexpr char KEY_PORT_TYPE[] = "type"; // PORT_TYPE_NAME_SERIAL or PORT_TYPE_NAME_NET
inline constexpr char KEY_PORT_SERIAL_DEVICE[] = "serial_device";
inline constexpr char KEY_PORT_DEVICE_TYPE[] = "device_type";
inline constexpr char KEY_PORT_DEVICE_NAME[] = "device_name"; // the device's custom name
inline constexpr char KEY_PORT_BAUD[] = "baud";
inline constexpr char KEY_PORT_DATA_BITS[] = "data_bits";
inline constexpr char KEY_PORT_PARITY[] = "parity";
inline constexpr char KEY_PORT_STOP_BITS[] = "stop_bits";
inline constexpr char KEY_PORT_FLOW_CONTROL[] = "flow_control";
inline constexpr char KEY_PORT_USE_RTS[] = "use_rts";
// Numbers given to dynamic (USB, network) ports: the first one, and the next free one.
inline constexpr char KEY_FIRST_DYNAMIC_PORT[] = "first_dynamic_port";
inline constexpr char KEY_NEXT_DYNAMIC_PORT[] = "next_dynamic_port";
// What identifies the USB device behind a dynamic port.
inline constexpr char KEY_USB_MFG[] = "usb_mfg";
inline constexpr char KEY_USB_PROD[] = "usb_prod";
inline constexpr char KEY_USB_SERIAL[] = "usb_serial";
inline constexpr char KEY_PORT_NET_NUMBER[] = "net_number";
inline constexpr char KEY_PORT_NET_CFG_PREFIX[] = "net_cfg_";
inline constexpr char PORT_TYPE_NAME_SERIAL[] = "serial";
inline constexpr char PORT_TYPE_NAME_NET[] = "net";

// Display texts of stored values; "Unknown" for any value without one.
const char* data_bits_string(int v);         // 0 "7", 1 "8"
const char* parity_string(int v);            // 0 "None", 1 "Odd", 2 "Even"
const char* stop_bits_string(int v);         // 0 "1", 1 "2"
const char* flow_control_string(int v);      // 0 "None", 1 "Tern"
const char* net_port_protocol_string(int v); // 0 "UDP", 1 "TCP Listen", 2 "TCP Connect"
// sysnet_cfg_type_string (0 "Disabled", 1 "DHCP", 2 "Static") lives with its record.

} // namespace tern
