#include "tests/support/soundserver/ChildProcess.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvex::testing {

namespace {

/// The strings of a list, and the null-terminated pointer array exec takes.
struct CStrings {
    explicit CStrings(const QStringList& list)
    {
        for (const QString& s : list)
            strings.push_back(s.toStdString());
        for (std::string& s : strings)
            pointers.push_back(s.data());
        pointers.push_back(nullptr);
    }
    std::vector<std::string> strings;
    std::vector<char*> pointers;
};

} // namespace

ChildProcess::ChildProcess(const QString& program, const QStringList& arguments,
                           const QStringList& environment, const QString& logPath)
    : m_name(QFileInfo(program).fileName())
{
    const QString path = program.contains(u'/') ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty() || !QFileInfo(path).isExecutable())
        throw std::runtime_error("not installed: " + program.toStdString());
    // Everything the child needs is made before the fork: after it, only
    // async-signal-safe calls.
    const CStrings argv(QStringList{path} + arguments);
    const CStrings envp(environment);
    const std::string executable = path.toStdString();
    const std::string log = logPath.toStdString();
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid < 0)
        throw std::runtime_error("cannot start " + executable);
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) // the bench died before the line above
            _exit(127);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
        }
        if (in >= 0)
            dup2(in, STDIN_FILENO);
        execve(executable.c_str(), argv.pointers.data(), envp.pointers.data());
        _exit(127);
    }
}

ChildProcess::~ChildProcess()
{
    if (!running())
        return;
    kill(m_pid, SIGTERM);
    using namespace std::chrono_literals;
    for (auto waited = 0ms; waited < 2000ms; waited += 10ms) {
        if (!running())
            return;
        std::this_thread::sleep_for(10ms);
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
}

bool ChildProcess::running()
{
    if (m_pid <= 0)
        return false;
    if (waitpid(m_pid, nullptr, WNOHANG) == 0)
        return true;
    m_pid = -1;
    return false;
}

} // namespace tolvex::testing
