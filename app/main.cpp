// Program entry: the command line, the application object, the windows, the
// event loop.
#include "app/CommandLine.h"
#include "app/Unit1.h"
#include "app/Windows.h"
#include "widgets/Runtime.h"

int main(int argc, char **argv) {
    CommandLine::Options options;
    int status = 0;
    if (!CommandLine::Read(argc, argv, &options, &status))
        return status;
    Runtime::TApplication app(argc, argv);
    Runtime::SetUpApplication(app);
    TWindowSet windows;
    windows->Form1->show();
    return app.exec();
}
