#pragma once

// Whether this build runs under AddressSanitizer, where programs are several
// times slower and use more memory: tests then take smaller input.
#if defined(__SANITIZE_ADDRESS__)
#define TESSARY_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSARY_ASAN 1
#endif
#endif

#ifdef TESSARY_ASAN
inline constexpr bool kUnderSanitizers = true;
#else
inline constexpr bool kUnderSanitizers = false;
#endif
