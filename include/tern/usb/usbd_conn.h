// The client end of the link to the USB daemon: a Unix stream socket carrying frames.
//
// On connection the client is told (usbd_client_connected) and usually asks for the volume
// list (get_list). The daemon answers with one fb_usbd_dev_t per volume it knows, then sends
// fb_usbd_dev_t for each new or changed volume and fb_usbd_dev_gone_t for each one removed.
// Every problem of the link ends in usbd_client_err() with one line in the description.
#pragma once

#include <tern/thread/desc.h>

#include <memory>
#include <string>

namespace tern {

class msg_t;
class fb_usbd_dev_t;
class fb_usbd_dev_gone_t;
class usbd_conn_priv_t;

// Whoever uses the link. Calls come from the link's I/O callbacks on the main loop; the client
// may disconnect or delete the link from any of them.
class usbd_client_t {
public:
    virtual ~usbd_client_t();
    virtual void usbd_client_connected() = 0;
    // The link failed, was lost or received something it does not know; see the description.
    virtual void usbd_client_err() = 0;
    virtual void usbd_client_dev(const fb_usbd_dev_t& msg) = 0;
    virtual void usbd_client_dev_gone(const fb_usbd_dev_gone_t& msg) = 0;
};

// The daemon's socket: the environment variable TERN_USBD_SOCKET when set and not empty,
// else "/tmp/tern_usbd_socket".
std::string usbd_get_sockname();

// One link to the USB daemon.
class usbd_conn_t : public desc_t {
public:
    usbd_conn_t();
    ~usbd_conn_t() override;
    usbd_conn_t(const usbd_conn_t&) = delete;
    usbd_conn_t& operator=(const usbd_conn_t&) = delete;

    // Stores the client, drops any connection and starts connecting afresh ("socket=" +
    // usbd_get_sockname(); one attempt now, then one per second).
    void connect(usbd_client_t* client);
    // Drops the connection and stops connecting.
    void disconnect();
    // A connection exists.
    bool connected() const;
    // Sends over the connection; without one the description becomes "not connected" and the
    // client gets usbd_client_err(). True when the frame was written.
    bool send(const msg_t& msg);
    // Asks the daemon for its volume list (cmd_usbd_list_t).
    bool get_list();

private:
    friend class usbd_conn_priv_t;
    std::unique_ptr<usbd_conn_priv_t> priv_;
};

} // namespace tern
