// What the sensor decoders share: new navigation data messages stamped with a time.
#pragma once

#include <string>

namespace tern {

template <class T>
T* new_stamped(double time) {
    auto* m = new T;
    m->utc_tstamp = time;
    return m;
}

template <class T>
T* new_target_msg(double time, const std::string& id) {
    T* m = new_stamped<T>(time);
    m->target_id = id;
    return m;
}

} // namespace tern
