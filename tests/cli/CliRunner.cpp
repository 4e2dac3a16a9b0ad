#include "CliRunner.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

CliRun RunCli(const std::vector<std::string>& arguments, const CliOptions& options)
{
    QStringList list;
    for (const std::string& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : options.environment) {
        variables.insert(name, value);
    }
    QProcess process;
    process.setProcessEnvironment(variables);
    process.setWorkingDirectory(QString::fromStdString(options.cwd));
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QString::fromStdString(options.program), list);
    // A run that hangs fails its test instead of holding up the whole suite.
    if (!process.waitForFinished(120'000)) {
        ADD_FAILURE() << "tansu-cli did not end: " << list.join(' ').toStdString();
        process.kill();
        process.waitForFinished();
    }
    const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {code, process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}
