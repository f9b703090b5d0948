// StringOld::format with the format and its arguments from the input: lines, the format first,
// then up to nine arguments; arguments without a line are null.
#include "check.h"

#include "kbs/strings.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Arguments may hold the placeholders substituted after them, so the text can grow with each
// one: a bound on its size, from the '%' characters each step could replace.
std::size_t sizeBound(const std::string& format, const std::vector<std::string>& arguments) {
    std::size_t size = format.size();
    std::size_t percents = std::count(format.begin(), format.end(), '%');
    for (const std::string& argument : arguments) {
        if (argument.size() > 2)
            size += percents * (argument.size() - 2);
        percents *= std::max<std::size_t>(1, std::count(argument.begin(), argument.end(), '%'));
        if (size > (1u << 22) || percents > (1u << 22))
            return SIZE_MAX;
    }
    return size;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    for (std::size_t from = 0; from <= input.size() && lines.size() < 10;) {
        const std::size_t end = std::min(input.find('\n', from), input.size());
        // The function sees C strings: each ends at its first NUL.
        lines.push_back(input.substr(from, end - from).c_str());
        from = end + 1;
    }
    const std::string format = lines[0];
    const std::vector<std::string> arguments(lines.begin() + 1, lines.end());
    const std::size_t bound = sizeBound(format, arguments);
    // Inputs that could grow beyond some megabytes only measure the allocator.
    if (bound == SIZE_MAX)
        return 0;
    const char* argument[9] = {};
    for (std::size_t i = 0; i < arguments.size(); ++i)
        argument[i] = arguments[i].c_str();

    kbs::StringOld text("previous");
    text.format(format.c_str(), argument[0], argument[1], argument[2], argument[3], argument[4],
                argument[5], argument[6], argument[7], argument[8]);
    FUZZ_CHECK(text.size() <= bound);
    if (format.find('%') == std::string::npos)
        FUZZ_CHECK(text == format);
    // No "%1": nothing is substituted at all.
    if (format.find("%1") == std::string::npos)
        FUZZ_CHECK(text == format);
    text.format(nullptr, argument[0]);
    FUZZ_CHECK(text.empty());
    return 0;
}
