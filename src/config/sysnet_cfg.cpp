#include <tern/config/sysnet_cfg.h>

#include <tern/conn/net_addr.h>

#include <keelconfig/KeelConfig.h>

#include <iterator>
#include <ostream>

#include "msg/records_priv.h"

namespace tern {

namespace {

const char KEY_TYPE[] = "type";
const char KEY_MTU[] = "mtu";
const char KEY_IP_CFG[] = "ip_cfg_";
const char KEY_IP_ADDRESS[] = "ip_address";
const char KEY_NETMASK[] = "netmask";
const char KEY_GATEWAY[] = "gateway";
const char KEY_DNS[] = "dns";
const char KEY_DNS2[] = "dns2";
const char KEY_BROADCAST[] = "broadcast";
const char KEY_DOMAIN[] = "domain";

const char KEY_ID[] = "id";
const char KEY_SERVER[] = "server_";
const char KEY_HOST[] = "host";
const char KEY_PORT[] = "port";
const char KEY_NAME[] = "name";
const char KEY_POINT[] = "point_";
const char KEY_DESC[] = "desc";

std::string server_prefix(unsigned n) {
    return KEY_SERVER + std::to_string(n) + "_";
}

std::string point_prefix(const std::string& prefix, unsigned m) {
    return prefix + KEY_POINT + std::to_string(m) + "_";
}

} // namespace

const char* sysnet_cfg_type_cfg_string(int type) {
    switch (type) {
    case sysnet_cfg_dhcp:
        return "DHCP";
    case sysnet_cfg_static:
        return "Static";
    default:
        return "Disabled";
    }
}

sysnet_cfg_type_t sysnet_cfg_type_from_cfg_string(const std::string& text) {
    if (text == "DHCP") return sysnet_cfg_dhcp;
    if (text == "Static") return sysnet_cfg_static;
    return sysnet_cfg_disabled;
}

std::ostream& operator<<(std::ostream& os, sysnet_cfg_type_t type) {
    return os << sysnet_cfg_type_cfg_string(type);
}

bool operator>>(const std::string& text, sysnet_cfg_type_t& type) {
    type = sysnet_cfg_type_from_cfg_string(text);
    return true;
}

// ---- sysnet_ip_cfg_t

void sysnet_ip_cfg_t::set_cfg(KeelConfig& cfg, const std::string& prefix) const {
    cfg.setValue(prefix + KEY_IP_ADDRESS, dotted(ip_address));
    cfg.setValue(prefix + KEY_NETMASK, dotted(netmask));
    cfg.setValue(prefix + KEY_GATEWAY, dotted(gateway));
    cfg.setValue(prefix + KEY_DNS, dotted(dns));
    cfg.setValue(prefix + KEY_DNS2, dotted(dns2));
    cfg.setValue(prefix + KEY_BROADCAST, dotted(broadcast));
    cfg.setValue(prefix + KEY_DOMAIN, domain);
}

bool sysnet_ip_cfg_t::load_cfg(KeelConfig& cfg, const std::string& prefix) {
    bool ok = read_ip(cfg, prefix + KEY_IP_ADDRESS, ip_address);
    ok = read_ip(cfg, prefix + KEY_NETMASK, netmask) && ok;
    ok = read_ip(cfg, prefix + KEY_BROADCAST, broadcast) && ok;
    ok = read_ip(cfg, prefix + KEY_GATEWAY, gateway) && ok;
    ok = read_ip(cfg, prefix + KEY_DNS, dns) && ok;
    ok = read_ip(cfg, prefix + KEY_DNS2, dns2) && ok;
    ok = read_key(cfg, prefix + KEY_DOMAIN, domain) && ok;
    return ok;
}

// ---- sysnet_cfg_t

void sysnet_cfg_t::set_cfg(KeelConfig& cfg, const std::string& prefix) const {
    cfg.set(prefix + KEY_TYPE, type);
    cfg.set(prefix + KEY_MTU, mtu);
    ip_cfg.set_cfg(cfg, prefix + KEY_IP_CFG);
}

bool sysnet_cfg_t::load_cfg(KeelConfig& cfg, const std::string& prefix) {
    bool ok = read_key(cfg, prefix + KEY_TYPE, type);
    ok = read_key(cfg, prefix + KEY_MTU, mtu) && ok;
    ok = ip_cfg.load_cfg(cfg, prefix + KEY_IP_CFG) && ok;
    return ok;
}

// ---- tks_ip_server_t

void tks_ip_server_t::set_cfg(KeelConfig& cfg, const std::string& prefix) const {
    cfg.setValue(prefix + KEY_HOST, host);
    cfg.set(prefix + KEY_PORT, static_cast<unsigned int>(port));
    cfg.setValue(prefix + KEY_NAME, name);
    for (unsigned m = 0; m < mount_points.size(); ++m) {
        const std::string p = point_prefix(prefix, m);
        cfg.setValue(p + KEY_NAME, mount_points[m].name);
        cfg.setValue(p + KEY_DESC, mount_points[m].desc);
    }
}

bool tks_ip_server_t::load_cfg(KeelConfig& cfg, const std::string& prefix) {
    std::string port_text;
    if (!read_key(cfg, prefix + KEY_HOST, host) || !read_key(cfg, prefix + KEY_PORT, port_text) ||
        !read_key(cfg, prefix + KEY_NAME, name) || !ip_port_from_str(port_text.c_str(), port))
        return false;
    mount_points.clear();
    for (unsigned m = 0;; ++m) {
        const std::string p = point_prefix(prefix, m);
        mount_point_t mp;
        if (!read_key(cfg, p + KEY_NAME, mp.name) || !read_key(cfg, p + KEY_DESC, mp.desc)) break;
        mount_points.push_back(std::move(mp));
    }
    return !mount_points.empty();
}

// ---- the configuration file

int tks_ip_cfg_load(const std::string& path, std::string& id, std::list<tks_ip_server_t>& servers) {
    KeelConfig cfg(std::string(), 2);
    if (!cfg.read(path) || !read_key(cfg, KEY_ID, id)) return 0;
    int count = 0;
    for (unsigned n = 0;; ++n) {
        tks_ip_server_t server;
        if (!server.load_cfg(cfg, server_prefix(n))) break;
        servers.push_back(std::move(server));
        ++count;
    }
    return count;
}

int tks_ip_cfg_load(const std::string& path, std::string& id,
                    std::vector<tks_ip_server_t>& servers) {
    std::list<tks_ip_server_t> loaded;
    const int count = tks_ip_cfg_load(path, id, loaded);
    servers.insert(servers.end(), std::make_move_iterator(loaded.begin()),
                   std::make_move_iterator(loaded.end()));
    return count;
}

bool tks_ip_cfg_save(const std::string& path, const std::string& id,
                     const std::list<tks_ip_server_t>& servers, std::string& why) {
    KeelConfig cfg(std::string(), 20);
    cfg.setValue(KEY_ID, id);
    unsigned n = 0;
    for (const tks_ip_server_t& server : servers) server.set_cfg(cfg, server_prefix(n++));
    if (cfg.write(path)) return true;
    why = cfg.error();
    return false;
}

} // namespace tern
