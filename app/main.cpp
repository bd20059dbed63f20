// Program entry: the application object, the windows, the event loop.
#include "app/Runtime.h"
#include "app/Unit1.h"
#include "app/Windows.h"

int main(int argc, char **argv) {
    Runtime::TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Orvik Remote Control"));
    app.setApplicationDisplayName(QStringLiteral("Orvik Remote Control"));
    app.setApplicationVersion(QStringLiteral("3.3"));
    TWindowSet windows;
    windows->Form1->show();
    return app.exec();
}
