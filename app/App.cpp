// zantir: the service program for the ЗАНТИР zrt16-mk parallel-access device.
#include <QApplication>

#include "app/Main.h"
#include "app/Suplfunc.h"
#include "link/Programdir.h"
#include "link/System.h"

int main(int argc, char** argv) {
    TakeClosedStandardDescriptors();  // before the port can take one of their numbers
    SetProgramPath(argc > 0 ? argv[0] : nullptr);
    QApplication application(argc, argv);
    InstallQtTranslation();
    TFormMain window;
    window.showMaximized();
    return application.exec();
}
