// Fuzz target: the register settings that kovasim takes with --set and writes
// with --dump.
//
// Input: one setting text.  Beyond crashes, the target stops when
//   - a refusal has no reason or a reason of more than one line;
//   - an accepted setting holds a value too wide for its register;
//   - the setting's own name and value, written back in the dump's syntax,
//     parse to a different setting (a dump would not restore the state);
//   - applying the setting does not leave the register holding its value.
#include "controller.h"
#include "register_dump.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void finding(const char *what, std::string_view input) {
    std::fprintf(stderr, "register-name fuzz target: %s: \"%.*s\"\n", what, static_cast<int>(input.size()),
                 input.data());
    std::abort();
}

bool same_register(const kova::registers::Reg &a, const kova::registers::Reg &b) {
    return a.kind == b.kind && a.index == b.index && a.page == b.page;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    kova::registers::Setting setting{};
    std::string error;
    if (!kova::registers::parse_setting(text, setting, error)) {
        if (error.empty() || error.find('\n') != std::string::npos)
            finding("refused without a one-line reason", text);
        return 0;
    }

    const bool tv = setting.reg.kind == kova::registers::Reg::Kind::TV;
    if (!tv && setting.value > 0xFF) finding("an 8-bit register accepted a wider value", text);

    char value[8];
    std::snprintf(value, sizeof value, tv ? "%04X" : "%02X", setting.value);
    const std::string written = kova::registers::register_name(setting.reg) + "=" + value;
    kova::registers::Setting again{};
    if (!kova::registers::parse_setting(written, again, error) || !same_register(again.reg, setting.reg) ||
        again.value != setting.value)
        finding("the setting written back parses differently", text);

    // A controller of its own, kept between inputs: setting a register and
    // reading it back does not depend on the others.
    static kova::sim::Controller sim;
    kova::sim::apply(sim, setting);
    const std::uint16_t held = tv ? sim.get_tv(setting.reg.index) : sim.get(setting.reg);
    if (held != setting.value) finding("the register does not hold the applied value", text);
    return 0;
}
