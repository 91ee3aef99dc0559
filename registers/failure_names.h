// The platform calls that the simulated controller can be made to fail, by
// the names that the programs' --fail takes.  Here, below the simulator, so
// that a hardware program checks its options without it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kova::registers {

enum class Failure : std::uint8_t { Iopl, OpenMem, MapFrameBuffer, MapRegisterWindow };

// Each failure's name, the one list: kovasim's and kovactl's --fail take these
// names, and their help and error texts list them from here.
struct FailureName {
    Failure failure;
    const char *name;
};
inline constexpr FailureName kFailureNames[] = {
    {.failure = Failure::Iopl, .name = "iopl"},
    {.failure = Failure::OpenMem, .name = "open"},
    {.failure = Failure::MapFrameBuffer, .name = "mmap-fb"},
    {.failure = Failure::MapRegisterWindow, .name = "mmap-mmio"},
};

// The failure of a name in kFailureNames; false for another name.
bool parse_failure(std::string_view what, Failure &failure);

// The names in their order, `separator` between them and `last` before the
// last one: "iopl, open, mmap-fb or mmap-mmio".
std::string failure_names(std::string_view separator = ", ", std::string_view last = ", ");

} // namespace kova::registers
