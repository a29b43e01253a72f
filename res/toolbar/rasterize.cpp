// Build-time tool: renders the SVG sources of the toolbar strips and icons into
// the PNG images embedded in the program.
//   vantix-rasterize strip <out.png> <edge> <svg>...   one row of edge × edge images
//   vantix-rasterize icon <out.png> <edge> <svg>       one edge × edge image
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    // Rendering needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5 || (args[1] != QLatin1String("strip") && args[1] != QLatin1String("icon"))) {
        std::fprintf(stderr, "usage: vantix-rasterize strip|icon <out.png> <edge> <svg>...\n");
        return 2;
    }
    bool ok = false;
    const int edge = args[3].toInt(&ok);
    if (!ok || edge <= 0 || edge > 1024) {
        std::fprintf(stderr, "bad edge: %s\n", qPrintable(args[3]));
        return 2;
    }
    const QStringList sources = args.mid(4);
    if (args[1] == QLatin1String("icon") && sources.size() != 1) {
        std::fprintf(stderr, "an icon has one source\n");
        return 2;
    }
    QImage image(edge * static_cast<int>(sources.size()), edge, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        for (qsizetype i = 0; i < sources.size(); ++i) {
            QSvgRenderer svg(sources[i]);
            if (!svg.isValid()) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(sources[i]));
                return 1;
            }
            svg.render(&painter, QRectF(static_cast<qreal>(i * edge), 0, edge, edge));
        }
    }
    if (!image.save(args[2], "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
