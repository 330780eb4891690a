#include "tools/converter/batch.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/text/text_file.h"

namespace korvane::converter {

namespace fs = std::filesystem;

namespace {

struct Source {
    std::string path;
    fs::path relative;  // where its results go under an output folder
};

// The ".mp3" files under folder, in name order; unreadable parts are skipped.
std::vector<Source> mp3FilesUnder(const std::string& folder) {
    std::vector<Source> found;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        if (!it->is_regular_file(ignored)) continue;
        const std::string name = it->path().filename().string();
        if (!endsWithIgnoringCase(name, ".mp3")) continue;
        found.push_back({it->path().string(), it->path().lexically_relative(folder)});
    }
    std::sort(found.begin(), found.end(),
              [](const Source& a, const Source& b) { return a.relative < b.relative; });
    return found;
}

std::string resultPath(const std::string& asked, bool several, const Source& source,
                       const char* extension) {
    if (asked.empty()) return {};
    if (!several) return asked;
    return (fs::path(asked) / source.relative).replace_extension(extension).string();
}

}  // namespace

bool readInputList(const std::string& list, std::vector<std::string>& inputs, std::string& error) {
    std::string text;
    if (!readTextFile(list == "-" ? "/dev/stdin" : list, text)) {
        error = "cannot read the list " + list + ": " + std::strerror(errno);
        return false;
    }
    for (TextLines lines(std::move(text)); !lines.atEnd();) {
        std::string line = lines.next();
        if (!line.empty()) inputs.push_back(std::move(line));
    }
    return true;
}

std::vector<Job> planJobs(const Options& options) {
    std::vector<Source> sources;
    bool fromFolder = false;
    for (const std::string& input : options.inputs) {
        std::error_code error;
        if (fs::is_directory(input, error)) {
            fromFolder = true;
            const std::vector<Source> files = mp3FilesUnder(input);
            sources.insert(sources.end(), files.begin(), files.end());
        } else {
            sources.push_back({input, fs::path(input).filename()});
        }
    }
    const bool several = fromFolder || sources.size() > 1;
    std::vector<Job> jobs;
    for (const Source& source : sources) {
        Job job;
        job.input = source.path;
        job.output = options.output.empty()
                         ? fs::path(source.path).replace_extension(".mid").string()
                         : resultPath(options.output, several, source, ".mid");
        job.notes = resultPath(options.notes, several, source, ".csv");
        job.wav = resultPath(options.wav, several, source, ".wav");
        job.wavMix = resultPath(options.wavMix, several, source, ".wav");
        jobs.push_back(std::move(job));
    }
    return jobs;
}

namespace {

using Clock = std::chrono::steady_clock;

// Set by SIGINT in the batch, by SIGTERM in a conversion's process.
volatile std::sig_atomic_t stopAsked = 0;

extern "C" void askToStop(int) { stopAsked = 1; }

void onSignal(int signal, void (*handler)(int), struct sigaction* old = nullptr) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a signal wakes the batch's poll
    ::sigaction(signal, &action, old);
}

// A conversion running in a child process, which reports through a pipe:
// "p DONE AUDIOSECONDS" lines while it runs, then "o TEXT" or "f TEXT".
struct Running {
    std::size_t job = 0;
    pid_t pid = -1;
    int pipe = -1;
    std::string pending;  // bytes read but not yet a whole line
    double done = 0.0;
    double audioSeconds = 0.0;
    Outcome outcome;
    bool reported = false;
};

void writeLine(int fd, const std::string& line) {
    std::string text = line + "\n";
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written <= 0) return;  // the batch is gone; nothing to tell
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

// In the child: the conversion, its reports sent up the pipe. Ctrl-C on a
// terminal reaches the whole process group; the batch alone answers it and
// stops its children with SIGTERM, which each obeys at its next report: the
// conversion reports while it decodes and analyses and never while it puts
// its results in place, so a result is whole or absent. Its last report
// (done) comes once they are in place, and it then finishes as converted.
[[noreturn]] void runChild(const Job& job, int fd, const Converter& convert) {
    ::signal(SIGINT, SIG_IGN);
    stopAsked = 0;
    onSignal(SIGTERM, askToStop);
    auto last = Clock::now() - std::chrono::seconds(1);
    const ProgressReport report = [&](double done, double audioSeconds) {
        if (stopAsked && done < 1.0) ::_exit(exitInterrupted);
        const auto now = Clock::now();
        if (done < 1.0 && now - last < std::chrono::milliseconds(100)) return;
        last = now;
        char line[64];
        std::snprintf(line, sizeof line, "p %.4f %.3f", done, audioSeconds);
        writeLine(fd, line);
    };
    report(0.0, 0.0);
    const Outcome outcome = convert(job, report);
    std::string text = outcome.text;
    std::replace(text.begin(), text.end(), '\n', ' ');
    writeLine(fd, (outcome.ok ? "o " : "f ") + text);
    ::close(fd);
    std::fflush(nullptr);
    ::_exit(outcome.ok ? 0 : exitFailed);
}

void readReports(Running& run) {
    char buffer[4096];
    const ssize_t got = ::read(run.pipe, buffer, sizeof buffer);
    if (got <= 0) return;
    run.pending.append(buffer, static_cast<std::size_t>(got));
    std::size_t end;
    while ((end = run.pending.find('\n')) != std::string::npos) {
        const std::string line = run.pending.substr(0, end);
        run.pending.erase(0, end + 1);
        if (line.size() < 2) continue;
        if (line[0] == 'p') {
            std::sscanf(line.c_str() + 2, "%lf %lf", &run.done, &run.audioSeconds);
        } else {
            run.outcome = {line[0] == 'o', line.substr(2)};
            run.reported = true;
        }
    }
}

std::string fileName(const std::string& path) { return fs::path(path).filename().string(); }

// "1:02:03" or "2:03".
std::string clockText(double seconds) {
    const long total = std::lround(std::max(0.0, seconds));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

// The batch's report on standard error. The share of the audio is counted
// in bytes of the inputs, which are known before any is decoded.
class ProgressLine {
public:
    ProgressLine(const std::vector<Job>& jobs, bool quiet)
        : jobs_(jobs), terminal_(!quiet && ::isatty(2) == 1), quiet_(quiet), start_(Clock::now()) {
        for (const Job& job : jobs) {
            std::error_code error;
            const std::uintmax_t size = fs::file_size(job.input, error);
            sizes_.push_back(error ? 0.0 : static_cast<double>(size));
            totalBytes_ += sizes_.back();
        }
    }

    void finished(std::size_t job, const Outcome& outcome, double audioSeconds) {
        audioDone_ += audioSeconds;
        bytesDone_ += sizes_[job];
        ++count_;
        (outcome.ok ? converted_ : failed_) += 1;
        if (!outcome.ok || !quiet_) {
            clear();
            if (outcome.ok)
                std::fprintf(stderr, "%s -> %s: %s\n", jobs_[job].input.c_str(), jobs_[job].output.c_str(),
                             outcome.text.c_str());
            else
                std::fprintf(stderr, "korvane-tomidi: %s: %s\n", jobs_[job].input.c_str(), outcome.text.c_str());
        }
    }

    void draw(const std::vector<Running>& running) {
        const auto now = Clock::now();
        if (!terminal_ || now - drawn_ < std::chrono::milliseconds(100)) return;
        drawn_ = now;
        double audio = audioDone_;
        double bytes = bytesDone_;
        std::string files;
        for (const Running& run : running) {
            audio += run.audioSeconds;
            bytes += run.done * sizes_[run.job];
            char part[32];
            std::snprintf(part, sizeof part, "  %3.0f%% ", 100.0 * run.done);
            files += part + fileName(jobs_[run.job].input).substr(0, 30);
        }
        const double share = totalBytes_ > 0 ? std::min(1.0, bytes / totalBytes_) : 0.0;
        const double wall = std::chrono::duration<double>(now - start_).count();
        char text[160];
        int length = std::snprintf(text, sizeof text, "[%zu/%zu] %3.0f%% of the audio", count_, jobs_.size(),
                                   100.0 * share);
        if (wall > 1.0 && share > 0.0)
            std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ", %.0fx real time, %s left",
                          audio / wall, clockText(wall * (1.0 - share) / share).c_str());
        clear();
        std::fputs((text + files).substr(0, 200).c_str(), stderr);
        shown_ = true;
    }

    void clear() {
        if (shown_) std::fputs("\r\033[K", stderr);
        shown_ = false;
    }

    // The closing line, for a batch of several inputs or an interrupted
    // one: what became of every input.
    void summary(std::size_t skipped, bool interrupted) {
        clear();
        if (!interrupted && (quiet_ || jobs_.size() + skipped < 2)) return;
        std::fprintf(stderr, "korvane-tomidi: %s%zu converted, %zu skipped, %zu failed", interrupted ? "interrupted: " : "",
                     converted_, skipped, failed_);
        if (interrupted)
            std::fprintf(stderr, ", %zu not converted (--skip-existing converts the rest)", jobs_.size() - count_);
        std::fputc('\n', stderr);
    }

    // A conversion stopped by an interruption: neither converted nor failed.
    void stopped(std::size_t job) { bytesDone_ += sizes_[job]; }

private:
    const std::vector<Job>& jobs_;
    bool terminal_;
    bool quiet_;
    Clock::time_point start_;
    Clock::time_point drawn_{};
    std::vector<double> sizes_;
    double totalBytes_ = 0.0;
    double bytesDone_ = 0.0;
    double audioDone_ = 0.0;
    std::size_t count_ = 0;
    std::size_t converted_ = 0;
    std::size_t failed_ = 0;
    bool shown_ = false;
};

}  // namespace

int runJobs(const std::vector<Job>& list, int jobs, bool quiet, std::size_t skipped, const Converter& convert) {
    ProgressLine progress(list, quiet);
    std::vector<Running> running;
    std::size_t next = 0;
    bool failed = false;
    stopAsked = 0;
    struct sigaction oldInterrupt {};
    onSignal(SIGINT, askToStop, &oldInterrupt);
    bool stopping = false;
    std::fflush(nullptr);  // nothing buffered may be written twice by a child

    while ((next < list.size() && !stopping) || !running.empty()) {
        if (stopAsked && !stopping) {
            stopping = true;
            for (const Running& run : running) ::kill(run.pid, SIGTERM);
        }
        while (!stopping && next < list.size() && static_cast<int>(running.size()) < jobs) {
            int fds[2];
            if (::pipe(fds) != 0) break;
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::close(fds[0]);
                runChild(list[next], fds[1], convert);
            }
            ::close(fds[1]);
            if (pid < 0) {
                ::close(fds[0]);
                break;
            }
            Running run;
            run.job = next++;
            run.pid = pid;
            run.pipe = fds[0];
            running.push_back(std::move(run));
        }
        if (running.empty()) {
            if (stopping) break;
            progress.finished(next, {false, "cannot start a process"}, 0);  // no process could be started
            failed = true;
            ++next;
            continue;
        }

        std::vector<pollfd> polls;
        for (const Running& run : running) polls.push_back({run.pipe, POLLIN, 0});
        if (::poll(polls.data(), polls.size(), 200) < 0) continue;  // a signal: look at it first
        for (std::size_t i = 0; i < running.size();) {
            Running& run = running[i];
            const bool closed = (polls[i].revents & (POLLHUP | POLLERR)) != 0 &&
                                (polls[i].revents & POLLIN) == 0;
            if ((polls[i].revents & POLLIN) != 0) readReports(run);
            if (!closed) {
                ++i;
                continue;
            }
            ::close(run.pipe);
            int status = 0;
            ::waitpid(run.pid, &status, 0);
            Outcome outcome = run.outcome;
            const bool exitedWell = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            const bool stoppedHere = stopping && !run.reported;
            if (stoppedHere) {
                progress.stopped(run.job);
            } else {
                if (!run.reported || (outcome.ok && !exitedWell))
                    outcome = {false, WIFSIGNALED(status)
                                          ? "the conversion ended on signal " + std::to_string(WTERMSIG(status))
                                          : "the conversion ended without a result"};
                failed = failed || !outcome.ok;
                progress.finished(run.job, outcome, run.audioSeconds);
            }
            polls.erase(polls.begin() + static_cast<std::ptrdiff_t>(i));
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
        }
        progress.draw(running);
    }
    ::sigaction(SIGINT, &oldInterrupt, nullptr);
    progress.summary(skipped, stopping);
    if (stopping) return exitInterrupted;
    return failed ? exitFailed : 0;
}

}  // namespace korvane::converter
