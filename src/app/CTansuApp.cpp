#include "app/CTansuApp.h"

#include "app/CTansuDlg.h"

CTansuApp::CTansuApp(int& argc, char** argv) : application(argc, argv)
{
    QCoreApplication::setApplicationName("Tansu");
}

int CTansuApp::Run()
{
    CTansuDlg dialog;
    dialog.exec();
    return 0;
}
