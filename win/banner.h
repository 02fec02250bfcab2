// The banner picture scaled to the size of its control.
#pragma once

#include <cstdint>
#include <vector>

// Pixels as 0x00RRGGBB, row by row from the top.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// `source` scaled by the same factor in both directions so that its height becomes `height`,
// each pixel the average of the source area it covers; a wider target goes on with the source's
// last column, a narrower one cuts the right-hand side. An empty picture for an empty source or
// size.
Picture scale_to_height(const Picture& source, int width, int height);
