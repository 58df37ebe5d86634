// foldUserPath on any name and folder: only the third segment after "Users"
// may change, folding is idempotent, and expanding undoes it.
#include "fuzz_support.h"
#include "prefs/prefs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const NameAndPath input = splitNameAndPath(data, size);
    const std::string folded = foldUserPath(input.path, input.name);

    const std::vector<std::string> before = splitPath(input.path);
    const std::vector<std::string> after = splitPath(folded);
    require(folded.empty() == before.empty());
    require(folded.empty() || folded.back() == '/');
    require(folded.find('\\') == std::string::npos);
    require(after.size() == before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (i == 2 && after[i] != before[i])
            require(before[1] == "Users" && before[2] == input.name && after[2] == userPlaceholder);
        else
            require(after[i] == before[i]);
    }
    require(foldUserPath(folded, input.name) == folded);
    require(expandUserPath(folded, input.name) == expandUserPath(input.path, input.name));
    return 0;
}
