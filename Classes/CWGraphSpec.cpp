#include "CWGraphSpec.h"

#include <algorithm>
#include <cmath>
#include <iterator>

const char kCWGraphCxtNormal[] = "kCWGraphCxtNormal";
const char kCWGraphCxtMaxCap[] = "kCWGraphCxtMaxCap";
const char kCWGraphCxtDraw[] = "kCWGraphCxtDraw";

namespace {

// Of the vertices that fall into one pixel column, the first, the last, the lowest and the highest
// with their neighbours, which keep the slopes into and out of a peak as steep as they are.
std::vector<CWGraphVertex> columnExtremes(const std::vector<CWGraphVertex> &vertices, double columns)
{
    std::vector<CWGraphVertex> kept;
    kept.reserve(size_t(8 * columns) + 16);
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
        const size_t last = end - 1;
        const auto before = [first](size_t index) { return index > first ? index - 1 : first; };
        const auto after = [last](size_t index) { return index < last ? index + 1 : last; };
        size_t indexes[] = {first,           before(lowest), lowest,         after(lowest),
                            before(highest), highest,        after(highest), last};
        std::sort(std::begin(indexes), std::end(indexes));
        for (const size_t *index = std::begin(indexes); index != std::unique(std::begin(indexes), std::end(indexes));
             ++index)
            kept.push_back(vertices[*index]);
        first = end;
    }
    return kept;
}

// Distance in pixels from p to the segment from a to b, all scaled to pixels by (sx, sy).
double distanceToSegment(const CWGraphVertex &p, const CWGraphVertex &a, const CWGraphVertex &b, double sx, double sy)
{
    const double px = (p.x - a.x) * sx, py = (p.y - a.y) * sy;
    const double dx = (b.x - a.x) * sx, dy = (b.y - a.y) * sy;
    const double length2 = dx * dx + dy * dy;
    const double t = length2 > 0 ? std::clamp((px * dx + py * dy) / length2, 0.0, 1.0) : 0.0;
    return std::hypot(px - t * dx, py - t * dy);
}

// Keeps a vertex only where leaving it out would move the line by more than tolerance pixels: from
// each vertex kept the line reaches as far on as it can while every vertex it passes stays that
// close. The reach is bounded, so a long series costs linear time.
std::vector<CWGraphVertex> simplified(const std::vector<CWGraphVertex> &vertices, double sx, double sy,
                                      double tolerance)
{
    constexpr size_t longestReach = 32;
    if (vertices.size() < 3)
        return vertices;
    std::vector<CWGraphVertex> kept = {vertices.front()};
    for (size_t anchor = 0; anchor + 1 < vertices.size();) {
        size_t reach = anchor + 1;
        for (size_t next = anchor + 2; next < vertices.size() && next - anchor <= longestReach; ++next) {
            bool close = true;
            for (size_t i = anchor + 1; i < next && close; ++i)
                close = distanceToSegment(vertices[i], vertices[anchor], vertices[next], sx, sy) <= tolerance;
            if (!close)
                break;
            reach = next;
        }
        kept.push_back(vertices[reach]);
        anchor = reach;
    }
    return kept;
}

} // namespace

CWGraphSpec CWGraphSpec::decimated(double columns, double rows) const
{
    const bool thick = double(vertices.size()) > 8 * columns;
    if (!thick && context == kCWGraphCxtDraw)
        return *this;
    std::vector<CWGraphVertex> kept = thick ? columnExtremes(vertices, columns) : vertices;
    if (context != kCWGraphCxtDraw)
        kept = simplified(kept, columns, rows, 0.25);
    return {type, color, alpha, std::move(kept), context};
}
