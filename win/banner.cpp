// Area-averaging scaler for the banner.
#include "win/banner.h"

#include <algorithm>
#include <cmath>

namespace {

// The source cells that one target cell covers along one axis, with how much of each it covers.
struct Span {
    int first = 0;
    std::vector<double> weights; // sum to 1
};

// Target cells 0..count-1 cover source [i / factor, (i + 1) / factor); cells beyond the source's
// end take its last cell.
std::vector<Span> spans(int count, int source_size, double factor) {
    std::vector<Span> out(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        double from = i / factor;
        double to = (i + 1) / factor;
        if (from >= source_size) {
            out[static_cast<size_t>(i)] = {source_size - 1, {1.0}};
            continue;
        }
        to = std::min(to, static_cast<double>(source_size));
        Span& span = out[static_cast<size_t>(i)];
        span.first = static_cast<int>(std::floor(from));
        const int last = std::min(source_size - 1, static_cast<int>(std::ceil(to)) - 1);
        for (int s = span.first; s <= last; ++s)
            span.weights.push_back((std::min(to, s + 1.0) - std::max(from, static_cast<double>(s))) /
                                   (to - from));
    }
    return out;
}

} // namespace

Picture scale_to_height(const Picture& source, int width, int height) {
    if (source.width <= 0 || source.height <= 0 || width <= 0 || height <= 0)
        return {};
    const double factor = static_cast<double>(height) / source.height;
    const std::vector<Span> columns = spans(width, source.width, factor);
    const std::vector<Span> rows = spans(height, source.height, factor);
    Picture target{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        const Span& row = rows[static_cast<size_t>(y)];
        for (int x = 0; x < width; ++x) {
            const Span& column = columns[static_cast<size_t>(x)];
            double sum[3] = {};
            for (size_t j = 0; j < row.weights.size(); ++j) {
                const uint32_t* line =
                    &source.pixels[static_cast<size_t>(row.first + static_cast<int>(j)) * source.width];
                for (size_t i = 0; i < column.weights.size(); ++i) {
                    const uint32_t pixel = line[column.first + static_cast<int>(i)];
                    const double weight = row.weights[j] * column.weights[i];
                    sum[0] += weight * (pixel >> 16 & 0xFF);
                    sum[1] += weight * (pixel >> 8 & 0xFF);
                    sum[2] += weight * (pixel & 0xFF);
                }
            }
            uint32_t value = 0;
            for (const double channel : sum)
                value = value << 8 | static_cast<uint32_t>(std::clamp(std::lround(channel), 0L, 255L));
            target.pixels[static_cast<size_t>(y) * width + x] = value;
        }
    }
    return target;
}
