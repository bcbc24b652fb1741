// The controller's own network settings and the correction-service server lists, as
// key/value data (KeelConfig).
//
// Network settings (sysnet_cfg_t, kept in the settings files under a caller's prefix P):
//
//   P type                   Disabled | DHCP | Static
//   P mtu                    unsigned decimal
//   P ip_cfg_ip_address      dotted IPv4 text, e.g. 192.168.1.10
//   P ip_cfg_netmask         dotted IPv4 text
//   P ip_cfg_gateway         dotted IPv4 text
//   P ip_cfg_dns             dotted IPv4 text
//   P ip_cfg_dns2            dotted IPv4 text
//   P ip_cfg_broadcast       dotted IPv4 text
//   P ip_cfg_domain          text
//
// Correction-service IP configuration: a KeelConfig file of its own (extension
// TKS_IP_CFG_EXT, ".tksoticfg"):
//
//   id                       identifier of the configuration
//   server_N_host            host of server N (N = 0, 1, 2, ... in decimal)
//   server_N_port            its port, decimal
//   server_N_name            its display name
//   server_N_point_M_name    name of mount point M of server N (M = 0, 1, ...)
//   server_N_point_M_desc    description of that mount point
//
// The servers end at the first N that does not load: host, port or name missing, a port
// that is not a port number, or no mount point. Mount points end at the first M whose name
// or description is missing.
#pragma once

#include <tern/msg/records.h>

#include <iosfwd>
#include <list>
#include <string>
#include <vector>

namespace tern {

// Stored text of an addressing type: 1 "DHCP", 2 "Static", anything else "Disabled".
const char* sysnet_cfg_type_cfg_string(int type);
// "DHCP" gives DHCP, "Static" static addressing, any other text (case counts) disabled.
sysnet_cfg_type_t sysnet_cfg_type_from_cfg_string(const std::string& text);
// The stored text, for KeelConfig::set.
std::ostream& operator<<(std::ostream& os, sysnet_cfg_type_t type);
// The same for KeelConfig::get; every text converts.
bool operator>>(const std::string& text, sysnet_cfg_type_t& type);

// Appends the servers of the configuration file at `path` to `servers` (which is not cleared)
// and sets `id`. Returns how many servers were appended: 0 when the file cannot be read or
// has no "id".
int tks_ip_cfg_load(const std::string& path, std::string& id, std::list<tks_ip_server_t>& servers);
// The same for callers that keep their servers in a vector.
int tks_ip_cfg_load(const std::string& path, std::string& id,
                    std::vector<tks_ip_server_t>& servers);

// Writes a configuration file that tks_ip_cfg_load reads back; false (with the store's
// reason in `why`) when the file cannot be written.
bool tks_ip_cfg_save(const std::string& path, const std::string& id,
                     const std::list<tks_ip_server_t>& servers, std::string& why);

} // namespace tern
