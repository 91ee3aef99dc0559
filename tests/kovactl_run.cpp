#include "kovactl_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string temp_file(const char *stem) {
    std::string path = std::string(P_tmpdir) + "/kovactl-" + stem + "-XXXXXX";
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

std::vector<std::string> after_mapping(const std::vector<std::string> &trace) {
    const auto close = std::find(trace.begin(), trace.end(), "close");
    return close == trace.end() ? trace : std::vector<std::string>(close + 1, trace.end());
}

std::vector<std::string> presets(const std::vector<std::string> &settings) {
    std::vector<std::string> args;
    for (const auto &s : settings) {
        args.push_back("--set");
        args.push_back(s);
    }
    return args;
}

KovactlRun run_kovactl(const std::vector<std::string> &args, const KovactlInput &input) {
    const std::string out_file = temp_file("out"), err_file = temp_file("err");
    const std::string trace_file = temp_file("trace"), dump_file = temp_file("dump");

    std::vector<std::string> command;
    if (std::string(KOVA_TEST_EMULATOR) != "") command.push_back(KOVA_TEST_EMULATOR);
    command.push_back(KOVACTL_PATH);
    if (input.simulated) command.insert(command.end(), {"--sim", "--trace", trace_file, "--dump", dump_file});
    command.insert(command.end(), args.begin(), args.end());

    int master = -1, slave = -1;
    if (input.terminal && openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
    KovactlRun run;
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(out_file.c_str(), O_WRONLY | O_TRUNC);
        const int err = open(err_file.c_str(), O_WRONLY | O_TRUNC);
        const int in = input.terminal ? slave : open("/dev/null", O_RDONLY);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        std::vector<char *> argv;
        for (auto &arg : command)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (input.terminal) {
        close(slave);
        const std::string typed = input.answer + "\n";
        if (write(master, typed.data(), typed.size()) < 0) {
            // the program reads nothing then, and takes it as a no
        }
    }
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    if (master >= 0) close(master);
    run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    run.out = slurp(out_file);
    run.err = slurp(err_file);
    run.trace = after_mapping(lines_of(slurp(trace_file)));
    for (const std::string &line : lines_of(slurp(dump_file))) {
        const auto equals = line.find('=');
        if (equals != std::string::npos)
            run.regs[line.substr(0, equals)] =
                static_cast<std::uint32_t>(std::stoul(line.substr(equals + 1), nullptr, 16));
    }
    return run;
}
