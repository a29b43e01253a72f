#pragma once
// Pictures of a chart for files and the clipboard, drawn offscreen by the
// renderer given: the chart control passes its software renderer whatever a
// window uses, so the picture is the same on every machine. PNG holds the whole picture as pixels; SVG and PDF embed the 3-D
// part (with the walls and grid behind it) as an image and draw the axes,
// ticks, labels, colour bar, legend and marker on top as vectors, so text
// stays sharp and selectable.
#include "plot_control/Renderer.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace plot {

enum class PictureFormat { Png, Svg, Pdf };

// The format a file name's extension names (any case); nothing for others.
std::optional<PictureFormat> PictureFormatOf(const QString& path);

// Sizes a picture may have, in pixels a side: a poster at 300 dpi, and no more
// memory than a few hundred MB while it is drawn.
inline constexpr int kMaxPictureSide = 10000;
// Pictures of more pixels than this are drawn without supersampling.
inline constexpr long long kMaxSupersampledPixels = 4096LL * 4096;

// The chart at size, antialiased as a settled window draws it.
QImage RenderPicture(Renderer& renderer, Scene& scene, const OrbitCamera& camera, QSize size);

// Writes the picture in the format of path's extension, replacing the file
// only once the whole picture is written. Empty on success, else why not
// (the path is not repeated).
QString WritePicture(Renderer& renderer, Scene& scene, const OrbitCamera& camera, QSize size,
                     const QString& path);

} // namespace plot
