// Renders the application icon's SVG into the PNG sizes of the icon theme at build time, with the
// same renderer the program draws its own icon with:
//   rushlet-render-icon SVG FOLDER NAME SIZE...  writes FOLDER/SIZExSIZE/apps/NAME.png

#include <QDir>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    // No GUI application: the icon holds no text, so painting needs no platform plugin, and a build
    // under a sanitizer or without a display renders it all the same.
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    QSvgRenderer renderer(arguments.value(0));
    if (arguments.size() < 4 || !renderer.isValid()) {
        std::fputs("Usage: rushlet-render-icon SVG FOLDER NAME SIZE...\n", stderr);
        return 2;
    }
    const QDir folder(arguments.at(1));
    for (const QString &sizeText : arguments.mid(3)) {
        const int size = sizeText.toInt();
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        const QString subfolder = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = folder.filePath(subfolder + u'/' + arguments.at(2) + QStringLiteral(".png"));
        if (size <= 0 || !folder.mkpath(subfolder) || !image.save(path)) {
            std::fprintf(stderr, "Could not write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
