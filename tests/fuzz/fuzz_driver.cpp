// The main of a fuzz target in builds without libFuzzer: runs the target once
// on each file given and on every file inside each folder given, in name
// order, as libFuzzer replays a corpus. A fault shows as a crash or a
// sanitizer report, as it would under libFuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> inputFiles(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path given(argv[i]);
        if (!std::filesystem::is_directory(given)) {
            files.push_back(given.string());
            continue;
        }
        std::vector<std::string> inside;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(given)) {
            if (entry.is_regular_file()) {
                inside.push_back(entry.path().string());
            }
        }
        std::sort(inside.begin(), inside.end());
        files.insert(files.end(), inside.begin(), inside.end());
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> files = inputFiles(argc, argv);
    for (const std::string& name : files) {
        std::ifstream file(name, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "%s: cannot be read\n", name.c_str());
            return 1;
        }
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("ran %zu inputs\n", files.size());
    // No input at all is a mistake in the test's set-up, not a pass.
    return files.empty() ? 1 : 0;
}
