#pragma once
// The application: owns the Qt application object and runs the main window
// modally; the program ends when the window closes.
#include <QApplication>

class CTansuApp {
public:
    CTansuApp(int& argc, char** argv);
    CTansuApp(const CTansuApp&) = delete;
    CTansuApp& operator=(const CTansuApp&) = delete;

    // Shows the main window and returns when it has been closed.
    int Run();

private:
    QApplication application;
};
