#include "commands/ui/setuppreview.h"

#include "core/exceptions.h"

PreviewRequest PreviewRequestFor(const SetupPanelValues &values)
{
    PreviewRequest request;
    request.dotsPerMm = DotsPerMm(values.resolution);
    switch (values.unit) {
    case LengthUnit::Inch:
        request.unit = RulerUnit::Inch;
        break;
    case LengthUnit::Mm:
        request.unit = RulerUnit::Mm;
        break;
    case LengthUnit::Cm:
        request.unit = RulerUnit::Cm;
        break;
    }
    try {
        const QSize edges(LabelWidthDots(values), LabelHeightDots(values));
        if (edges.width() > 0 && edges.height() > 0 && edges.width() <= 32000
            && edges.height() <= 32000)
            request.labelEdges = edges;
    } catch (const EConvertError &) {
        // No label size: the preview shows the printed area alone.
    }
    return request;
}
