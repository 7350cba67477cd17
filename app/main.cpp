#include "frmreplacecipher.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.vellumtide.Decoder"));
    frmReplaceCipher window;
    window.show();
    return QApplication::exec();
}
