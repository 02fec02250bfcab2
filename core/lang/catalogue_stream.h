// Where the packed catalogue comes from: a resource in the Windows program, a compiled-in array
// elsewhere.
#pragma once

#include <cstdint>

struct CatalogueStream {
    const uint8_t* data;
    int32_t size;
};

CatalogueStream embedded_catalogue_stream();
