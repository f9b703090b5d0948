// The classes of a prepared corpus directory (bench/corpus writes DIR/containers): every .class
// file below it, read whole, in path order.
#ifndef KELO_BENCH_NATIVE_CORPUS_H
#define KELO_BENCH_NATIVE_CORPUS_H

#include <string>
#include <vector>

namespace bench {

struct CorpusFile {
    std::string name; // the path below the directory without ".class": the class's internal name
    std::vector<unsigned char> bytes;
};

// Throws std::runtime_error when the directory cannot be read or holds no class file.
std::vector<CorpusFile> readCorpus(const std::string& directory);

} // namespace bench

#endif
