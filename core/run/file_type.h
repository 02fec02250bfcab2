// The types of data a run writes. The settings file and the command line carry the number; any
// number that names no type writes zeros.
#pragma once

#include <cstdint>

enum FileType : int32_t {
    kGeneratorData = 0,
    kZeros = 1,
    kRandomData = 2,
};
