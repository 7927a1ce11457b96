#include "CWGraphSpec.h"

#include <algorithm>
#include <cmath>
#include <iterator>

const char kCWGraphCxtNormal[] = "kCWGraphCxtNormal";
const char kCWGraphCxtMaxCap[] = "kCWGraphCxtMaxCap";
const char kCWGraphCxtDraw[] = "kCWGraphCxtDraw";

CWGraphSpec CWGraphSpec::decimated(double columns) const
{
    if (!(double(vertices.size()) > 8 * columns))
        return *this;
    CWGraphSpec thinned{type, color, alpha, {}, context};
    thinned.vertices.reserve(size_t(8 * columns) + 16);
    const auto column = [columns](const CWGraphVertex &vertex) { return std::floor(vertex.x * columns); };
    for (size_t first = 0; first < vertices.size();) {
        const double here = column(vertices[first]);
        size_t lowest = first;
        size_t highest = first;
        size_t end = first + 1;
        for (; end < vertices.size() && column(vertices[end]) == here; ++end) {
            if (vertices[end].y < vertices[lowest].y)
                lowest = end;
            if (vertices[end].y > vertices[highest].y)
                highest = end;
        }
        // The neighbours of the extremes keep the slopes into and out of a peak as steep as they
        // are. In order, each once.
        const size_t last = end - 1;
        const auto before = [first](size_t index) { return index > first ? index - 1 : first; };
        const auto after = [last](size_t index) { return index < last ? index + 1 : last; };
        size_t kept[] = {first, before(lowest), lowest, after(lowest), before(highest), highest, after(highest), last};
        std::sort(std::begin(kept), std::end(kept));
        for (const size_t *index = std::begin(kept); index != std::unique(std::begin(kept), std::end(kept)); ++index)
            thinned.vertices.push_back(vertices[*index]);
        first = end;
    }
    return thinned;
}
