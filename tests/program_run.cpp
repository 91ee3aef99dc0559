#include "program_run.h"

#include "lock_state.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace program_run {

std::string temp_file(const char *stem) {
    std::string path = std::string(P_tmpdir) + "/kova-test-" + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    return path;
}

std::string temp_dir(const char *stem) {
    std::string path = std::string(P_tmpdir) + "/kova-test-" + stem + "-XXXXXX";
    return mkdtemp(path.data()) != nullptr ? path : "";
}

void remove_dir(const std::string &path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string take(const std::string &path) {
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

std::map<std::string, std::uint32_t> parse_dump(const std::string &text) {
    std::map<std::string, std::uint32_t> regs;
    for (const std::string &line : lines_of(text)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos)
            regs[line.substr(0, equals)] =
                static_cast<std::uint32_t>(std::stoul(line.substr(equals + 1), nullptr, 16));
    }
    return regs;
}

namespace {

Outcome run(const char *program, const std::vector<std::string> &args, const Input &input, bool emulated) {
    const std::string out_file = temp_file("out"), err_file = temp_file("err");
    std::vector<std::string> command;
    if (emulated) command.push_back(KOVA_TEST_EMULATOR);
    command.push_back(program);
    command.insert(command.end(), args.begin(), args.end());

    int master = -1, slave = -1;
    if (input.terminal && openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(out_file.c_str(), O_WRONLY | O_TRUNC);
        const int err = open(err_file.c_str(), O_WRONLY | O_TRUNC);
        const int in = input.terminal ? slave : open("/dev/null", O_RDONLY);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        if (input.out_to == "-") close(STDOUT_FILENO);
        if (!input.out_to.empty() && input.out_to != "-")
            dup2(open(input.out_to.c_str(), O_WRONLY), STDOUT_FILENO);
        // Under a user-mode emulator, kovactl starts its simulated twin through it too.
        if (emulated) setenv("KOVACTL_SIM_WRAPPER", KOVA_TEST_EMULATOR, 1);
        for (const std::string &setting : input.env) {
            const auto equals = setting.find('=');
            setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
        }
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
    pid_t ended = 0;
    for (int sent = 0; input.signal != 0 && ended == 0 && sent < input.signals; ++sent) {
        for (int waited = 0; ended == 0 && waited < input.signal_after_ms; waited += 5) {
            usleep(5000);
            ended = waitpid(pid, &wait_status, WNOHANG);
        }
        if (ended == 0) kill(pid, input.signal);
    }
    if (ended == 0) waitpid(pid, &wait_status, 0);
    if (master >= 0) close(master);
    Outcome outcome;
    outcome.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    outcome.out = take(out_file);
    outcome.err = take(err_file);
    return outcome;
}

} // namespace

Outcome run(const char *program, const std::vector<std::string> &args, const Input &input) {
    return run(program, args, input, std::string(KOVA_TEST_EMULATOR) != "");
}

Messages split_summary(const std::string &err) {
    for (const char *name : {"kovarun: ", "kovasim: "})
        for (std::size_t at = err.rfind(name); at != std::string::npos;
             at = at == 0 ? std::string::npos : err.rfind(name, at - 1)) {
            const std::size_t start = at + std::string(name).size();
            const std::size_t end = err.find('\n', start);
            const std::string first = err.substr(start, end - start);
            if ((at == 0 || err[at - 1] == '\n') && first.ends_with(" register accesses"))
                return {err.substr(0, at), err.substr(start)};
        }
    return {err, ""};
}

namespace {

std::string record_in(const std::string &dir) {
    if (dir.empty()) return "";
    std::ifstream in(kova::tool::lock_state_path(dir));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

namespace {

// The --state-dir value's place in the arguments and the text before it.
std::string *state_dir_value(std::vector<std::string> &args, std::string &prefix) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--state-dir" && i + 1 < args.size()) return &args[i + 1];
        if (args[i].starts_with("--state-dir=")) {
            prefix = "--state-dir=";
            return &args[i];
        }
    }
    return nullptr;
}

} // namespace

StateDirCopy::StateDirCopy(const std::vector<std::string> &args) {
    std::vector<std::string> scan = args;
    std::string prefix;
    const std::string *value = state_dir_value(scan, prefix);
    if (value == nullptr) return;
    given = value->substr(prefix.size());
    copy = temp_dir("state-copy") + "/state";
    std::error_code ignored;
    if (std::filesystem::exists(given))
        std::filesystem::copy(given, copy, std::filesystem::copy_options::recursive, ignored);
}

StateDirCopy::~StateDirCopy() {
    if (!copy.empty()) remove_dir(copy.substr(0, copy.rfind('/')));
}

std::vector<std::string> StateDirCopy::for_copy(std::vector<std::string> args) const {
    std::string prefix;
    if (std::string *value = state_dir_value(args, prefix); value != nullptr) *value = prefix + copy;
    return args;
}

std::string StateDirCopy::as_given(std::string text) const {
    if (copy.empty()) return text;
    for (auto at = text.find(copy); at != std::string::npos; at = text.find(copy, at + given.size()))
        text.replace(at, copy.size(), given);
    return text;
}

std::string StateDirCopy::given_record() const {
    return record_in(given);
}

std::string StateDirCopy::copy_record() const {
    return record_in(copy);
}

bool hardware_flavour() {
    const char *flavour = std::getenv("KOVA_TEST_FLAVOUR");
    return flavour != nullptr && std::string(flavour) == "hardware";
}

Outcome run_under_runner(const std::vector<std::string> &runner_options, const char *program,
                         const std::vector<std::string> &args, const Input &input) {
    std::vector<std::string> command = runner_options;
    command.push_back("--");
    command.push_back(program);
    command.insert(command.end(), args.begin(), args.end());
    // The runner and the traced program run natively: ptrace does not reach
    // through a user-mode emulator.
    return run(KOVARUN_PATH, command, input, false);
}

} // namespace program_run
