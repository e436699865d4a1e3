// Writes the program icon at the sizes a desktop's icon theme asks for,
// scaled down from the largest drawn one (resources/skin/tallimo-256.png):
//
//     tallimo_scaleicon resources/skin/tallimo-256.png OUT_DIR 16 24 32 48
//
// makes OUT_DIR/16x16/tallimo.png and so on. Run by the build for the package.

#include <QDir>
#include <QImage>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <icon.png> <output folder> <size>...\n", argv[0]);
        return 2;
    }
    const QImage icon(QString::fromLocal8Bit(argv[1]));
    if (icon.isNull()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[2]));
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        if (size <= 0 || size > icon.width()) {
            std::fprintf(stderr, "%s: no icon of size %s from %s\n", argv[0], argv[i], argv[1]);
            return 2;
        }
        const QString folder = QStringLiteral("%1x%1").arg(size);
        // Smooth scaling averages every source pixel, so thin lines fade
        // instead of vanishing at the small sizes.
        const QImage scaled =
            icon.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (!out.mkpath(folder) ||
            !scaled.save(out.filePath(folder + QStringLiteral("/tallimo.png")), "PNG")) {
            std::fprintf(stderr, "%s: cannot write the %dx%d icon\n", argv[0], size, size);
            return 1;
        }
    }
    return 0;
}
