#pragma once

#include <QAbstractScrollArea>
#include <QImage>

// The unit the rulers count in; the caller says which.
enum class RulerUnit { Inch, Mm, Cm };

// One rendered label on screen: fitted to the view or at any zoom (1:1 is one
// screen pixel per printer dot), zoomed with the wheel around the pointer,
// with rulers in the panel's unit, the label's edges and the print width.
class LabelView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit LabelView(QWidget *parent = nullptr);

    // The label's edges (the panel's label size in dots) may differ from the
    // picture, which is the print width by the label length.
    void SetLabel(const QImage &image, const QSize &labelEdges, int dotsPerMm, RulerUnit unit);
    // What decided the page's width and length, written beside its edges
    // ("print width 400 (^PW)"); empty: the print width alone.
    void SetPageLegend(const QString &width, const QString &length);
    QString WidthLegend() const { return widthLegend_; }
    QString LengthLegend() const { return lengthLegend_; }

    void FitToWindow();
    void ActualSize(); // 1:1
    void SetZoom(double zoom, QPoint anchor = QPoint(-1, -1));
    double Zoom() const { return zoom_; }
    bool Fitted() const { return fit_; }

    // View coordinates of a printer dot, and back (for tests and the pointer).
    QPointF ToView(QPointF dot) const;
    QPointF ToDots(QPointF view) const;

    static constexpr int RulerSize = 22;

signals:
    void ZoomChanged(double zoom);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QSize Extent() const; // dots covered by the picture and the label edges
    void UpdateScrollBars();
    void PaintRulers(QPainter &p) const;

    QImage image_;
    QSize edges_;
    QString widthLegend_;
    QString lengthLegend_;
    int dotsPerMm_ = 8;
    RulerUnit unit_ = RulerUnit::Mm;
    double zoom_ = 1;
    bool fit_ = true;
};
