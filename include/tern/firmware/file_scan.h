// Searches directory trees on USB volumes for files on a worker thread, reporting each file
// found and the end of the search on the main loop.
#pragma once

#include <tern/usb/usb_dev.h>
#include <tern/usb/usb_mgr.h>

#include <list>
#include <memory>
#include <string>
#include <vector>

class file_scan_priv_t;

// One search at a time. The filter runs on the worker; the client's found and done calls run
// on the main-loop thread (the thread of GLib's default main context).
class file_scan_t {
public:
    // Bit of scan_dir_t::flags: search the subdirectories too (symbolic links to directories
    // are not followed, so a link loop cannot trap the search).
    static constexpr unsigned scan_subdirs = 1;

    // A directory to search, relative to each volume's mount point.
    struct scan_dir_t {
        std::string path;
        unsigned flags = 0;
    };

    // What the filter made of a directory entry; deleted through this destructor.
    class file_t {
    public:
        virtual ~file_t() = default;
    };

    // Examines directory entries on the worker thread; deleted there when the search ends.
    class filter_t {
    public:
        virtual ~filter_t() = default;
        // `path` is an entry of a directory of `dev`. Append any new files to `files`; return
        // false to stop listing the current directory.
        virtual bool filter(const std::string& path, const usb_dev_t& dev,
                            std::list<file_t*>& files) = 0;
    };

    class client_t {
    public:
        virtual ~client_t() = default;
        // A file found; the client owns it from now on.
        virtual void file_scan_found(file_t* file) = 0;
        // The search has ended; no more files come.
        virtual void file_scan_done() = 0;
        // The USB manager whose volumes are searched (by default the process's default one).
        virtual usb_mgr_t* file_scan_usb_mgr() { return usb_mgr_t::get_default(); }
        // A new filter for one search; null refuses the start.
        virtual filter_t* file_scan_filter() = 0;
        // The volumes to search, taken when the search starts: a snapshot of the manager's
        // volumes (usb_mgr_t::get_devs). Each volume's mount path is the root its directories
        // are taken from; a volume without a mount path is never searched. A client may name
        // other roots here (a directory given by the user, for instance).
        virtual void file_scan_volumes(std::vector<usb_dev_t>& volumes) {
            if (usb_mgr_t* mgr = file_scan_usb_mgr()) mgr->get_devs(volumes);
        }
    };

    explicit file_scan_t(client_t* client);
    file_scan_t(const file_scan_t&) = delete;
    file_scan_t& operator=(const file_scan_t&) = delete;
    // Cancels a running search.
    ~file_scan_t();

    void add_dir(const std::string& path, unsigned flags);
    void clear_dirs();
    // Starts a search of every directory on every volume; false when one is running or the
    // worker could not be set up.
    bool start();
    bool is_running() const;
    // Stops the search: the client hears nothing more of it. The worker ends at its next check.
    void cancel();

private:
    std::unique_ptr<file_scan_priv_t> priv_;
};

namespace tern {
using ::file_scan_t;
} // namespace tern
