// Whether this translation unit is built with AddressSanitizer. GCC says so with
// __SANITIZE_ADDRESS__; clang only answers __has_feature(address_sanitizer).
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define TERN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TERN_ASAN 1
#endif
#endif
#ifndef TERN_ASAN
#define TERN_ASAN 0
#endif
