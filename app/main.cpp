// Program entry: the command line; then either the headless runner, or the
// application object, the windows, the network server and the event loop.
#include "app/CommandLine.h"
#include "app/Headless.h"
#include "app/IniFile.h"
#include "app/Unit1.h"
#include "app/Windows.h"
#include "widgets/Runtime.h"

int main(int argc, char **argv) {
    CommandLine::Options options;
    int status = 0;
    if (!CommandLine::Read(argc, argv, &options, &status))
        return status;
    if (options.headless)
        return Headless::Run(argc, argv, options);
    Runtime::TApplication app(argc, argv);
    Runtime::SetUpApplication(app);
    TWindowSet windows;
    windows->Form1->show();
    windows.StartServer(
        CommandLine::NetworkConfig(options, IniFile::FindConfig(Runtime::ExeDir())));
    return app.exec();
}
