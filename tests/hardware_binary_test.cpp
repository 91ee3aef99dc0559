// The hardware programs alone under kovarun (hardware flavour only): a
// device-check tree that names the wrong device stops capview and kovactl
// before they open the memory device or touch a register.
#include "fake_sysfs.h"
#include "program_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using fake_sysfs::FakeDevice;
using fake_sysfs::kDisplay;

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

TEST(HardwareBinary, DeviceCheckRefusalsTouchNothing) {
    if (!program_run::hardware_flavour()) GTEST_SKIP() << "needs kovarun: runs in the hardware flavour";
    FakeDevice network = kDisplay;
    network.pci_class = "0x020000";
    FakeDevice small = kDisplay;
    small.resources = {"0x00000000e0000000 0x00000000e00fffff 0x0000000000042208"};
    FakeDevice elsewhere = kDisplay; // the controller's aperture is at 0xE0000000
    elsewhere.resources = {"0x00000000d0000000 0x00000000d0ffffff 0x0000000000042208"};
    struct Case {
        std::vector<FakeDevice> devices;
        std::string message;
        bool reads_aperture = false; // the check needs the aperture's address: GR 35 is read first
    };
    const Case cases[] = {
        {{fake_sysfs::kSecondDisplay}, "is marked boot_vga"},
        {{network}, "has class 0x020000, not a display controller"},
        {{small}, "has no memory resource of"},
        {{elsewhere}, "lies outside the memory resources", true},
    };
    struct Program {
        const char *path;
        std::vector<std::string> args;
        int status;
    };
    const Program programs[] = {{CAPVIEW_PATH, {}, 2}, {KOVACTL_PATH, {"status"}, 1}};
    for (const Case &c : cases)
        for (const Program &p : programs) {
            SCOPED_TRACE(std::string(p.path) + ": " + c.message);
            const fake_sysfs::FakeSysfs sysfs(c.devices);
            const std::string trace_file = program_run::temp_file("trace");
            const std::string state_dir = program_run::temp_dir("state");
            program_run::Input input;
            input.env = {"KOVA_STATE_DIR=" + state_dir};
            const program_run::Outcome run = program_run::run_under_runner(
                {"--sysfs", sysfs.root(), "--trace", trace_file}, p.path, p.args, input);
            program_run::remove_dir(state_dir);
            EXPECT_EQ(run.status, p.status);
            EXPECT_TRUE(contains(run.err, "device check: ")) << run.err;
            EXPECT_TRUE(contains(run.err, c.message)) << run.err;
            // Nothing mapped; before the aperture's address is needed, nothing but the I/O privilege.
            for (const std::string &line : program_run::lines_of(program_run::take(trace_file))) {
                EXPECT_FALSE(line.starts_with("mmap") || line.starts_with("r") || line.starts_with("w"))
                    << line;
                if (!c.reads_aperture) {
                    EXPECT_EQ(line, "iopl 3");
                }
            }
        }
}

// A register lock that is a link to a user's file: the program refuses with
// the reason (status 2, as for any lock it cannot take), the file is left as
// it was, and no register is touched.
TEST(HardwareBinary, LinkedRegisterLockIsRefused) {
    if (!program_run::hardware_flavour()) GTEST_SKIP() << "needs kovarun: runs in the hardware flavour";
    struct Program {
        const char *path;
        std::vector<std::string> args;
    };
    const Program programs[] = {{CAPVIEW_PATH, {"-s", "3"}}, {KOVACTL_PATH, {"-y", "reg", "set", "GR72=07"}}};
    for (const Program &p : programs) {
        SCOPED_TRACE(p.path);
        const std::string state_dir = program_run::temp_dir("state");
        const std::string precious = program_run::temp_file("precious");
        std::ofstream(precious) << "the user's own\n";
        ASSERT_EQ(symlink(precious.c_str(), (state_dir + "/registers.lock").c_str()), 0);
        const std::string trace_file = program_run::temp_file("trace");
        program_run::Input input;
        input.env = {"KOVA_STATE_DIR=" + state_dir};
        const program_run::Outcome run =
            program_run::run_under_runner({"--trace", trace_file}, p.path, p.args, input);
        program_run::remove_dir(state_dir);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(
            contains(run.err, "registers.lock is a symbolic link; the register lock must be a regular file"))
            << run.err;
        EXPECT_EQ(program_run::take(precious), "the user's own\n");
        for (const std::string &line : program_run::lines_of(program_run::take(trace_file)))
            EXPECT_EQ(line, "iopl 3");
    }
}

} // namespace
