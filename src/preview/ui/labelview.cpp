#include "preview/ui/labelview.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {
constexpr int Margin = 12; // grey around the label, in screen pixels
constexpr double MinZoom = 0.02;
constexpr double MaxZoom = 32;

// Ruler steps in dots: minor ticks, major ticks with numbers, and the unit's
// size in dots for the numbers.
struct RulerSteps
{
    double minor;
    double major;
    double unitDots;
    int minorPerMajor;
};

RulerSteps Steps(RulerUnit unit, int dotsPerMm, double zoom)
{
    switch (unit) {
    case RulerUnit::Inch: {
        const double inch = 25.4 * dotsPerMm;
        // Eighths, quarters or halves, as the zoom allows.
        int parts = 8;
        while (parts > 1 && inch / parts * zoom < 5)
            parts /= 2;
        return { inch / parts, inch, inch, parts };
    }
    case RulerUnit::Cm:
    case RulerUnit::Mm: {
        const double mm = dotsPerMm;
        const double unitDots = unit == RulerUnit::Cm ? 10 * mm : mm;
        double minor = mm;
        int per = 10;
        if (minor * zoom < 4) {
            minor = 5 * mm;
            per = 2;
        }
        if (minor * zoom < 4) {
            minor = 10 * mm;
            per = 5;
        }
        double major = minor * per;
        while (major * zoom < 40)
            major *= 2;
        return { minor, major, unitDots, std::max(int(std::lround(major / minor)), 1) };
    }
    }
    return { double(dotsPerMm), 10.0 * dotsPerMm, double(dotsPerMm), 10 };
}
} // namespace

LabelView::LabelView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("labelView"));
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    setMinimumSize(240, 200);
}

void LabelView::SetLabel(const QImage &image, const QSize &labelEdges, int dotsPerMm,
                         RulerUnit unit)
{
    image_ = image;
    edges_ = labelEdges;
    dotsPerMm_ = dotsPerMm;
    unit_ = unit;
    if (fit_)
        FitToWindow();
    else
        UpdateScrollBars();
    viewport()->update();
}

void LabelView::SetPageLegend(const QString &width, const QString &length)
{
    widthLegend_ = width;
    lengthLegend_ = length;
    viewport()->update();
}

QSize LabelView::Extent() const
{
    return image_.size().expandedTo(edges_).expandedTo(QSize(1, 1));
}

void LabelView::FitToWindow()
{
    fit_ = true;
    // Fitted, nothing scrolls: the scroll bars go at once, so the fit is
    // computed for the viewport as it will stay.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const QSize extent = Extent();
    const double w = viewport()->width() - RulerSize - 2 * Margin;
    const double h = viewport()->height() - RulerSize - 2 * Margin;
    const double zoom = std::min(w / extent.width(), h / extent.height());
    zoom_ = std::clamp(zoom, MinZoom, MaxZoom);
    UpdateScrollBars();
    viewport()->update();
    emit ZoomChanged(zoom_);
}

void LabelView::ActualSize()
{
    SetZoom(1);
}

void LabelView::SetZoom(double zoom, QPoint anchor)
{
    fit_ = false;
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    if (anchor.x() < 0)
        anchor = QPoint(viewport()->width() / 2, viewport()->height() / 2);
    const QPointF dot = ToDots(anchor);
    zoom_ = std::clamp(zoom, MinZoom, MaxZoom);
    UpdateScrollBars();
    // The dot under the anchor stays under it.
    const QPointF moved = ToView(dot) - QPointF(anchor);
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + int(std::lround(moved.x())));
    verticalScrollBar()->setValue(verticalScrollBar()->value() + int(std::lround(moved.y())));
    viewport()->update();
    emit ZoomChanged(zoom_);
}

QPointF LabelView::ToView(QPointF dot) const
{
    return QPointF(RulerSize + Margin + dot.x() * zoom_ - horizontalScrollBar()->value(),
                   RulerSize + Margin + dot.y() * zoom_ - verticalScrollBar()->value());
}

QPointF LabelView::ToDots(QPointF view) const
{
    return QPointF((view.x() - RulerSize - Margin + horizontalScrollBar()->value()) / zoom_,
                   (view.y() - RulerSize - Margin + verticalScrollBar()->value()) / zoom_);
}

void LabelView::UpdateScrollBars()
{
    if (fit_) {
        // Fitted: everything is on screen, nothing to scroll.
        horizontalScrollBar()->setRange(0, 0);
        verticalScrollBar()->setRange(0, 0);
        return;
    }
    const QSize extent = Extent();
    const int w = int(std::ceil(extent.width() * zoom_)) + RulerSize + 2 * Margin;
    const int h = int(std::ceil(extent.height() * zoom_)) + RulerSize + 2 * Margin;
    horizontalScrollBar()->setRange(0, std::max(w - viewport()->width(), 0));
    verticalScrollBar()->setRange(0, std::max(h - viewport()->height(), 0));
    horizontalScrollBar()->setPageStep(viewport()->width());
    verticalScrollBar()->setPageStep(viewport()->height());
}

void LabelView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (fit_)
        FitToWindow();
    else
        UpdateScrollBars();
}

void LabelView::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y();
    if (steps == 0) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    SetZoom(zoom_ * std::pow(1.25, steps / 120.0), event->position().toPoint());
    event->accept();
}

void LabelView::scrollContentsBy(int, int)
{
    viewport()->update();
}

void LabelView::paintEvent(QPaintEvent *event)
{
    QPainter p(viewport());
    p.fillRect(event->rect(), palette().color(QPalette::Dark));
    if (image_.isNull() && edges_.isEmpty()) {
        PaintRulers(p);
        return;
    }
    const QRectF paper(ToView(QPointF(0, 0)),
                       ToView(QPointF(edges_.isEmpty() ? image_.width() : edges_.width(),
                                      edges_.isEmpty() ? image_.height() : edges_.height())));
    p.fillRect(paper, Qt::white);

    if (!image_.isNull()) {
        // Only the part on screen is scaled; dots stay sharp at any zoom.
        const QRectF shown
            = QRectF(ToDots(QPointF(0, 0)),
                     ToDots(QPointF(viewport()->size().width(), viewport()->size().height())))
                  .intersected(QRectF(image_.rect()));
        if (!shown.isEmpty()) {
            const QRect source = shown.toAlignedRect().intersected(image_.rect());
            const QRectF target(ToView(source.topLeft()),
                                ToView(source.bottomRight() + QPoint(1, 1)));
            p.setRenderHint(QPainter::SmoothPixmapTransform, false);
            p.drawImage(target, image_, source);
        }
    }

    // Label edges, then the print width (the picture's right edge) in red.
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(paper.adjusted(-0.5, -0.5, 0.5, 0.5));
    if (!image_.isNull()) {
        const double x = ToView(QPointF(image_.width(), 0)).x();
        QFont small = font();
        small.setPointSizeF(small.pointSizeF() * 0.8);
        p.setFont(small);
        const double top = ToView(QPointF(0, 0)).y();
        const double bottom = ToView(QPointF(0, Extent().height())).y();
        if (widthLegend_.isEmpty()) {
            p.setPen(QPen(QColor(200, 30, 30), 1, Qt::DashLine));
            p.drawLine(QPointF(x, top - Margin / 2.0), QPointF(x, bottom + Margin / 2.0));
        }
        const QString caption
            = widthLegend_.isEmpty() ? tr("print width %1").arg(image_.width()) : widthLegend_;
        const int room = std::max(160, p.fontMetrics().horizontalAdvance(caption) + 8);
        p.drawText(QRectF(x - room, top - Margin - 2, room - 4, Margin),
                   Qt::AlignRight | Qt::AlignVCenter, caption);
        if (!lengthLegend_.isEmpty()) {
            const double left = ToView(QPointF(0, 0)).x();
            p.setPen(palette().color(QPalette::BrightText));
            p.drawText(QRectF(left + 4, bottom + 1, std::max(x - left, 400.0), Margin),
                       Qt::AlignLeft | Qt::AlignVCenter, lengthLegend_);
        }
    }
    PaintRulers(p);
}

void LabelView::PaintRulers(QPainter &p) const
{
    const QColor back = palette().color(QPalette::Window);
    const QColor ink = palette().color(QPalette::WindowText);
    const int w = viewport()->width();
    const int h = viewport()->height();
    p.fillRect(QRect(0, 0, w, RulerSize), back);
    p.fillRect(QRect(0, 0, RulerSize, h), back);
    p.setPen(ink);
    p.drawLine(QPointF(RulerSize - 0.5, RulerSize - 0.5), QPointF(w, RulerSize - 0.5));
    p.drawLine(QPointF(RulerSize - 0.5, RulerSize - 0.5), QPointF(RulerSize - 0.5, h));
    const QString unitName = unit_ == RulerUnit::Inch ? QStringLiteral("in")
        : unit_ == RulerUnit::Cm                      ? QStringLiteral("cm")
                                                      : QStringLiteral("mm");
    QFont small = font();
    small.setPointSizeF(std::max(small.pointSizeF() * 0.75, 6.0));
    p.setFont(small);
    p.drawText(QRect(0, 0, RulerSize, RulerSize), Qt::AlignCenter, unitName);

    const RulerSteps steps = Steps(unit_, dotsPerMm_, zoom_);
    const QPointF first = ToDots(QPointF(RulerSize, RulerSize));
    const QPointF last = ToDots(QPointF(w, h));
    auto number = [&](double dots) {
        const double value = dots / steps.unitDots;
        return std::abs(value - std::round(value)) < 1e-6 ? QString::number(std::lround(value))
                                                          : QString::number(value, 'f', 1);
    };
    // Across the top.
    p.save();
    p.setClipRect(QRect(RulerSize, 0, w - RulerSize, RulerSize));
    for (long i = long(std::floor(std::max(first.x(), 0.0) / steps.minor));
         i * steps.minor <= last.x(); ++i) {
        const double dots = i * steps.minor;
        const double x = std::round(ToView(QPointF(dots, 0)).x()) + 0.5;
        const bool major = i % steps.minorPerMajor == 0;
        p.drawLine(QPointF(x, RulerSize - (major ? 10 : 4)), QPointF(x, RulerSize));
        if (major)
            p.drawText(QPointF(x + 2, RulerSize - 11), number(dots));
    }
    p.restore();
    // Down the side, numbers written upwards.
    p.save();
    p.setClipRect(QRect(0, RulerSize, RulerSize, h - RulerSize));
    for (long i = long(std::floor(std::max(first.y(), 0.0) / steps.minor));
         i * steps.minor <= last.y(); ++i) {
        const double dots = i * steps.minor;
        const double y = std::round(ToView(QPointF(0, dots)).y()) + 0.5;
        const bool major = i % steps.minorPerMajor == 0;
        p.drawLine(QPointF(RulerSize - (major ? 10 : 4), y), QPointF(RulerSize, y));
        if (major) {
            p.save();
            p.translate(RulerSize - 11, y - 2);
            p.rotate(-90);
            p.drawText(QPointF(0, 0), number(dots));
            p.restore();
        }
    }
    p.restore();
}
