#pragma once
// Runs a program as a child process and collects what it writes, with a time
// limit, so that a test of a command-line tool can check its output and exit
// status and can never hang.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace nocturo::test {

struct ChildResult {
    /// The exit status, or -1 when the child did not exit normally (killed
    /// by a signal, or by us at the time limit).
    int exitCode = -1;
    /// The signal that ended the child, 0 when it exited.
    int signal = 0;
    bool timedOut = false;
    std::string out;  // standard output
    std::string err;  // standard error
};

class ChildProcess {
  public:
    /// Starts program with args (without the program name). stderrTerminal
    /// connects standard error to a pseudo-terminal instead of a pipe.
    /// Standard input is a pipe that Write feeds and CloseInput closes.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 bool stderrTerminal = false);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }

    void Write(const std::string& text);
    void CloseInput();

    /// Bytes waiting unread in the standard error pipe, and how many it
    /// holds at most (both 0 for a terminal).
    int PendingErrorBytes() const;
    int ErrorPipeCapacity() const;

    /// Reads both outputs until the child ends or the time limit passes
    /// (then it is killed), and collects its status.
    ChildResult Finish(std::chrono::milliseconds limit = std::chrono::seconds(120));

  private:
    pid_t pid_ = -1;
    int inFd_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    bool errIsTerminal_ = false;
    bool finished_ = false;
};

/// Starts, feeds nothing, and finishes a child in one call.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     bool stderrTerminal = false);

}  // namespace nocturo::test
