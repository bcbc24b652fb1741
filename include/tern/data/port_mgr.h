// The port manager's interface and the port name operations the library supplies.
#pragma once

#include <string>

namespace tern {

// Knows the ports of the controller and their names. Implemented by the device manager
// program; the library only turns the names it gives into names and path components.
class port_mgr_t {
public:
    virtual ~port_mgr_t() = default;

    // Whether a port with this id exists.
    virtual bool has_port(int port_id) const = 0;
    // The port's name, or null when the manager knows none. The string belongs to the manager.
    virtual const std::string* find_port_name(int port_id) const = 0;

    // The port's name, or "NONE" when the manager knows none.
    std::string get_port_name(int port_id) const;
    // The port's name made safe as one component of a file path (sanitize_port_name).
    std::string get_port_name_as_path(int port_id) const;

    // `name` with each of \ / : * ? " < > | blank and control byte replaced by '_', so that it
    // is one valid component on any file system the logs are written to. A result that begins
    // with "COM" followed only by digits (a reserved device name there) gets a '_' in front;
    // an empty result, "." and ".." become underscores, so the component never names the
    // directory itself or its parent.
    static std::string sanitize_port_name(const std::string& name);
};

} // namespace tern
