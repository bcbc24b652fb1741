// What the sensor decoders share: new navigation data messages stamped with a time.
#pragma once

#include <list>
#include <string>

namespace tern {

class msg_t;

template <class T>
T* new_stamped(double time) {
    auto* m = new T;
    m->utc_tstamp = time;
    return m;
}

// Appends a new T stamped with `time` whose single value `field` is `value`.
template <class T>
void push_value(std::list<msg_t*>& out, double time, float T::*field, double value) {
    T* m = new_stamped<T>(time);
    m->*field = static_cast<float>(value);
    out.push_back(m);
}

template <class T>
T* new_target_msg(double time, const std::string& id) {
    T* m = new_stamped<T>(time);
    m->target_id = id;
    return m;
}

} // namespace tern
