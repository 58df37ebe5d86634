// Shared by the fuzz targets: a failed property aborts, which libFuzzer
// reports as a crash with the input that caused it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

inline void require(bool holds) {
    if (!holds)
        std::abort();
}

// Input for the path targets: the user name, a line feed, then the path.
// Without a line feed the whole input is the path and the name is Bob.
struct NameAndPath {
    std::string name;
    std::string path;
};

inline NameAndPath splitNameAndPath(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t feed = input.find('\n');
    if (feed == std::string_view::npos)
        return {"Bob", std::string(input)};
    return {std::string(input.substr(0, feed)), std::string(input.substr(feed + 1))};
}
