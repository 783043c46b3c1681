// SPDX-License-Identifier: MIT
// tessiro: the bridge without a window, the subcommands, and the door to the
// window program. This executable links QtCore and QtNetwork only, so the
// headless bridge of a till never loads the GUI libraries; when a window is
// wanted it hands over to the window program (libexec/tessiro/tessiro), which
// runs the same bridge.
#include "app/BridgeRun.h"
#include "app/CommandLine.h"
#include "app/SubcommandRuns.h"

#include <filesystem>
#include <iostream>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    const CommandLine command = startProgram(argc, argv);
    switch (command.action) {
    case CommandLine::Action::ShowHelp: std::cout << usageText(command.helpTopic).toStdString(); return 0;
    case CommandLine::Action::ShowVersion: std::cout << "tessiro " TESSIRO_VERSION "\n"; return 0;
    case CommandLine::Action::Invalid:
        std::cerr << "tessiro: " << command.error << "\nTry 'tessiro --help'.\n";
        return ExitUsage;
    default: break;
    }

    bool dirMade = false;
    const fs::path dir = resolveProgramDir(command, argv[0], &dirMade);
    // The window program and the serving program: under this executable's
    // folder in a build tree, in the package's libexec folder once installed.
    const fs::path here = executableDir(argv[0]);
    const SubcommandCall call{command, dir, dirMade, argc, argv,
                              {here / TESSIRO_WINDOW_IN_BUILD, here / TESSIRO_WINDOW_FROM_BIN}};
    return command.subcommand->run(call);
}
