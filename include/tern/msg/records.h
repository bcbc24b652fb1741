// Configuration records that commands and feedback messages carry, with their binary form
// (codec operators) and, where they are kept in the settings store, their key/value form.
#pragma once

#include <tern/msg/msg.h>

#include <iosfwd>
#include <string>
#include <vector>

class KeelConfig;

namespace tern {

// Status of a tracked target as its tracker reports it.
class positionTargetStatus_t {
public:
    std::string status;     // status text
    std::string error_code; // error code text, as reported (not converted)

    void reset() {
        status.clear();
        error_code.clear();
    }
    bool operator==(const positionTargetStatus_t& o) const {
        return status == o.status && error_code == o.error_code;
    }
    bool operator!=(const positionTargetStatus_t& o) const { return !(*this == o); }
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const positionTargetStatus_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, positionTargetStatus_t& r);

// Key names of the records' key/value forms (each follows a caller's prefix).
inline constexpr char KEY_NET_PORT_ENABLED[] = "enabled";
inline constexpr char KEY_NET_PORT_SPECIFY_LOCAL_PORT[] = "specify_local_port";
inline constexpr char KEY_NET_PORT_SPECIFY_REMOTE_PORT[] = "specify_remote_port";
inline constexpr char KEY_NET_PORT_SPECIFY_REMOTE_HOST[] = "specify_remote_host";
inline constexpr char KEY_NET_PORT_PROTOCOL[] = "protocol";
inline constexpr char KEY_NET_PORT_LOCAL_PORT[] = "local_port";
inline constexpr char KEY_NET_PORT_REMOTE_PORT[] = "remote_port";
inline constexpr char KEY_NET_PORT_REMOTE_HOST[] = "remote_host";
inline constexpr char KEY_SITE_ID[] = "webmon_site_id";
inline constexpr char KEY_SITE_NAME[] = "webmon_site_name";
inline constexpr char KEY_SITE_LOCATION[] = "webmon_site_location";
inline constexpr char KEY_SITE_IP_ADDRESS[] = "webmon_site_ip_address";
inline constexpr char KEY_SERVER_IP_ADDRESS[] = "webmon_server_ip_address";
inline constexpr char KEY_SERVER_PORT[] = "webmon_server_port";

// Transport of a network port.
enum net_port_proto_t : unsigned char {
    net_port_proto_udp = 0,
    net_port_proto_tcp_listen = 1,
    net_port_proto_tcp_connect = 2,
};

// Stored text form: "tcp_listen", "tcp_connect", and "udp" for any other value.
const char* net_port_proto_to_string(net_port_proto_t p);
// "tcp_listen" and "tcp_connect" give their values; any other text gives UDP.
net_port_proto_t net_port_proto_from_string(const std::string& text);
// The stored text form, for the settings store.
std::ostream& operator<<(std::ostream& os, net_port_proto_t p);
// Parses the stored text form; every text converts (unknown texts give UDP).
bool operator>>(const std::string& text, net_port_proto_t& p);

// Settings of one network port.
class net_port_cfg_t {
public:
    // Longest remote host kept, on the wire and from the store.
    static constexpr unsigned int max_host_len = 80;

    bool enabled = false;
    bool specify_local_port = false;
    bool specify_remote_port = false;
    bool specify_remote_host = false;
    net_port_proto_t protocol = net_port_proto_udp;
    unsigned short local_port = 0;
    unsigned short remote_port = 0;
    std::string remote_host;

    net_port_cfg_t() { reset(); }
    void reset();

    // Ports and host behind a cleared specify flag do not count.
    bool operator!=(const net_port_cfg_t& o) const;
    bool operator==(const net_port_cfg_t& o) const { return !(*this != o); }

    // Writes protocol, the four flags, then each specified port and host.
    void set_cfg(KeelConfig& cfg, const std::string& prefix) const;
    // Reads the record back, forcing the flags the protocol needs; false at the first missing
    // (or unreadable) key, keeping the fields read before it.
    bool load_cfg(KeelConfig& cfg, const std::string& prefix);
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const net_port_cfg_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, net_port_cfg_t& r);

// Kind of a port; the programs that fill `port_info_t` give the values their meaning.
enum port_type_t : unsigned char {
    port_type_serial = 0,
    port_type_network = 1,
    port_type_usb = 2,
    port_type_internal = 3,
};

// Description of a port.
class port_info_t {
public:
    std::string name;
    std::string desc;
    port_type_t type = port_type_serial;

    bool operator==(const port_info_t& o) const {
        return name == o.name && desc == o.desc && type == o.type;
    }
    bool operator!=(const port_info_t& o) const { return !(*this == o); }
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const port_info_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, port_info_t& r);

// Status of a network port.
class net_port_status_t {
public:
    std::string text;
    unsigned int addr = 0;
    unsigned short port = 0;

    bool operator==(const net_port_status_t& o) const {
        return text == o.text && addr == o.addr && port == o.port;
    }
    bool operator!=(const net_port_status_t& o) const { return !(*this == o); }
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const net_port_status_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, net_port_status_t& r);

// Web-monitor site.
class webmon_site_cfg_t {
public:
    signed char site_id = -1; // -1: none
    std::string site_name;
    std::string site_location;
    unsigned int site_ip_addr = 0; // IPv4, first octet most significant

    webmon_site_cfg_t() = default;
    void reset();

    bool operator==(const webmon_site_cfg_t& o) const;
    bool operator!=(const webmon_site_cfg_t& o) const { return !(*this == o); }

    void set_cfg(KeelConfig& cfg, const std::string& prefix) const;
    // Resets, then takes what the store holds; always true.
    bool load_cfg(KeelConfig& cfg, const std::string& prefix);
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const webmon_site_cfg_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, webmon_site_cfg_t& r);

// Web-monitor server.
class webmon_server_cfg_t {
public:
    unsigned int ip_addr = 0; // IPv4, first octet most significant
    unsigned short port = 0;

    webmon_server_cfg_t() = default;
    void reset() {
        ip_addr = 0;
        port = 0;
    }

    bool operator==(const webmon_server_cfg_t& o) const {
        return ip_addr == o.ip_addr && port == o.port;
    }
    bool operator!=(const webmon_server_cfg_t& o) const { return !(*this == o); }

    void set_cfg(KeelConfig& cfg, const std::string& prefix) const;
    // Resets, then true only when both keys are present and readable.
    bool load_cfg(KeelConfig& cfg, const std::string& prefix);
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const webmon_server_cfg_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, webmon_server_cfg_t& r);

// One GPS almanac.
class alm_data_gps_t {
public:
    unsigned char prn = 0;
    unsigned char health = 0;
    unsigned short gps_week = 0;
    unsigned int gps_week_sec = 0;
    double mean_anom = 0.0; // mean anomaly
    double eccentricity = 0.0;
    double inclination = 0.0;
    double arg_perigee = 0.0; // argument of perigee
    double sqrt_a = 0.0;      // square root of the semi-major axis
    double omega_dot = 0.0;   // rate of right ascension
    double omega0 = 0.0;      // right ascension at reference time
    double af0 = 0.0;         // clock bias
    double af1 = 0.0;         // clock drift

    bool operator==(const alm_data_gps_t& o) const;
    bool operator!=(const alm_data_gps_t& o) const { return !(*this == o); }
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const alm_data_gps_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, alm_data_gps_t& r);

// One GLONASS almanac, carried as the receiver reports it.
class alm_data_glonass_t {
public:
    unsigned char slot = 0;
    bool healthy = false;
    unsigned char channel = 0;   // frequency channel
    unsigned int day_number = 0; // reference day
    double tau_n = 0.0;          // clock offset
    double lambda = 0.0;         // longitude of the ascending node
    double t_lambda = 0.0;       // time of the ascending node
    double delta_i = 0.0;        // inclination correction
    double delta_t = 0.0;        // period correction
    double delta_t_dot = 0.0;    // rate of the period correction
    double eccentricity = 0.0;
    double omega = 0.0; // argument of perigee

    bool operator==(const alm_data_glonass_t& o) const;
    bool operator!=(const alm_data_glonass_t& o) const { return !(*this == o); }
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const alm_data_glonass_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, alm_data_glonass_t& r);

// The two-byte almanac records (SBAS, Galileo, BeiDou) share this form.
class alm_data_short_t {
public:
    unsigned char sat = 0;    // satellite number
    unsigned char health = 0; // second byte, as the receiver reports it

    bool operator==(const alm_data_short_t& o) const { return sat == o.sat && health == o.health; }
    bool operator!=(const alm_data_short_t& o) const { return !(*this == o); }
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const alm_data_short_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, alm_data_short_t& r);

class alm_data_sbas_t : public alm_data_short_t {};
class alm_data_galileo_t : public alm_data_short_t {};
class alm_data_beidou_t : public alm_data_short_t {};

// Addressing of the controller's own Ethernet interface.
enum sysnet_cfg_type_t : unsigned char {
    sysnet_cfg_disabled = 0,
    sysnet_cfg_dhcp = 1,
    sysnet_cfg_static = 2,
};

// "Disabled", "DHCP", "Static", or "Unknown" for any other value.
const char* sysnet_cfg_type_string(int type);

// The five IPv4 values of an interface (first octet most significant).
class ethernet_cfg_t {
public:
    unsigned int ip_address = 0;
    unsigned int netmask = 0;
    unsigned int gateway = 0;
    unsigned int dns = 0;
    unsigned int dns2 = 0;

    bool operator==(const ethernet_cfg_t& o) const {
        return ip_address == o.ip_address && netmask == o.netmask && gateway == o.gateway &&
               dns == o.dns && dns2 == o.dns2;
    }
    bool operator!=(const ethernet_cfg_t& o) const { return !(*this == o); }
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const ethernet_cfg_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, ethernet_cfg_t& r);

// Static addressing: the interface values, the broadcast address and the domain.
class sysnet_ip_cfg_t : public ethernet_cfg_t {
public:
    unsigned int broadcast = 0;
    std::string domain;

    void reset() { *this = sysnet_ip_cfg_t(); }

    // Key/value form (<tern/config/sysnet_cfg.h>): "ip_address", "netmask", "gateway", "dns",
    // "dns2", "broadcast" as dotted text, then "domain", each after `prefix`.
    void set_cfg(KeelConfig& cfg, const std::string& prefix) const;
    // Tries every key; true only when each is present and (addresses) parses. A field whose
    // key is missing or does not parse keeps its value.
    bool load_cfg(KeelConfig& cfg, const std::string& prefix);

    bool operator==(const sysnet_ip_cfg_t& o) const {
        return ethernet_cfg_t::operator==(o) && broadcast == o.broadcast && domain == o.domain;
    }
    bool operator!=(const sysnet_ip_cfg_t& o) const { return !(*this == o); }
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const sysnet_ip_cfg_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, sysnet_ip_cfg_t& r);

// Network settings of the controller.
class sysnet_cfg_t {
public:
    static constexpr unsigned int default_mtu = 1500;

    sysnet_cfg_type_t type = sysnet_cfg_disabled;
    unsigned int mtu = default_mtu;
    sysnet_ip_cfg_t ip_cfg;

    void reset() { *this = sysnet_cfg_t(); }

    // Key/value form: "type" ("Disabled", "DHCP", "Static"), "mtu", then the addresses under
    // prefix + "ip_cfg_".
    void set_cfg(KeelConfig& cfg, const std::string& prefix) const;
    // Tries every key, even after a failure; true only when all were read.
    bool load_cfg(KeelConfig& cfg, const std::string& prefix);

    bool operator==(const sysnet_cfg_t& o) const {
        return type == o.type && mtu == o.mtu && ip_cfg == o.ip_cfg;
    }
    bool operator!=(const sysnet_cfg_t& o) const { return !(*this == o); }
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const sysnet_cfg_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, sysnet_cfg_t& r);

// One correction-service server reachable over IP, with its mount points.
class tks_ip_server_t {
public:
    class mount_point_t {
    public:
        std::string name;
        std::string desc;

        bool operator==(const mount_point_t& o) const { return name == o.name && desc == o.desc; }
        bool operator!=(const mount_point_t& o) const { return !(*this == o); }
    };

    std::string host;
    unsigned short port = 0;
    std::string name;
    std::vector<mount_point_t> mount_points;

    void reset() { *this = tks_ip_server_t(); }

    // Key/value form: "host", "port", "name", then "point_" m "_name" and "point_" m "_desc"
    // for m = 0, 1, ..., each after `prefix`.
    void set_cfg(KeelConfig& cfg, const std::string& prefix) const;
    // False when host, port or name is missing or the port is not a port number; then reads
    // mount points up to the first incomplete one. True only when at least one was read.
    bool load_cfg(KeelConfig& cfg, const std::string& prefix);

    bool operator==(const tks_ip_server_t& o) const {
        return host == o.host && port == o.port && name == o.name && mount_points == o.mount_points;
    }
    bool operator!=(const tks_ip_server_t& o) const { return !(*this == o); }
};

// Mount points beyond 65535 are not sent (the count is two bytes).
msg_encoder_t& operator<<(msg_encoder_t& enc, const tks_ip_server_t& r);
// Replaces the mount-point list with the received one.
msg_decoder_t& operator>>(msg_decoder_t& dec, tks_ip_server_t& r);

// Identifier of a coordinate system.
class coordSysId_t {
public:
    std::string datum_id;
    std::string zone_id;

    bool isValid() const { return !datum_id.empty() && !zone_id.empty(); }
    bool operator==(const coordSysId_t& o) const {
        return datum_id == o.datum_id && zone_id == o.zone_id;
    }
    bool operator!=(const coordSysId_t& o) const { return !(*this == o); }

    // Keys prefix + "datum_id" and prefix + "zone_id".
    void save(KeelConfig& cfg, const std::string& prefix) const;
    // Takes both texts only when both are stored and non-empty; otherwise false, unchanged.
    bool load(KeelConfig& cfg, const std::string& prefix);
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const coordSysId_t& r);
msg_decoder_t& operator>>(msg_decoder_t& dec, coordSysId_t& r);

// Correction-service client vocabulary (one byte each on the wire).
enum ntripCarrierType_t : unsigned char {
    ntrip_carrier_none = 0,
    ntrip_carrier_l1 = 1,
    ntrip_carrier_l1_l2 = 2,
};

enum ntripSolutionType_t : unsigned char {
    ntrip_solution_single_base = 0,
    ntrip_solution_network = 1,
};

enum ntripAuthType_t : unsigned char {
    ntrip_auth_none = 0,
    ntrip_auth_basic = 1,
    ntrip_auth_digest = 2,
};

} // namespace tern
