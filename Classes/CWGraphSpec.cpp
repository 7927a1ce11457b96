#include "CWGraphSpec.h"

#include <cmath>

const char kCWGraphCxtNormal[] = "kCWGraphCxtNormal";
const char kCWGraphCxtMaxCap[] = "kCWGraphCxtMaxCap";
const char kCWGraphCxtDraw[] = "kCWGraphCxtDraw";

CWGraphSpec CWGraphSpec::decimated(double columns) const
{
    if (!(double(vertices.size()) > 4 * columns))
        return *this;
    CWGraphSpec thinned{type, color, alpha, {}, context};
    thinned.vertices.reserve(size_t(4 * columns) + 8);
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
        // In order, each once.
        size_t previous = end;
        for (size_t kept : {first, std::min(lowest, highest), std::max(lowest, highest), end - 1}) {
            if (kept != previous)
                thinned.vertices.push_back(vertices[kept]);
            previous = kept;
        }
        first = end;
    }
    return thinned;
}
