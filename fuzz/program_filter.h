// Which command lines the program targets (kovasim, kovactl) run: none that
// names a file to read or write, or a run long enough to look like a hang.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kova::fuzz {

// True when an argument is one of the options, alone or as "--name=value".
inline bool names_option(std::string_view arg, std::initializer_list<std::string_view> options) {
    for (const std::string_view option : options)
        if (arg == option ||
            (arg.starts_with(option) && arg.size() > option.size() && arg[option.size()] == '='))
            return true;
    return false;
}

// True when any argument is one of the options, wherever it stands (also
// where the program would read it as another option's value: the filter errs
// on the safe side).
inline bool any_names_option(const std::vector<std::string> &args,
                             std::initializer_list<std::string_view> options) {
    for (const std::string &arg : args)
        if (names_option(arg, options)) return true;
    return false;
}

} // namespace kova::fuzz
