// Vector code chosen at run time. Each fast routine lists the code paths this processor can run,
// the baseline first and the fastest last; the routine itself takes the last one.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__)
#define PELMORA_AVX2_PATHS 1
#include <immintrin.h>
#else
#define PELMORA_AVX2_PATHS 0
#endif

// True when the processor runs AVX2 code; asked once.
inline bool cpu_has_avx2() {
#if PELMORA_AVX2_PATHS
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
#else
    return false;
#endif
}
