#pragma once
// DBC_ASAN is defined when the address sanitizer is on (GCC or clang): the
// tests that measure memory or take long read it.
#if defined(__SANITIZE_ADDRESS__)
#define DBC_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DBC_ASAN 1
#endif
#endif
