#pragma once

#include <QColor>

#include <vector>

// One point of a series as fractions of the plotting rectangle: x from the start (0) to the end (1)
// of the time range, y from its bottom (0) to its top (1). Values outside reach into the margins and
// are cut off at the graph's outline.
struct CWGraphVertex {
    double x;
    double y;

    bool operator==(const CWGraphVertex &) const = default;
};

// Which special drawing a series asks for; only the address counts.
extern const char kCWGraphCxtNormal[];
extern const char kCWGraphCxtMaxCap[];
extern const char kCWGraphCxtDraw[];

// One series of a graph.
struct CWGraphSpec {
    qint32 type = 0; // 0 line; 1 or 2 area filled above the curve; anything else is not drawn
    QColor color;
    double alpha = 1.0;                  // opacity while drawing
    std::vector<CWGraphVertex> vertices; // in drawing order (ascending time)
    const char *context = nullptr;       // one of the kCWGraphCxt constants, or null

    // The same series thinned for a plotting area `columns` x `rows` device pixels: of the vertices
    // that fall into one pixel column it keeps the first, the last, the lowest and the highest with
    // their neighbours, in their order; then, except for the power, whose runs hang on every sign,
    // it drops vertices that lie within a quarter pixel of the line between the ones kept. Lines,
    // areas and runs drawn from the result cover the same pixels.
    CWGraphSpec decimated(double columns, double rows) const;
};
