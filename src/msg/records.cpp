#include <tern/msg/records.h>

#include "msg/records_priv.h"

#include <tern/conn/net_addr.h>

#include <keelconfig/KeelConfig.h>

#include <ostream>
#include <sstream>

namespace tern {

namespace {

bool read_port(const KeelConfig& cfg, const std::string& key, unsigned short& port) {
    unsigned int v = 0;
    if (!read_key(cfg, key, v) || v > 0xFFFF) return false;
    port = static_cast<unsigned short>(v);
    return true;
}

} // namespace

// ---- positionTargetStatus_t

msg_encoder_t& operator<<(msg_encoder_t& enc, const positionTargetStatus_t& r) {
    return enc << r.status << r.error_code;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, positionTargetStatus_t& r) {
    return dec >> r.status >> r.error_code;
}

// ---- net_port_proto_t

const char* net_port_proto_to_string(net_port_proto_t p) {
    switch (p) {
    case net_port_proto_tcp_listen:
        return "tcp_listen";
    case net_port_proto_tcp_connect:
        return "tcp_connect";
    default:
        return "udp";
    }
}

net_port_proto_t net_port_proto_from_string(const std::string& text) {
    if (text == "tcp_listen") return net_port_proto_tcp_listen;
    if (text == "tcp_connect") return net_port_proto_tcp_connect;
    return net_port_proto_udp;
}

std::ostream& operator<<(std::ostream& os, net_port_proto_t p) {
    return os << net_port_proto_to_string(p);
}

bool operator>>(const std::string& text, net_port_proto_t& p) {
    p = net_port_proto_from_string(text);
    return true;
}

// ---- net_port_cfg_t

namespace {
constexpr unsigned char np_enabled = 0x01;
constexpr unsigned char np_local_port = 0x02;
constexpr unsigned char np_remote_port = 0x04;
constexpr unsigned char np_remote_host = 0x08;
} // namespace

void net_port_cfg_t::reset() {
    enabled = false;
    specify_local_port = false;
    specify_remote_port = false;
    specify_remote_host = false;
    protocol = net_port_proto_udp;
    local_port = 0;
    remote_port = 0;
    remote_host.clear();
}

bool net_port_cfg_t::operator!=(const net_port_cfg_t& o) const {
    if (protocol != o.protocol || enabled != o.enabled ||
        specify_local_port != o.specify_local_port ||
        specify_remote_port != o.specify_remote_port ||
        specify_remote_host != o.specify_remote_host)
        return true;
    if (specify_local_port && local_port != o.local_port) return true;
    if (specify_remote_port && remote_port != o.remote_port) return true;
    if (specify_remote_host && remote_host != o.remote_host) return true;
    return false;
}

void net_port_cfg_t::set_cfg(KeelConfig& cfg, const std::string& prefix) const {
    cfg.setValue(prefix + KEY_NET_PORT_PROTOCOL, net_port_proto_to_string(protocol));
    cfg.set(prefix + KEY_NET_PORT_ENABLED, enabled);
    cfg.set(prefix + KEY_NET_PORT_SPECIFY_LOCAL_PORT, specify_local_port);
    cfg.set(prefix + KEY_NET_PORT_SPECIFY_REMOTE_PORT, specify_remote_port);
    cfg.set(prefix + KEY_NET_PORT_SPECIFY_REMOTE_HOST, specify_remote_host);
    if (specify_local_port)
        cfg.set(prefix + KEY_NET_PORT_LOCAL_PORT, static_cast<unsigned int>(local_port));
    if (specify_remote_port)
        cfg.set(prefix + KEY_NET_PORT_REMOTE_PORT, static_cast<unsigned int>(remote_port));
    if (specify_remote_host) cfg.setValue(prefix + KEY_NET_PORT_REMOTE_HOST, remote_host);
}

bool net_port_cfg_t::load_cfg(KeelConfig& cfg, const std::string& prefix) {
    if (!read_key(cfg, prefix + KEY_NET_PORT_PROTOCOL, protocol)) return false;
    if (!read_key(cfg, prefix + KEY_NET_PORT_ENABLED, enabled)) return false;
    if (!read_key(cfg, prefix + KEY_NET_PORT_SPECIFY_LOCAL_PORT, specify_local_port)) return false;
    if (!read_key(cfg, prefix + KEY_NET_PORT_SPECIFY_REMOTE_PORT, specify_remote_port))
        return false;
    if (!read_key(cfg, prefix + KEY_NET_PORT_SPECIFY_REMOTE_HOST, specify_remote_host))
        return false;

    // A stored record may lack what its protocol cannot work without.
    switch (protocol) {
    case net_port_proto_tcp_listen:
        specify_local_port = true;
        break;
    case net_port_proto_tcp_connect:
        specify_remote_port = true;
        specify_remote_host = true;
        break;
    default:
        if (!specify_local_port) {
            specify_remote_port = true;
            specify_remote_host = true;
        }
        break;
    }

    if (specify_local_port) {
        if (!read_port(cfg, prefix + KEY_NET_PORT_LOCAL_PORT, local_port)) return false;
    } else {
        local_port = 0;
    }
    if (specify_remote_port) {
        if (!read_port(cfg, prefix + KEY_NET_PORT_REMOTE_PORT, remote_port)) return false;
    } else {
        remote_port = 0;
    }
    if (specify_remote_host) {
        if (!read_key(cfg, prefix + KEY_NET_PORT_REMOTE_HOST, remote_host)) return false;
        if (remote_host.size() > max_host_len) remote_host.resize(max_host_len);
    } else {
        remote_host.clear();
    }
    return true;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const net_port_cfg_t& r) {
    unsigned char flags = 0;
    if (r.enabled) flags |= np_enabled;
    if (r.specify_local_port) flags |= np_local_port;
    if (r.specify_remote_port) flags |= np_remote_port;
    if (r.specify_remote_host) flags |= np_remote_host;
    enc << flags << r.protocol;
    if (r.specify_local_port) enc << r.local_port;
    if (r.specify_remote_port) enc << r.remote_port;
    if (r.specify_remote_host) enc.encodeString(r.remote_host, net_port_cfg_t::max_host_len);
    return enc;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, net_port_cfg_t& r) {
    unsigned char flags = 0;
    dec >> flags;
    if (dec.is_short()) return dec;
    r.enabled = (flags & np_enabled) != 0;
    r.specify_local_port = (flags & np_local_port) != 0;
    r.specify_remote_port = (flags & np_remote_port) != 0;
    r.specify_remote_host = (flags & np_remote_host) != 0;
    dec >> r.protocol;
    if (r.specify_local_port)
        dec >> r.local_port;
    else
        r.local_port = 0;
    if (r.specify_remote_port)
        dec >> r.remote_port;
    else
        r.remote_port = 0;
    if (r.specify_remote_host)
        dec.decodeString(r.remote_host, net_port_cfg_t::max_host_len);
    else
        r.remote_host.clear();
    return dec;
}

// ---- port_info_t, net_port_status_t

msg_encoder_t& operator<<(msg_encoder_t& enc, const port_info_t& r) {
    return enc << r.name << r.desc << r.type;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, port_info_t& r) {
    return dec >> r.name >> r.desc >> r.type;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const net_port_status_t& r) {
    return enc << r.addr << r.port << r.text;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, net_port_status_t& r) {
    return dec >> r.addr >> r.port >> r.text;
}

// ---- webmon_site_cfg_t

void webmon_site_cfg_t::reset() {
    site_id = -1;
    site_name.clear();
    site_location.clear();
    site_ip_addr = 0;
}

bool webmon_site_cfg_t::operator==(const webmon_site_cfg_t& o) const {
    return site_id == o.site_id && site_name == o.site_name && site_location == o.site_location &&
           site_ip_addr == o.site_ip_addr;
}

void webmon_site_cfg_t::set_cfg(KeelConfig& cfg, const std::string& prefix) const {
    cfg.set(prefix + KEY_SITE_ID, static_cast<int>(site_id));
    cfg.setValue(prefix + KEY_SITE_NAME, site_name);
    cfg.setValue(prefix + KEY_SITE_LOCATION, site_location);
    cfg.setValue(prefix + KEY_SITE_IP_ADDRESS, dotted(site_ip_addr));
}

bool webmon_site_cfg_t::load_cfg(KeelConfig& cfg, const std::string& prefix) {
    reset();
    int id = 0;
    // An id that does not fit the byte counts as none rather than wrapping to another site.
    if (read_key(cfg, prefix + KEY_SITE_ID, id) && id >= -128 && id <= 127)
        site_id = static_cast<signed char>(id);
    read_key(cfg, prefix + KEY_SITE_NAME, site_name);
    read_key(cfg, prefix + KEY_SITE_LOCATION, site_location);
    read_ip(cfg, prefix + KEY_SITE_IP_ADDRESS, site_ip_addr);
    return true;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const webmon_site_cfg_t& r) {
    return enc << r.site_id << r.site_name << r.site_location << r.site_ip_addr;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, webmon_site_cfg_t& r) {
    return dec >> r.site_id >> r.site_name >> r.site_location >> r.site_ip_addr;
}

// ---- webmon_server_cfg_t

void webmon_server_cfg_t::set_cfg(KeelConfig& cfg, const std::string& prefix) const {
    cfg.setValue(prefix + KEY_SERVER_IP_ADDRESS, dotted(ip_addr));
    cfg.set(prefix + KEY_SERVER_PORT, static_cast<unsigned int>(port));
}

bool webmon_server_cfg_t::load_cfg(KeelConfig& cfg, const std::string& prefix) {
    reset();
    if (!read_ip(cfg, prefix + KEY_SERVER_IP_ADDRESS, ip_addr)) return false;
    return read_port(cfg, prefix + KEY_SERVER_PORT, port);
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const webmon_server_cfg_t& r) {
    return enc << r.ip_addr << r.port;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, webmon_server_cfg_t& r) {
    return dec >> r.ip_addr >> r.port;
}

// ---- almanac records

bool alm_data_gps_t::operator==(const alm_data_gps_t& o) const {
    return prn == o.prn && health == o.health && gps_week == o.gps_week &&
           gps_week_sec == o.gps_week_sec && mean_anom == o.mean_anom &&
           eccentricity == o.eccentricity && inclination == o.inclination &&
           arg_perigee == o.arg_perigee && sqrt_a == o.sqrt_a && omega_dot == o.omega_dot &&
           omega0 == o.omega0 && af0 == o.af0 && af1 == o.af1;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const alm_data_gps_t& r) {
    return enc << r.prn << r.health << r.gps_week << r.gps_week_sec << r.mean_anom << r.eccentricity
               << r.inclination << r.arg_perigee << r.sqrt_a << r.omega_dot << r.omega0 << r.af0
               << r.af1;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, alm_data_gps_t& r) {
    return dec >> r.prn >> r.health >> r.gps_week >> r.gps_week_sec >> r.mean_anom >>
           r.eccentricity >> r.inclination >> r.arg_perigee >> r.sqrt_a >> r.omega_dot >>
           r.omega0 >> r.af0 >> r.af1;
}

bool alm_data_glonass_t::operator==(const alm_data_glonass_t& o) const {
    return slot == o.slot && healthy == o.healthy && channel == o.channel &&
           day_number == o.day_number && tau_n == o.tau_n && lambda == o.lambda &&
           t_lambda == o.t_lambda && delta_i == o.delta_i && delta_t == o.delta_t &&
           delta_t_dot == o.delta_t_dot && eccentricity == o.eccentricity && omega == o.omega;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const alm_data_glonass_t& r) {
    return enc << r.slot << r.healthy << r.channel << r.day_number << r.tau_n << r.lambda
               << r.t_lambda << r.delta_i << r.delta_t << r.delta_t_dot << r.eccentricity
               << r.omega;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, alm_data_glonass_t& r) {
    return dec >> r.slot >> r.healthy >> r.channel >> r.day_number >> r.tau_n >> r.lambda >>
           r.t_lambda >> r.delta_i >> r.delta_t >> r.delta_t_dot >> r.eccentricity >> r.omega;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const alm_data_short_t& r) {
    return enc << r.sat << r.health;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, alm_data_short_t& r) {
    return dec >> r.sat >> r.health;
}

// ---- system network settings

const char* sysnet_cfg_type_string(int type) {
    switch (type) {
    case sysnet_cfg_disabled:
        return "Disabled";
    case sysnet_cfg_dhcp:
        return "DHCP";
    case sysnet_cfg_static:
        return "Static";
    default:
        return "Unknown";
    }
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const ethernet_cfg_t& r) {
    return enc << r.ip_address << r.netmask << r.gateway << r.dns << r.dns2;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, ethernet_cfg_t& r) {
    return dec >> r.ip_address >> r.netmask >> r.gateway >> r.dns >> r.dns2;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const sysnet_ip_cfg_t& r) {
    return enc << static_cast<const ethernet_cfg_t&>(r) << r.broadcast << r.domain;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, sysnet_ip_cfg_t& r) {
    return dec >> static_cast<ethernet_cfg_t&>(r) >> r.broadcast >> r.domain;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const sysnet_cfg_t& r) {
    return enc << r.type << r.mtu << r.ip_cfg;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, sysnet_cfg_t& r) {
    return dec >> r.type >> r.mtu >> r.ip_cfg;
}

// ---- tks_ip_server_t

msg_encoder_t& operator<<(msg_encoder_t& enc, const tks_ip_server_t& r) {
    enc << r.host << r.port << r.name;
    const unsigned int n = enc.encodeCount16(r.mount_points.size());
    for (unsigned int i = 0; i < n; ++i) enc << r.mount_points[i].name << r.mount_points[i].desc;
    return enc;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, tks_ip_server_t& r) {
    r.mount_points.clear();
    dec >> r.host >> r.port >> r.name;
    unsigned short n = 0;
    dec >> n;
    for (unsigned int i = 0; i < n && !dec.is_short(); ++i) {
        tks_ip_server_t::mount_point_t mp;
        dec >> mp.name >> mp.desc;
        if (dec.is_short()) break;
        r.mount_points.push_back(std::move(mp));
    }
    return dec;
}

// ---- coordSysId_t

void coordSysId_t::save(KeelConfig& cfg, const std::string& prefix) const {
    cfg.setValue(prefix + "datum_id", datum_id);
    cfg.setValue(prefix + "zone_id", zone_id);
}

bool coordSysId_t::load(KeelConfig& cfg, const std::string& prefix) {
    std::string datum;
    std::string zone;
    if (!read_key(cfg, prefix + "datum_id", datum) || !read_key(cfg, prefix + "zone_id", zone))
        return false;
    if (datum.empty() || zone.empty()) return false;
    datum_id = std::move(datum);
    zone_id = std::move(zone);
    return true;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const coordSysId_t& r) {
    return enc << r.datum_id << r.zone_id;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, coordSysId_t& r) {
    return dec >> r.datum_id >> r.zone_id;
}

} // namespace tern
