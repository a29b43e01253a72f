#include "plot_control/ChartPicture.h"

#include "AxisOverlay.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>

namespace plot {

std::optional<PictureFormat> PictureFormatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return PictureFormat::Png;
    if (suffix == QLatin1String("svg"))
        return PictureFormat::Svg;
    if (suffix == QLatin1String("pdf"))
        return PictureFormat::Pdf;
    return std::nullopt;
}

namespace {

bool ValidSize(QSize size)
{
    return size.width() >= 1 && size.height() >= 1 && size.width() <= kMaxPictureSide &&
           size.height() <= kMaxPictureSide;
}

// As a settled window draws, unless the picture is too large to draw twice its size.
RenderOptions PictureOptions(QSize size)
{
    RenderOptions options;
    options.supersample = (long long)size.width() * size.height() <= kMaxSupersampledPixels ? 2 : 1;
    options.mergeSubpixelCells = true; // as the settled frame on screen
    return options;
}

// The raster part, then the front decorations as vectors on the same painter.
void PaintLayered(QPainter& painter, Renderer& renderer, Scene& scene, const OrbitCamera& camera, QSize size)
{
    const ViewProjection vp = camera.Matrices(size.width(), size.height());
    RenderOptions options = PictureOptions(size);
    options.frontDecorations = false;
    const QImage backdrop = renderer.Render(scene, vp, size, options);
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(size)), backdrop);
    AxisOverlay(scene, vp).DrawFront(painter);
}

} // namespace

QImage RenderPicture(Renderer& renderer, Scene& scene, const OrbitCamera& camera, QSize size)
{
    if (!ValidSize(size))
        return {};
    QImage image = renderer.Render(scene, camera.Matrices(size.width(), size.height()), size, PictureOptions(size));
    image.detach(); // the renderer reuses its picture
    return image;
}

QString WritePicture(Renderer& renderer, Scene& scene, const OrbitCamera& camera, QSize size, const QString& path)
{
    const auto format = PictureFormatOf(path);
    if (!format)
        return QStringLiteral("The file name must end in .png, .svg or .pdf.");
    if (!ValidSize(size))
        return QStringLiteral("The size must be from 1 to %1 pixels a side.").arg(kMaxPictureSide);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    bool painted = true;
    switch (*format) {
    case PictureFormat::Png: {
        QImageWriter writer(&file, "png");
        if (!writer.write(RenderPicture(renderer, scene, camera, size))) {
            file.cancelWriting();
            return writer.errorString();
        }
        break;
    }
    case PictureFormat::Svg: {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setResolution(96); // a pixel is a CSS pixel: the file's width and height in mm say so
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("Chart"));
        QPainter painter;
        painted = painter.begin(&svg);
        if (painted)
            PaintLayered(painter, renderer, scene, camera, size);
        break;
    }
    case PictureFormat::Pdf: {
        // One page the size of the picture, a point per pixel.
        QPdfWriter pdf(&file);
        pdf.setResolution(72);
        pdf.setPageLayout(QPageLayout(QPageSize(QSizeF(size), QPageSize::Point), QPageLayout::Portrait, QMarginsF()));
        pdf.setTitle(QStringLiteral("Chart"));
        QPainter painter;
        painted = painter.begin(&pdf);
        if (painted)
            PaintLayered(painter, renderer, scene, camera, size);
        break;
    }
    }
    if (!painted) {
        file.cancelWriting();
        return QStringLiteral("The picture could not be drawn.");
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace plot
