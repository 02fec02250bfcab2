// Vector code chosen at run time. Each fast routine lists the code paths this processor can run,
// the baseline first and the fastest last; the routine itself takes the last one.
#pragma once

#include <type_traits>
#include <vector>

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

// One way to run a routine, by name, so that tests and the benchmark can check and time each.
template <typename Function> struct CodePath {
    const char* name;
    Function run;
};

// The paths this processor can run: the baseline, then the AVX2 path (null in a build without
// one) when the processor has AVX2.
template <typename Function>
std::vector<CodePath<Function>> runnable_paths(Function baseline, std::type_identity_t<Function> avx2) {
    std::vector<CodePath<Function>> paths{{"baseline", baseline}};
    if (avx2 != nullptr && cpu_has_avx2())
        paths.push_back({"avx2", avx2});
    return paths;
}

#if PELMORA_AVX2_PATHS
#define PELMORA_AVX2_PATH(function) function
#else
#define PELMORA_AVX2_PATH(function) nullptr
#endif
