// Starting the coder programs: the one place that knows how this platform
// runs a program hidden or in a window of its own.
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "coder/Runner.h"

namespace eks {

namespace {

// The terminal that shows a program's console: the user's choice first.
QString FindTerminal() {
    const QString preferred = qEnvironmentVariable("TERMINAL");
    for (const QString& name :
         {preferred, QStringLiteral("x-terminal-emulator"), QStringLiteral("xterm")}) {
        if (name.isEmpty()) continue;
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty()) return found;
    }
    return {};
}

}  // namespace

std::unique_ptr<QProcess> StartProgram(const std::string& appDir, const char* program,
                                       const std::vector<std::string>& args, bool visible) {
    const QString dir = QString::fromStdString(appDir);
    const QString path = QFileInfo(dir + QString::fromLatin1(program)).absoluteFilePath();
    QStringList arguments;
    for (const std::string& a : args)
        arguments << QString::fromStdString(a);

    auto process = std::make_unique<QProcess>();
    process->setWorkingDirectory(dir);
    const QString terminal = visible ? FindTerminal() : QString();
    if (!terminal.isEmpty()) {
        process->setProgram(terminal);
        process->setArguments(QStringList{"-e", path} + arguments);
    } else {
        process->setProgram(path);
        process->setArguments(arguments);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
    }
    process->setStandardInputFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted(5000)) return nullptr;
    return process;
}

}  // namespace eks
