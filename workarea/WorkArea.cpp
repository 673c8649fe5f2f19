#include "WorkArea.h"

#include <algorithm>

namespace WorkArea {

namespace {

// A value from another client, kept within 0..limit.
int bounded(std::uint32_t value, int limit)
{
    return int(std::min<std::uint32_t>(value, std::uint32_t(std::max(limit, 0))));
}

QRect rectangle(const std::uint32_t* values, QSize root)
{
    const int x = bounded(values[0], root.width()), y = bounded(values[1], root.height());
    return {x, y, bounded(values[2], root.width() - x), bounded(values[3], root.height() - y)};
}

// Whether a claim on one edge reaches into `monitor` from that edge: the
// claimed band's inner edge lies within the monitor and its run along the
// edge overlaps the monitor's. A panel on the upper of two stacked monitors
// then leaves the lower one alone.
bool reaches(int innerEdge, int monitorStart, int monitorEnd, int runStart, int runEnd, int alongStart, int alongEnd)
{
    return innerEdge >= monitorStart && innerEdge <= monitorEnd && runStart <= alongEnd && runEnd >= alongStart;
}

QRect lessStruts(QRect area, QSize root, const std::vector<Strut>& struts)
{
    const QRect monitor = area;
    for (const Strut& s : struts) {
        if (s.top > 0 && reaches(s.top - 1, monitor.top(), monitor.bottom(), s.topStartX, s.topEndX, monitor.left(), monitor.right()))
            area.setTop(std::max(area.top(), s.top));
        if (s.bottom > 0 && reaches(root.height() - s.bottom, monitor.top(), monitor.bottom(), s.bottomStartX,
                                    s.bottomEndX, monitor.left(), monitor.right()))
            area.setBottom(std::min(area.bottom(), root.height() - s.bottom - 1));
        if (s.left > 0 && reaches(s.left - 1, monitor.left(), monitor.right(), s.leftStartY, s.leftEndY, monitor.top(), monitor.bottom()))
            area.setLeft(std::max(area.left(), s.left));
        if (s.right > 0 && reaches(root.width() - s.right, monitor.left(), monitor.right(), s.rightStartY,
                                   s.rightEndY, monitor.top(), monitor.bottom()))
            area.setRight(std::min(area.right(), root.width() - s.right - 1));
    }
    return area.isValid() ? area : monitor;  // claims that leave nothing are not heeded
}

// Where a span of `length` starting at `start` lies within lowest..highest
// (inclusive), moved in as little as it takes; at `lowest` if it is longer.
int within(int start, int length, int lowest, int highest)
{
    return std::max(lowest, std::min(start, highest + 1 - length));
}

}  // namespace

std::optional<Strut> strutFrom(const Values& partial, const Values& whole, QSize root)
{
    const int w = root.width(), h = root.height();
    if (partial && partial->size() >= 12) {
        const auto& v = *partial;
        return Strut{.left = bounded(v[0], w), .right = bounded(v[1], w), .top = bounded(v[2], h),
                     .bottom = bounded(v[3], h),
                     .leftStartY = bounded(v[4], h), .leftEndY = bounded(v[5], h),
                     .rightStartY = bounded(v[6], h), .rightEndY = bounded(v[7], h),
                     .topStartX = bounded(v[8], w), .topEndX = bounded(v[9], w),
                     .bottomStartX = bounded(v[10], w), .bottomEndX = bounded(v[11], w)};
    }
    if (whole && whole->size() >= 4) {
        const auto& v = *whole;
        return Strut{.left = bounded(v[0], w), .right = bounded(v[1], w), .top = bounded(v[2], h),
                     .bottom = bounded(v[3], h),
                     .leftStartY = 0, .leftEndY = h - 1, .rightStartY = 0, .rightEndY = h - 1,
                     .topStartX = 0, .topEndX = w - 1, .bottomStartX = 0, .bottomEndX = w - 1};
    }
    return std::nullopt;
}

std::vector<QRect> rectangles(const std::vector<std::uint32_t>& values, QSize root)
{
    std::vector<QRect> found;
    for (std::size_t at = 0; at + 4 <= values.size(); at += 4)
        found.push_back(rectangle(&values[at], root));
    return found;
}

std::optional<QRect> ofDesktop(const std::vector<std::uint32_t>& values, std::uint32_t desktop, QSize root)
{
    if (values.size() / 4 <= desktop)
        return std::nullopt;
    return rectangle(&values[4 * std::size_t(desktop)], root);
}

QRect ofMonitor(const Desktop& desktop, std::size_t index)
{
    const QRect monitor = desktop.monitors.at(index);
    if (desktop.publishedWorkAreas.size() == desktop.monitors.size()) {
        const QRect published = desktop.publishedWorkAreas[index] & monitor;
        if (!published.isEmpty())
            return published;
    }
    // One rectangle for the whole desktop says nothing of each monitor's
    // panels once there are several.
    if (desktop.monitors.size() > 1 && desktop.struts)
        return lessStruts(monitor, desktop.root, *desktop.struts);
    if (desktop.workArea) {
        const QRect both = *desktop.workArea & monitor;
        if (!both.isEmpty())
            return both;
    }
    return monitor;
}

QPoint placeIn(QRect area, QRect monitor, QSize size, int leftFromRight, int frameLeft, int top)
{
    return {within(area.right() + 1 - leftFromRight + frameLeft, size.width(), monitor.left(), monitor.right()),
            within(area.top() + top, size.height(), monitor.top(), monitor.bottom())};
}

QPoint beside(QPoint pointer, QSize size, QRect area)
{
    const int x = pointer.x() + 1 + size.width() <= area.right() + 1 ? pointer.x() + 1 : pointer.x() - size.width();
    const int y = pointer.y() + 1 + size.height() <= area.bottom() + 1 ? pointer.y() + 1 : pointer.y() - size.height();
    return {x, y};
}

}  // namespace WorkArea
