// The window's entry point.
#include <cstdlib>
#include <iostream>

#include "app/CTansuApp.h"

namespace {

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

}  // namespace

int main(int argc, char** argv)
{
    // Without a display the Qt application would abort; say what to use instead.
    if (!IsSet("QT_QPA_PLATFORM") && !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
        std::cerr << "tansu: no display found, so the window cannot open.\n"
                     "Use the command-line front end instead: tansu-cli --help\n";
        return 1;
    }
    CTansuApp application(argc, argv);
    return application.Run();
}
