#include <tern/thread/desc.h>

#include <locale>

namespace {

std::unique_ptr<std::ostringstream> new_stream() {
    auto s = std::make_unique<std::ostringstream>();
    s->imbue(std::locale::classic());
    return s;
}

} // namespace

desc_t::desc_t(const desc_t& other) {
    if (other.desc_) {
        desc_ = new_stream();
        *desc_ << other.desc_->str();
    }
}

desc_t& desc_t::operator=(const desc_t& other) {
    if (this == &other) return *this;
    if (other.desc_)
        clear_desc() << other.desc_->str();
    else
        desc_.reset();
    return *this;
}

desc_t::~desc_t() = default;

std::string desc_t::get_desc() const {
    return desc_ ? desc_->str() : std::string();
}

std::ostream& desc_t::get_desc_stream() {
    if (!desc_) desc_ = new_stream();
    return *desc_;
}

std::ostream& desc_t::clear_desc() {
    desc_ = new_stream();
    return *desc_;
}
