// Where the packed catalogue comes from: a resource in the Windows program, a compiled-in array
// elsewhere.
#pragma once

#include <cstdint>

struct catalogue_stream {
    const uint8_t* data;
    int32_t size;
};

catalogue_stream embedded_catalogue_stream();
