// The packed catalogue compiled into the program (the generated array comes from the build).
#include "core/lang/catalogue_stream.h"

#include <cstddef>

extern const uint8_t kCatalogueStream[];
extern const std::size_t kCatalogueStreamSize;

CatalogueStream embedded_catalogue_stream() {
    return {kCatalogueStream, static_cast<int32_t>(kCatalogueStreamSize)};
}
