// The carrier vectors through the library's reader of carriers. The Java companion's reader walks
// the same file (its format is described at its top), so the two readers cannot drift apart.
#include "jni/classload/hooks.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

// A field of the vectors file: \xHH is the byte HH, "-" no bytes at all.
static std::string bytes(const std::string& field) {
    std::string out;
    for (std::size_t at = 0; at < field.size() && field != "-"; ++at)
        out += field[at] != '\\'
                   ? field[at]
                   : static_cast<char>(std::stoi(field.substr((at += 3) - 1, 2), nullptr, 16));
    return out;
}

TEST(CarrierVectors, TheLibrarysReaderFindsTheContainerOfEach) {
    std::ifstream file(KELO_CARRIER_VECTORS, std::ios::binary);
    int vectors = 0;
    for (std::string line, name, carrier, expected, why; std::getline(file, line);) {
        std::istringstream fields(line);
        if (line.empty() || line[0] == '#' ||
            !std::getline(fields >> name >> carrier >> expected >> std::ws, why))
            continue;
        const std::string data = bytes(carrier);
        YS0073::YS0081<unsigned char> container;
        kelo::extractEmbeddedContainer(reinterpret_cast<const unsigned char*>(data.data()),
                                       static_cast<std::uint32_t>(data.size()), bytes(name).c_str(),
                                       container);
        EXPECT_EQ(std::string(container.data(), container.data() + container.size()),
                  bytes(expected))
            << why;
        ++vectors;
    }
    EXPECT_GT(vectors, 20) << KELO_CARRIER_VECTORS;
}
