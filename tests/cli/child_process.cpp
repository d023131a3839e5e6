#include "tests/cli/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace nocturo::test {

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           bool stderrTerminal)
    : errIsTerminal_(stderrTerminal) {
    // A child that stops reading its input must not kill the test with
    // SIGPIPE; Write notices the error instead.
    ::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (stderrTerminal) {
        if (::openpty(&err[0], &err[1], nullptr, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        ::fcntl(err[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(err[1], F_SETFD, FD_CLOEXEC);
    } else if (::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        // Only async-signal-safe calls from here on.
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    inFd_ = in[1];
    outFd_ = out[0];
    errFd_ = err[0];
}

ChildProcess::~ChildProcess() {
    if (!finished_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    CloseFd(inFd_);
    CloseFd(outFd_);
    CloseFd(errFd_);
}

void ChildProcess::Write(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(inFd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // the child stopped reading; Finish reports what it did
        }
        done += static_cast<size_t>(n);
    }
}

void ChildProcess::CloseInput() {
    CloseFd(inFd_);
}

int ChildProcess::PendingErrorBytes() const {
    int pending = 0;
    if (errIsTerminal_ || ::ioctl(errFd_, FIONREAD, &pending) != 0) {
        return 0;
    }
    return pending;
}

int ChildProcess::ErrorPipeCapacity() const {
    if (errIsTerminal_) {
        return 0;
    }
    const int capacity = ::fcntl(errFd_, F_GETPIPE_SZ);
    return capacity > 0 ? capacity : 0;
}

ChildResult ChildProcess::Finish(std::chrono::milliseconds limit) {
    ChildResult result;
    CloseInput();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[65536];
    while (outFd_ >= 0 || errFd_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(pid_, SIGKILL);
            break;
        }
        pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        for (int k = 0; k < 2; ++k) {
            int& fd = k == 0 ? outFd_ : errFd_;
            if (fd < 0 || (fds[k].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                (k == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                // End of a pipe, or EIO once the terminal's last writer left.
                CloseFd(fd);
            }
        }
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    finished_ = true;
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     bool stderrTerminal) {
    ChildProcess child(program, args, stderrTerminal);
    return child.Finish();
}

}  // namespace nocturo::test
