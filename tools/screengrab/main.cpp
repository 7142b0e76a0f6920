// voxmeadow-screengrab <file.png>: saves what the display shows (the whole
// primary screen) as a PNG. Used under Xvfb by scripts/screenshots.sh.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: voxmeadow-screengrab <file.png>\n";
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        QTextStream(stderr) << "no screen\n";
        return 1;
    }
    const QPixmap shot = screen->grabWindow(0);
    if (shot.isNull() || !shot.save(args.at(1), "PNG")) {
        QTextStream(stderr) << "could not grab the screen into " << args.at(1) << "\n";
        return 1;
    }
    return 0;
}
