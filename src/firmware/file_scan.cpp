#include <tern/firmware/file_scan.h>

#include <tern/thread/thread.h>
#include <tern/usb/usb_util.h>

#include <utility>

namespace {

// One file found, or (file null) the end of the search.
class found_msg_t : public tern::tmsg_t {
public:
    explicit found_msg_t(file_scan_t::file_t* f) : file(f) {}
    ~found_msg_t() override { delete file; }
    found_msg_t(const found_msg_t&) = delete;
    found_msg_t& operator=(const found_msg_t&) = delete;

    file_scan_t::file_t* file;
};

// Walks the directories of every volume; wanted while the search holds its reference.
class scan_worker_t : public tern::thread_nojoin_t {
public:
    unsigned id = 0;
    std::vector<usb_dev_t> volumes;
    std::vector<file_scan_t::scan_dir_t> dirs;
    std::unique_ptr<file_scan_t::filter_t> filter;

    bool wanted() const { return ref_cnt() > 1; }

    void post(file_scan_t::file_t* file) {
        auto* msg = new found_msg_t(file);
        if (tern::tmsg_send(id, msg) < 0) delete msg;
    }

protected:
    void run() override;
};

// One directory tree of one volume, offered entry by entry to the search's filter.
class volume_walk_t : public dir_scanner_t {
public:
    volume_walk_t(scan_worker_t& w, const usb_dev_t& dev) : w_(w), dev_(dev) {}

protected:
    bool filter(const std::string& path) override {
        if (!w_.wanted()) {
            stop();
            return false;
        }
        std::list<file_scan_t::file_t*> files;
        const bool more = w_.filter->filter(path, dev_, files);
        for (file_scan_t::file_t* f : files) w_.post(f);
        return more;
    }

private:
    scan_worker_t& w_;
    const usb_dev_t& dev_;
};

void scan_worker_t::run() {
    for (const usb_dev_t& dev : volumes) {
        // An empty mount path is no volume root: it would search the current directory.
        if (!wanted()) break;
        if (dev.mount_path.empty()) continue;
        for (const file_scan_t::scan_dir_t& d : dirs) {
            if (!wanted()) break;
            std::string root = dev.mount_path;
            if (root.back() != '/') root += '/';
            root += d.path;
            while (root.size() > 1 && root.back() == '/') root.pop_back();
            volume_walk_t walk(*this, dev);
            walk.scan(root,
                      (d.flags & file_scan_t::scan_subdirs) ? dir_scanner_t::scan_recursive : 0u);
        }
    }
    filter.reset();
    post(nullptr);
}

} // namespace

class file_scan_priv_t : public tern::tmsg_listener_t {
public:
    explicit file_scan_priv_t(file_scan_t::client_t* c) : client(c) {}
    ~file_scan_priv_t() override { cancel(); }

    file_scan_t::client_t* client;
    scan_worker_t* worker = nullptr; // our reference; null while idle
    unsigned id = 0;
    std::vector<file_scan_t::scan_dir_t> dirs;

    void cancel() {
        if (id) tern::tmsg_cancel(id);
        id = 0;
        if (worker && worker->unref()) delete worker;
        worker = nullptr;
    }

    bool tmsg_receive(unsigned int msg_id, tern::tmsg_t* msg) override {
        auto* found = dynamic_cast<found_msg_t*>(msg);
        if (!found || msg_id != id) return false;
        if (found->file) {
            file_scan_t::file_t* f = std::exchange(found->file, nullptr);
            client->file_scan_found(f);
            return false;
        }
        // The client may start a new search or delete us from done(): nothing after it.
        cancel();
        client->file_scan_done();
        return false;
    }
};

file_scan_t::file_scan_t(client_t* client) : priv_(std::make_unique<file_scan_priv_t>(client)) {}
file_scan_t::~file_scan_t() {
    priv_->cancel();
}

void file_scan_t::add_dir(const std::string& path, unsigned flags) {
    priv_->dirs.push_back({path, flags});
}
void file_scan_t::clear_dirs() {
    priv_->dirs.clear();
}
bool file_scan_t::is_running() const {
    return priv_->worker != nullptr;
}
void file_scan_t::cancel() {
    priv_->cancel();
}

bool file_scan_t::start() {
    file_scan_priv_t& p = *priv_;
    if (p.worker || !p.client) return false;
    p.id = tern::tmsg_listen(&p);
    if (!p.id) return false;
    auto* w = new scan_worker_t;
    w->id = p.id;
    p.client->file_scan_volumes(w->volumes);
    w->dirs = p.dirs;
    w->filter.reset(p.client->file_scan_filter());
    p.worker = w;
    if (!w->filter || !w->start()) {
        p.cancel();
        return false;
    }
    return true;
}
