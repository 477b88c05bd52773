// Renders an SVG picture into PNG files of the given square sizes, through Qt's own SVG
// image plugin: the program icon is kept as one scalable source and the sizes the icon
// theme wants are made from it, in the theme's layout.
//
//   svgpng INPUT.svg OUTPUT_DIR NAME SIZE...   (writes OUTPUT_DIR/SIZExSIZE/apps/NAME.png)
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 5) {
        std::fprintf(stderr, "usage: svgpng INPUT.svg OUTPUT_DIR NAME SIZE...\n");
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    const QString name = QString::fromLocal8Bit(argv[3]);
    for (int i = 4; i < argc; ++i) {
        bool ok = false;
        const int size = QByteArray(argv[i]).toInt(&ok);
        if (!ok || size < 8 || size > 1024) {
            std::fprintf(stderr, "svgpng: \"%s\" is not a size from 8 to 1024\n", argv[i]);
            return 2;
        }
        QImageReader reader(input, "svg");
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read();
        if (image.isNull()) {
            std::fprintf(stderr, "svgpng: cannot render %s: %s\n", qPrintable(input),
                         qPrintable(reader.errorString()));
            return 1;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        out.mkpath(folder);
        const QString path = out.filePath(folder + u'/' + name + QStringLiteral(".png"));
        if (!image.save(path)) {
            std::fprintf(stderr, "svgpng: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
