// The state directory shared by the programs: where the lock-state record of
// a sync lock and the register-owner lock live.
#pragma once

#include <string>

namespace kova::tool {

inline constexpr const char *kDefaultStateDir = "/run/kova";

// The option's value when given (not null and not empty), else $KOVA_STATE_DIR
// when set and not empty, else /run/kova.
std::string state_dir(const char *option_value);

// Creates the directory (and its parents) with mode 0700 when missing.
// Returns false with errno set when it cannot be created or is not a directory.
bool ensure_state_dir(const std::string &dir);

} // namespace kova::tool
