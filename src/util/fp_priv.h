// Rounding to double where a range check depends on it.
#pragma once

namespace tern {
namespace detail {

// v as a stored double. An x87 build keeps intermediates in 80 bits and rounds them only when
// they are stored, so a check made on the unrounded value (below 2*pi, after the last clock
// reading) can pass a value that leaves the function as the bound itself. The store through
// volatile makes the check see what the caller gets; with SSE2 it changes no value.
inline double rounded(double v) {
    volatile double stored = v;
    return stored;
}

} // namespace detail
} // namespace tern
