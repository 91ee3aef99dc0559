/* The opens a program makes, each with what it got: "name errno-name" or
 * "name ok TYPE MODE ...".  Run as it is and under kovarun, the two outputs
 * must be the same: kovarun's supervisor performs every open as the kernel
 * would have.
 *   opens DIR   makes its files in DIR (empty) */
#include <errno.h>
#include <signal.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

static void show(const char *name, int fd) {
    struct stat st;
    if (fd < 0) {
        printf("%s %s\n", name, strerrorname_np(errno));
        return;
    }
    fstat(fd, &st);
    const char *type = S_ISREG(st.st_mode)    ? "file"
                       : S_ISDIR(st.st_mode)  ? "dir"
                       : S_ISLNK(st.st_mode)  ? "link"
                       : S_ISFIFO(st.st_mode) ? "fifo"
                       : S_ISCHR(st.st_mode)  ? "char"
                                              : "other";
    const int flags = fcntl(fd, F_GETFL);
    printf("%s ok %s %03o links %ld cloexec %d access %d append %d size %lld\n", name, type,
           (unsigned)(st.st_mode & 07777), (long)st.st_nlink, (fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0,
           flags & O_ACCMODE, (flags & O_APPEND) != 0, (long long)st.st_size);
    close(fd);
}

static int openat2_(int dir, const char *path, uint64_t flags, uint64_t resolve) {
    struct open_how how = {.flags = flags, .resolve = resolve};
    return (int)syscall(SYS_openat2, dir, path, &how, sizeof how);
}

static void first_line(const char *name, const char *path) {
    char line[128] = "";
    FILE *f = fopen(path, "r");
    if (f == NULL || fgets(line, sizeof line, f) == NULL) {
        printf("%s %s\n", name, strerrorname_np(errno));
    } else {
        line[strcspn(line, "\n")] = '\0';
        printf("%s %s\n", name,
               strcmp(line, "Name:\topens") == 0 || strcmp(line, "opens") == 0 ? "mine" : line);
    }
    if (f != NULL) fclose(f);
}

/* A FIFO opened at both ends by two processes, each open blocking until the
 * other comes. */
static void fifo_pair(void) {
    const pid_t child = fork();
    if (child == 0) _exit(open("fifo", O_WRONLY) >= 0 ? 0 : 1);
    show("fifo-blocking-read", open("fifo", O_RDONLY));
    int status = -1;
    waitpid(child, &status, 0);
    printf("fifo-blocking-write %s\n", WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "ok" : "FAILED");
}

static void on_signal(int sig) {
    (void)sig;
}

/* The same, while signals rain on the reader and the writer ends at once: a
 * reader's open that had met its writer must not be lost to a restart. */
static void fifo_pair_under_signals(void) {
    struct sigaction sa = {.sa_handler = on_signal, .sa_flags = SA_RESTART};
    sigaction(SIGUSR1, &sa, NULL);
    const pid_t reader = getpid();
    const pid_t pest = fork();
    if (pest == 0) {
        for (int i = 0; i < 20000 && kill(reader, SIGUSR1) == 0; ++i)
            usleep(50);
        _exit(0);
    }
    const pid_t writer = fork();
    if (writer == 0) _exit(open("fifo", O_WRONLY) >= 0 ? 0 : 1);
    show("fifo-read-under-signals", open("fifo", O_RDONLY));
    waitpid(writer, NULL, 0);
    kill(pest, SIGKILL);
    waitpid(pest, NULL, 0);
}

int main(int argc, char **argv) {
    if (argc != 2 || chdir(argv[1]) != 0) return 2;
    umask(027);
    const int dir = open(".", O_RDONLY | O_DIRECTORY);
    if (symlink("file", "link") != 0 || symlink("missing", "dangling") != 0 || symlink("loop", "loop") != 0 ||
        mkdir("sub", 0755) != 0 || mkfifo("fifo", 0600) != 0)
        return 3;
    show("create", open("file", O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666));
    show("create-exists", open("file", O_CREAT | O_EXCL | O_RDWR, 0666));
    show("create-through-link", open("dangling", O_CREAT | O_WRONLY | O_APPEND, 0600));
    show("create-exclusive-link", open("dangling", O_CREAT | O_EXCL | O_WRONLY, 0600));
    show("creat", creat("sub/made", 0644));
    show("trunc", open("sub/made", O_WRONLY | O_TRUNC));
    show("nofollow", open("link", O_RDONLY | O_NOFOLLOW));
    show("path-nofollow", open("link", O_PATH | O_NOFOLLOW));
    show("through-link", open("link", O_RDONLY));
    show("loop", open("loop", O_RDONLY));
    show("missing", open("nothing/here", O_RDONLY));
    show("directory-flag-on-file", open("file", O_RDONLY | O_DIRECTORY));
    show("trailing-slash-file", open("file/", O_RDONLY));
    show("trailing-slash-create", open("newdir/", O_CREAT | O_WRONLY, 0600));
    show("write-directory", open("sub", O_WRONLY));
    show("create-directory", open("sub", O_CREAT | O_RDONLY, 0600));
    show("create-and-directory", open("new", O_CREAT | O_DIRECTORY | O_RDONLY, 0600));
    show("directory", open("sub/../sub/.", O_RDONLY | O_DIRECTORY));
    show("tmpfile", open("sub", O_TMPFILE | O_RDWR, 0640));
    show("tmpfile-readonly", open("sub", O_TMPFILE | O_RDONLY, 0640));
    show("openat-dotdot", openat(dir, "sub/../file", O_RDONLY));
    show("openat-bad-dirfd", openat(1000, "file", O_RDONLY));
    show("openat-absolute-ignores-dirfd", openat(1000, "/", O_RDONLY));
    show("root-dotdot", open("/../../..", O_RDONLY));
    show("beneath-escape", openat2_(dir, "../x", O_RDONLY, RESOLVE_BENEATH));
    show("beneath", openat2_(dir, "sub/../file", O_RDONLY, RESOLVE_BENEATH));
    show("in-root", openat2_(dir, "/file", O_RDONLY, RESOLVE_IN_ROOT));
    show("no-symlinks", openat2_(dir, "link", O_RDONLY, RESOLVE_NO_SYMLINKS));
    show("no-magiclinks", openat2_(AT_FDCWD, "/proc/self/cwd", O_RDONLY, RESOLVE_NO_MAGICLINKS));
    show("openat2-bad-flags", openat2_(dir, "file", O_RDONLY | 0x80000000u, 0));
    show("magic-cwd", open("/proc/self/cwd/file", O_RDONLY));
    show("magic-fd", open("/dev/fd/0", O_RDONLY));
    show("fifo-nonblocking-read", open("fifo", O_RDONLY | O_NONBLOCK));
    show("fifo-nonblocking-write", open("fifo", O_WRONLY | O_NONBLOCK));
    fifo_pair();
    for (int i = 0; i < 20; ++i)
        fifo_pair_under_signals();
    first_line("self", "/proc/self/status");
    first_line("thread-self", "/proc/thread-self/comm");
    char long_path[5000];
    memset(long_path, 'a', sizeof long_path - 1);
    long_path[sizeof long_path - 1] = '\0';
    show("too-long", open(long_path, O_RDONLY));
    show("bad-address", open((const char *)8, O_RDONLY));
    show("empty", open("", O_RDONLY));
    return 0;
}
