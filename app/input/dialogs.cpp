#include "app/input/dialogs.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "app/text/text_file.h"
#include "app/window/screen.h"

namespace korvane {

namespace {

constexpr std::size_t filterListSize = 200;  // characters, zeros included
constexpr std::size_t titleLength = 31;
constexpr std::size_t pathLimit = 260;       // characters of a chosen path

bool isFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The dialog's place when the desktop offers none: the folder and the
// patterns in the window, a path typed on the keyboard. An open dialog wants
// an existing file, a save dialog an existing folder; anything else asks again.
std::string promptInWindow(const FileDialogRequest& request) {
    std::string patterns;
    for (const FileFilter& filter : request.filters) {
        if (!patterns.empty()) patterns += ' ';
        patterns += filter.pattern;
    }
    std::string problem;
    for (;;) {
        screen::clear();
        screen::printLineAt(1, 1, request.title);
        screen::printLine("folder: " + request.folder);
        screen::printLine("files: " + patterns);
        screen::printLine("path (Enter alone cancels):");
        if (!problem.empty()) screen::printLine(problem);
        const std::string typed = trimBlanks(screen::readLine());
        if (typed.empty()) return {};
        const std::string path = typed.front() == '/' ? typed : request.folder + typed;
        if (request.save ? isFolder(folderOfChosen(path)) && !isFolder(path) : isFile(path)) return path;
        problem = (request.save ? "no such folder: " : "no such file: ") + typed;
    }
}

}  // namespace

void showNotice(const std::string& text, const std::string& title) {
    platform().showMessageBox(text, title);
    screen::sleep(200);
}

std::string askYesNo(const std::string& text, const std::string& title) {
    const bool ok = platform().askOkCancel(text, title);
    screen::sleep(200);
    return ok ? "yes" : "no";
}

void showMessageAndWait(const std::string& text, const std::string& /*title*/) {
    screen::printLine(text);
    platform().readKey();
    while (platform().readKey() == 0) screen::sleep(100);
}

std::string fieldOf(std::string_view text, unsigned n, char separator) {
    if (n == 0) return {};
    std::string_view rest = text;
    for (unsigned i = 1; i < n && !rest.empty(); ++i) {
        const std::size_t at = rest.find(separator);
        rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
    }
    return std::string(rest.substr(0, rest.find(separator)));
}

bool buildFilterList(std::string_view patternPart, std::vector<FileFilter>& filters) {
    filters.clear();
    // Each pair is stored as description, zero, pattern, zero; the list ends
    // with one more zero.
    std::size_t used = 0;
    const auto fits = [&used](const FileFilter& filter) {
        used += filter.description.size() + 1 + filter.pattern.size() + 1;
        return used + 1 <= filterListSize;
    };
    for (unsigned k = 1;; ++k) {
        const std::string item = fieldOf(patternPart, k, ';');
        if (item.empty()) break;
        FileFilter filter;
        filter.pattern = fieldOf(item, 1, ',');
        filter.description = fieldOf(item, 2, ',') + " (" + filter.pattern + ")";
        if (!fits(filter)) return false;
        filters.push_back(std::move(filter));
    }
    FileFilter all{"All  (*.*)", "*.*"};
    if (!fits(all)) return false;
    filters.push_back(std::move(all));
    return true;
}

std::string workingFolder() {
    std::error_code error;
    std::string folder = std::filesystem::current_path(error).string();
    if (error || folder.empty()) return {};  // gone: no path counts as inside it
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::string folderOfChosen(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? workingFolder() : name.substr(0, slash + 1);
}

std::string chooseFile(const std::string& title, const std::string& spec) {
    const std::size_t slash = spec.rfind('/');
    FileDialogRequest request;
    request.folder = slash == std::string::npos ? std::string() : spec.substr(0, slash + 1);
    if (request.folder.empty()) request.folder = workingFolder();
    const std::string patternPart = slash == std::string::npos ? spec : spec.substr(slash + 1);
    if (!buildFilterList(patternPart, request.filters)) return {};
    request.title = title.substr(0, titleLength);
    request.save = title.find("save") != std::string::npos;

    const FileDialogResult result = platform().fileDialog(request);
    std::string path;
    if (result.outcome == DialogOutcome::Chosen) path = result.path;
    if (result.outcome == DialogOutcome::Unavailable) path = promptInWindow(request);
    if (path.size() > pathLimit) {
        showNotice("path too long (more than 260 characters): " + path, "notice");
        return {};
    }
    return path;
}

std::string chooseFileWithExtension(const std::string& title, const std::string& spec,
                                    const std::string& extension) {
    std::error_code error;
    const std::filesystem::path working = std::filesystem::current_path(error);
    std::string name = chooseFile(title, spec);
    if (!working.empty()) std::filesystem::current_path(working, error);
    name = trimBlanks(name);
    if (name.empty()) return {};
    const std::size_t slash = name.rfind('/');
    const std::size_t fileStart = slash == std::string::npos ? 0 : slash + 1;
    if (name.find('.', fileStart) == std::string::npos) name += extension;
    if (!endsWithIgnoringCase(name, extension)) {
        showNotice("bad name " + name, "notice");
        return {};
    }
    return name;
}

}  // namespace korvane
