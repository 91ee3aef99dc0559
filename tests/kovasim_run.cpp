#include "kovasim_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string temp_file(const char *stem) {
    std::string path = std::string(P_tmpdir) + "/kovasim-" + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    return path;
}

std::string slurp(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path.c_str());
    return text.str();
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

const char *const kUsageText = "\nUsage : capview [args]\n"
                               " Valid arguments:\n"
                               "  -q, --off:            disable Overscan\n"
                               "  -b, --bobmode:        use BOBMODE (default: WEAVEMODE)\n"
                               "  -w, --destwidth:      destination width (720)\n"
                               "  -h, --destheight:     destination height (576)\n"
                               "  -x, --offsetx:        horizontal offset (0)\n"
                               "  -y, --offsety:        vertical offset (0)\n"
                               "  -X, --shrinkx:        horizontal shrink (0)\n"
                               "  -Y, --shrinky:        vertical shrink (0)\n"
                               "  -B, --bitclipwidth:   horizontal cut (0)\n"
                               "  -C, --bitclipheight:  vertical cut (0)\n"
                               "  -W, --sourcewidth:    source width (720)\n"
                               "  -H, --sourceheight:   source height (576)\n"
                               "  -d, --doublebuffer:   use doubleBuffer (for LCD TV)\n"
                               "  -o, --blank:          clear output\n"
                               "  -s, --synclock:       use synclock function\n"
                               "      [0=640x480; 1=720x540; 2=768x576; 3=720x576]\n"
                               "  -v, --verbose:        be verbose\n";

long KovasimRun::count(const std::string &line) const {
    return std::count(trace.begin(), trace.end(), line);
}

long KovasimRun::find(const std::string &line, long from) const {
    for (long i = std::max(from, 0L); i < static_cast<long>(trace.size()); ++i)
        if (trace[static_cast<std::size_t>(i)] == line) return i;
    return -1;
}

KovasimRun run_kovasim(const std::vector<std::string> &args, bool with_trace_and_dump) {
    const std::string out_file = temp_file("out"), err_file = temp_file("err");
    const std::string trace_file = temp_file("trace"), dump_file = temp_file("dump");

    std::vector<std::string> command;
    if (std::string(KOVA_TEST_EMULATOR) != "") command.push_back(KOVA_TEST_EMULATOR);
    command.push_back(KOVASIM_PATH);
    if (with_trace_and_dump) command.insert(command.end(), {"--trace", trace_file, "--dump", dump_file});
    command.insert(command.end(), args.begin(), args.end());

    KovasimRun run;
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(out_file.c_str(), O_WRONLY | O_TRUNC);
        const int err = open(err_file.c_str(), O_WRONLY | O_TRUNC);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        std::vector<char *> argv;
        for (auto &arg : command)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    run.out = slurp(out_file);
    run.err = slurp(err_file);
    run.trace = lines_of(slurp(trace_file));
    for (const std::string &line : lines_of(slurp(dump_file))) {
        const auto equals = line.find('=');
        if (equals != std::string::npos)
            run.regs[line.substr(0, equals)] =
                static_cast<std::uint32_t>(std::stoul(line.substr(equals + 1), nullptr, 16));
    }
    return run;
}
