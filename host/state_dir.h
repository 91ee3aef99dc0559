// The state directory shared by the programs: where the lock-state record of
// a sync lock and the register-owner lock live.
#pragma once

#include <string>
#include <sys/stat.h>

namespace kova::tool {

inline constexpr const char *kDefaultStateDir = "/run/kova";

// The option's value when given (not null and not empty), else $KOVA_STATE_DIR
// when set and not empty, else /run/kova.
std::string state_dir(const char *option_value);

// "--state-dir" when the option is given (not null) but empty, else
// "KOVA_STATE_DIR" when that is set but empty, else null: an empty name is
// refused, never read as the default directory.
const char *empty_state_dir_name(const char *option_value);

// Whether `dir` is the hardware's directory, /run/kova (by name or as the
// same directory), which a simulated run never uses.
bool is_default_state_dir(const std::string &dir);

// Creates the directory with mode 0700 when missing; its parent must exist.
// Returns false with errno set when it cannot be created or is not a directory.
bool ensure_state_dir(const std::string &dir);

// ensure_state_dir, and a file can be created in the directory (tried with a
// temporary that is removed at once).  False with `error` set to a one-line
// reason ("DIR: Permission denied").
bool writable_state_dir(const std::string &dir, std::string &error);

// The rule for the state directory and the files in it (the lock-state
// record, the register lock): this user, or root, owns them and neither group
// nor others can write them.  "" when `st` keeps the rule, else why not: "is
// owned by another user (uid 65534), not by uid 0" or "is writable by group
// or others".
std::string untrusted(const struct stat &st);

// "" when DIR keeps the rule (or does not exist yet), else "the state
// directory DIR " and why not.
std::string untrusted_state_dir(const std::string &dir);

} // namespace kova::tool
