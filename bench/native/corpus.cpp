#include "corpus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace bench {

namespace fs = std::filesystem;

std::vector<CorpusFile> readCorpus(const std::string& directory) {
    const fs::path root(directory);
    if (!fs::is_directory(root))
        throw std::runtime_error("not a directory: " + directory);
    std::vector<fs::path> paths;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().extension() == ".class")
            paths.push_back(entry.path());
    if (paths.empty())
        throw std::runtime_error("no .class file below " + directory);
    std::sort(paths.begin(), paths.end());

    std::vector<CorpusFile> files;
    files.reserve(paths.size());
    for (const fs::path& path : paths) {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw std::runtime_error("cannot read " + path.string());
        CorpusFile file;
        file.name = path.lexically_relative(root).replace_extension().generic_string();
        file.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        files.push_back(std::move(file));
    }
    return files;
}

} // namespace bench
