// Dispatch of a navigation data message to its own class.
#pragma once

#include <tern/msg/catalogue.h>
#include <tern/msg/data_msgs.h>

#include <type_traits>
#include <utility>

namespace tern {

namespace data_visit_detail {

template <class F, class T, class = void>
struct accepts : std::false_type {};
template <class F, class T>
struct accepts<F, T, std::void_t<decltype(std::declval<F&>()(std::declval<const T&>()))>>
    : std::true_type {};

template <class T, class F>
bool call_as(const msg_t& msg, F& f) {
    if constexpr (accepts<F, T>::value) {
        // Only an object of the class its type number names is read as that class; a base
        // object carrying a borrowed number is not.
        if (const T* typed = dynamic_cast<const T*>(&msg)) {
            f(*typed);
            return true;
        }
    }
    return false;
}

// obj.add(m), chosen only when `obj` has an add overload for exactly the class of m.
template <class C, class T>
auto exact_add(C& obj, const T& m)
    -> decltype(static_cast<void (C::*)(const T&)>(&C::add), void()) {
    obj.add(m);
}

} // namespace data_visit_detail

// Calls `f` with `msg` as the data class its type number names, when `f` takes that class
// (by const reference) and `msg` really is one; returns whether `f` was called.
template <class F>
bool visit_data_msg(const msg_t& msg, F&& f) {
    using data_visit_detail::call_as;
    if (msg.category != msg_t::category_data) return false;
    switch (msg.type) {
#define TERN_VISIT(cls)                                                                            \
    case cls::msg_type:                                                                            \
        return call_as<cls>(msg, f);
        TERN_DATA_MSGS(TERN_VISIT)
#undef TERN_VISIT
    default:
        return false;
    }
}

// Hands `msg` to the add overload of `obj` for its own class; false when `obj` keeps no
// message of that class.
template <class C>
bool add_data_msg(C& obj, const msg_t& msg) {
    return visit_data_msg(msg,
                          [&obj](const auto& m) -> decltype(data_visit_detail::exact_add(obj, m)) {
                              data_visit_detail::exact_add(obj, m);
                          });
}

} // namespace tern
