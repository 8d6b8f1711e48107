// Starting the coder programs: the one place that knows how this platform
// runs a program hidden or in a window of its own, and how it ends a program
// together with everything that program has started.
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "coder/Runner.h"

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace eks {

namespace {

#ifdef Q_OS_UNIX

// A terminal that runs the command as its own child on a pseudo-terminal it
// holds, and stays until that command has ended. Terminals that hand the
// command to a server and return at once (gnome-terminal, mate-terminal and
// the like) are left out: the runner could neither tell when the program ends
// nor end it, so without one of these the program runs hidden.
struct Terminal {
    QString path;
    QStringList runFlags;  // what comes before the command
};

Terminal KnownTerminal(const QString& found) {
    // x-terminal-emulator and friends are links: the program they lead to counts.
    const QString name = QFileInfo(QFileInfo(found).canonicalFilePath()).fileName();
    if (name == "xterm" || name == "uxterm" || name == "lxterm" || name == "urxvt" ||
        name == "rxvt-unicode" || name == "alacritty")
        return {found, {"-e"}};
    if (name == "xfce4-terminal") return {found, {"--disable-server", "-x"}};
    return {};
}

// The terminal that shows a program's console: the user's choice first, when
// it is one that keeps the program as its child, then xterm.
Terminal FindTerminal() {
    for (const QString& name : {qEnvironmentVariable("TERMINAL"), QStringLiteral("xterm"),
                                QStringLiteral("x-terminal-emulator"), QStringLiteral("urxvt"),
                                QStringLiteral("alacritty"), QStringLiteral("xfce4-terminal")}) {
        if (name.isEmpty()) continue;
        const QString found = QStandardPaths::findExecutable(name);
        if (found.isEmpty()) continue;
        Terminal terminal = KnownTerminal(found);
        if (!terminal.path.isEmpty()) return terminal;
    }
    return {};
}

// A terminal gives the command a session, and so a process group, of its own,
// which ending the terminal's group does not reach. This shell stands between
// the terminal and the program and leads that group: when the terminal goes
// away (a hang-up, also when the runner ends it), is interrupted, or when the
// program ends, it ends the whole group, the program's children included.
// The program runs in the background only so that the shell can act on a
// signal at once rather than after the program's end.
constexpr const char* kTerminalShell =
    "trap 'kill -KILL 0' HUP INT TERM; \"$@\" & wait $!; kill -KILL 0";

#endif  // Q_OS_UNIX

}  // namespace

QString ShownErrorLine(const std::string& bytes) {
    // Invalid UTF-8 becomes U+FFFD here.
    const QString decoded = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString shown;
    int characters = 0;
    for (const char32_t cp : decoded.trimmed().toUcs4()) {
        if (characters == kErrorLineChars) break;
        const bool control = cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
        shown += control ? QString(QLatin1Char('?')) : QString::fromUcs4(&cp, 1);
        ++characters;
    }
    return shown;
}

StartedProgram::StartedProgram(std::unique_ptr<QProcess> process, std::int64_t group)
    : process_(std::move(process)), group_(group) {}

StartedProgram::~StartedProgram() {
    Stop();
}

bool StartedProgram::Running() const {
    if (!process_) return false;
    // Let the process object notice an exit that no event has reported yet.
    if (process_->state() != QProcess::NotRunning) process_->waitForFinished(0);
    // What has arrived on standard error is taken at once, so that a program
    // that writes without end costs no more than the end of its last line.
    TakeStandardError();
    return process_->state() != QProcess::NotRunning;
}

std::string StartedProgram::Failure() const {
    if (stopped_ || Running()) return {};
    // The standard error can be read once: the answer is kept.
    if (!failure_) failure_ = EndedFailure();
    return *failure_;
}

void StartedProgram::TakeStandardError() const {
    if (!process_) return;
    const QByteArray bytes = process_->readAllStandardError();
    errorLine_.Feed(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string StartedProgram::EndedFailure() const {
    TakeStandardError();
    if (process_->exitStatus() == QProcess::CrashExit)
        return "zakończył się sygnałem " + std::to_string(process_->exitCode());
    if (process_->exitCode() == 0) return {};
    // The last line the program wrote to its standard error, which names the
    // program itself first ("arith-n.exe: ...").
    std::string line = errorLine_.Line();
    line.erase(0, line.find_first_not_of(" \t"));
    const std::string name = QFileInfo(process_->program()).fileName().toStdString() + ": ";
    if (line.rfind(name, 0) == 0) line.erase(0, name.size());
    const QString text = ShownErrorLine(line);
    if (!text.isEmpty()) return text.toStdString();
    return "zakończył się z kodem " + std::to_string(process_->exitCode());
}

void StartedProgram::Stop() {
    stopped_ = true;
#ifdef Q_OS_UNIX
    // The whole group, also when the program that leads it has ended and been
    // reaped: the group's number stays taken while any member lives, and
    // without members the call finds nothing (ESRCH, ignored). It is used for
    // one stop only, so a number that the system has since given to another
    // group is not aimed at later. 0 and 1 would aim at this process's own
    // group and at every process.
    if (group_ > 1) ::kill(-static_cast<pid_t>(group_), SIGKILL);
#endif
    group_ = 0;
    if (process_ && process_->state() != QProcess::NotRunning) {
        // Still needed when the program has made a group of its own.
        process_->kill();
        process_->waitForFinished(2000);
    }
}

std::unique_ptr<StartedProgram> StartProgram(const std::string& programDir,
                                             const std::string& workDir, const char* program,
                                             const std::vector<std::string>& args, bool visible,
                                             std::string* whyNot) {
    const QString path =
        QFileInfo(QString::fromStdString(programDir) + QString::fromLatin1(program))
            .absoluteFilePath();
    QStringList arguments;
    for (const std::string& a : args)
        arguments << QString::fromStdString(a);

    auto process = std::make_unique<QProcess>();
    process->setWorkingDirectory(QString::fromStdString(workDir));
    process->setProgram(path);
    process->setArguments(arguments);
#ifdef Q_OS_UNIX
    if (visible) {
        const Terminal terminal = FindTerminal();
        if (!terminal.path.isEmpty()) {
            process->setProgram(terminal.path);
            process->setArguments(terminal.runFlags +
                                  QStringList{"/bin/sh", "-c", kTerminalShell, "sh", path} +
                                  arguments);
        }
    }
    // The program (or its terminal) leads a process group of its own, which
    // whatever it starts joins, so that a stop can end all of it. A signal
    // ignored here stays ignored across exec: the program gets SIGPIPE back as
    // any program would have it, whatever its starter does with it.
    //
    // The program ends with us, however we end (killed, out of memory, a
    // crash): a program left running would go on writing the output that the
    // next job in this folder reads. The signal is sent when the thread that
    // started the program ends, so programs are started from threads that
    // outlive their jobs; a parent gone before the request took hold is seen
    // in getppid. The file-size limit comes back as a signal, as SIGPIPE.
    const pid_t parent = ::getpid();
    process->setChildProcessModifier([parent] {
        ::setpgid(0, 0);
        ::signal(SIGPIPE, SIG_DFL);
#ifdef SIGXFSZ
        ::signal(SIGXFSZ, SIG_DFL);
#endif
#ifdef Q_OS_LINUX
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
        if (::getppid() != parent) ::_exit(127);
    });
#else
    // Elsewhere the program runs hidden and only the program itself is ended;
    // on Windows a job object would take the place of the process group.
    (void)visible;
#endif
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    // The standard error stays a pipe: a failed program's last line says why.
    process->start();
    if (!process->waitForStarted(5000)) {
        if (whyNot) *whyNot = process->errorString().toStdString();
        return nullptr;
    }
    const std::int64_t group = process->processId();
    return std::make_unique<StartedProgram>(std::move(process), group);
}

}  // namespace eks
