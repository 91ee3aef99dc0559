#include "failure_names.h"

#include <iterator>

namespace kova::registers {

bool parse_failure(std::string_view what, Failure &failure) {
    for (const FailureName &row : kFailureNames)
        if (what == row.name) {
            failure = row.failure;
            return true;
        }
    return false;
}

std::string failure_names(std::string_view separator, std::string_view last) {
    std::string names;
    for (const FailureName &row : kFailureNames) {
        if (!names.empty()) names += &row == std::end(kFailureNames) - 1 ? last : separator;
        names += row.name;
    }
    return names;
}

} // namespace kova::registers
