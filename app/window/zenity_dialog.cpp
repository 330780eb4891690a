#include "app/window/zenity_dialog.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace korvane {

namespace {

// Output kept from zenity. A chosen path longer than this comes back cut to
// it, which the caller still refuses as longer than its 260-character limit.
constexpr std::size_t maxOutputBytes = 4096;
constexpr int waitStepMs = 50;

struct ChildRun {
    bool exited = false;  // ended by itself (not by a signal, not failing to start)
    int exitStatus = -1;
    std::string output;
};

std::string findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        std::string folder = folders.substr(start, end - start);
        if (!folder.empty()) {
            std::string candidate = folder + "/" + name;
            struct stat info {};
            if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

// Runs program with args, standard input and errors on /dev/null, and
// collects its standard output (at most maxOutputBytes; the rest is read and
// dropped so the child never blocks on a full pipe).
ChildRun runChild(const std::string& program, const std::vector<std::string>& args,
                  const std::function<void()>& whileWaiting) {
    ChildRun run;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return run;
    const int nothing = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nothing < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return run;
    }
    const pid_t child = fork();
    if (child == 0) {
        // Only async-signal-safe calls between fork and exec: other threads
        // (the audio output) may hold locks.
        dup2(nothing, STDIN_FILENO);
        dup2(pipeEnds[1], STDOUT_FILENO);
        dup2(nothing, STDERR_FILENO);
        close_range(3, ~0u, 0);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    close(nothing);
    if (child < 0) {
        close(pipeEnds[0]);
        return run;
    }

    char block[1024];
    for (;;) {
        pollfd reader{pipeEnds[0], POLLIN, 0};
        const int ready = poll(&reader, 1, waitStepMs);
        if (ready > 0) {
            const ssize_t got = read(pipeEnds[0], block, sizeof block);
            if (got == 0) break;
            if (got < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                break;
            }
            const std::size_t room = maxOutputBytes - run.output.size();
            run.output.append(block, std::min(room, static_cast<std::size_t>(got)));
        } else if (ready < 0 && errno != EINTR) {
            break;
        }
        if (whileWaiting) whileWaiting();
    }
    close(pipeEnds[0]);

    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return run;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) != 127) {
        run.exited = true;
        run.exitStatus = WEXITSTATUS(status);
    }
    return run;
}

}  // namespace

std::vector<std::string> zenityArguments(const FileDialogRequest& request, bool confirmOverwrite) {
    std::vector<std::string> args{"--file-selection", "--title=" + request.title};
    if (!request.folder.empty()) {
        std::string folder = request.folder;
        if (folder.back() != '/') folder += '/';
        args.push_back("--filename=" + folder);
    }
    for (const FileFilter& filter : request.filters) {
        // zenity splits a filter at "|"; "*.*" means every file, as on the
        // desktops the patterns were written for, and not just names with a dot.
        std::string description = filter.description;
        for (char& c : description)
            if (c == '|') c = '/';
        const std::string pattern = filter.pattern == "*.*" ? "*" : filter.pattern;
        args.push_back("--file-filter=" + description + " | " + pattern);
    }
    if (request.save) {
        args.push_back("--save");
        if (confirmOverwrite) args.push_back("--confirm-overwrite");
    }
    return args;
}

ZenityDialog::ZenityDialog() : program_(findOnPath("zenity")) {}

bool ZenityDialog::acceptsConfirmOverwrite(const std::function<void()>& whileWaiting) {
    if (confirmOverwrite_ < 0) {
        ChildRun help = runChild(program_, {"--help-file-selection"}, whileWaiting);
        confirmOverwrite_ = help.output.find("--confirm-overwrite") != std::string::npos ? 1 : 0;
    }
    return confirmOverwrite_ == 1;
}

FileDialogResult ZenityDialog::run(const FileDialogRequest& request, const std::function<void()>& whileWaiting) {
    if (!installed()) return {};
    const bool confirm = request.save && acceptsConfirmOverwrite(whileWaiting);
    ChildRun dialog = runChild(program_, zenityArguments(request, confirm), whileWaiting);
    if (!dialog.exited) return {};
    if (dialog.exitStatus == 1) return {DialogOutcome::Cancelled, {}};
    if (dialog.exitStatus != 0) return {};
    std::string path = std::move(dialog.output);
    if (!path.empty() && path.back() == '\n') path.pop_back();
    if (path.empty()) return {DialogOutcome::Cancelled, {}};
    return {DialogOutcome::Chosen, std::move(path)};
}

}  // namespace korvane
