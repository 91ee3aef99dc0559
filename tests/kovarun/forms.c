/* A hardware-flavour test program for kovarun: every instruction form the
 * library emits on the register window and on the ports, each with its
 * partial-register result printed ("name value" a line), and the refusals.
 *   forms            the forms
 *   forms devices    iopl, ioperm and the memory devices
 *   forms unsupported  a read-modify-write on the window (not served)
 *   forms outside    a mapping just past the register window (not the controller's)
 *   forms fds        the program's open descriptors, on standard error
 *   forms memfd      reads, writes and truncation on the memory device
 *   forms race LINK FILE SECONDS  opens LINK over and over, telling what each
 *                    descriptor is: FILE, the runner's stand-in, a device */
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/io.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define SCRATCH 0x20000 /* plain storage in the register window */

#if defined(__x86_64__)
#define PRESET 0x1122334455667788ull
#define STORED 0x99887766A1B2C3D4ull
#else
#define PRESET 0x11223344u
#define STORED 0xA1B2C3D4u
#endif

static void show(const char *name, uintptr_t value) {
    printf("%s %llx\n", name, (unsigned long long)value);
}

#define LOAD(name, insn, offset)                                                                             \
    do {                                                                                                     \
        uintptr_t v = PRESET;                                                                                \
        __asm__ volatile(insn : "+a"(v) : "D"(w + (offset)) : "memory");                                     \
        show(name, v);                                                                                       \
    } while (0)

static void stores(uint8_t *w) {
    uintptr_t v = STORED;
    uint8_t *p = w + SCRATCH;
    __asm__ volatile("movb %%al, (%1)\n\tmovb %%ah, 1(%1)\n\tmovw %%ax, 2(%1)\n\tmovl %%eax, 4(%1)" ::"a"(v),
                     "D"(p)
                     : "memory");
    __asm__ volatile("movb $0x85, 8(%0)\n\tmovw $0x8234, 10(%0)\n\tmovl $0x89abcdef, 12(%0)" ::"D"(p)
                     : "memory");
}

static void loads(uint8_t *w) {
    w += SCRATCH;
    LOAD("al", "movb (%1), %%al", 0);
    LOAD("ah", "movb (%1), %%ah", 1);
    LOAD("ax", "movw (%1), %%ax", 2);
    LOAD("eax", "movl (%1), %%eax", 4);
    LOAD("movzbl", "movzbl (%1), %%eax", 8);
    LOAD("movzbw", "movzbw (%1), %%ax", 8);
    LOAD("movzwl", "movzwl (%1), %%eax", 10);
    LOAD("movsbl", "movsbl (%1), %%eax", 8);
    LOAD("movswl", "movswl (%1), %%eax", 10);
    {
        uintptr_t v = PRESET, index = 6;
        __asm__ volatile("movl (%1,%2,2), %%eax" : "+a"(v) : "r"(w), "r"(index) : "memory");
        show("indexed", v);
    }
#if defined(__x86_64__)
    LOAD("movsbq", "movsbq (%1), %%rax", 8);
    LOAD("movslq", "movslq (%1), %%rax", 12);
    {
        register uintptr_t r9 __asm__("r9") = PRESET;
        register uintptr_t r10 __asm__("r10") = PRESET;
        __asm__ volatile("movb (%2), %%r9b\n\tmovl 4(%2), %%r10d" : "+r"(r9), "+r"(r10) : "r"(w) : "memory");
        const uintptr_t low9 = r9, low10 = r10; /* both before a call clobbers them */
        show("r9b", low9);
        show("r10d", low10);
    }
#endif
}

static void ports(void) {
    uintptr_t v = PRESET;
    __asm__ volatile("outb %%al, %%dx" ::"a"(0x35), "d"(0x3CE));
    __asm__ volatile("inb %%dx, %%al" : "+a"(v) : "d"(0x3CF));
    show("inb-dx", v);
    v = PRESET;
    __asm__ volatile("outb %%al, $0x80\n\tinb $0x80, %%al" : "+a"(v));
    show("inb-imm", v);
    v = 0xBEEF;
    __asm__ volatile("outw %%ax, %%dx" ::"a"(v), "d"(0x80));
    v = PRESET;
    __asm__ volatile("inw %%dx, %%ax" : "+a"(v) : "d"(0x80));
    show("inw-dx", v);
}

/* Whether fd is a stand-in: anything but a character device. */
static const char *kind(int fd) {
    struct stat st;
    if (fd < 0) return errno == EACCES ? "EACCES" : strerror(errno);
    if (fstat(fd, &st) != 0 || S_ISCHR(st.st_mode)) return "DEVICE";
    close(fd);
    return "harmless";
}

static int devices(void) {
    printf("iopl %d\n", iopl(3));
    printf("ioperm %d\n", ioperm(0x3C0, 32, 1));
    printf("/dev/mem %s\n", kind(open("/dev/mem", O_RDWR)));
    printf("/dev/port %s\n", kind(open("/dev/port", O_RDWR)));
    char dir[] = "/tmp/kovarun-forms-XXXXXX";
    if (mkdtemp(dir) == NULL) return 1;
    char link[64];
    snprintf(link, sizeof link, "%s/mem", dir);
    if (symlink("/dev/mem", link) != 0) return 1;
    const int dirfd = open(dir, O_RDONLY | O_DIRECTORY);
    printf("link %s\n", kind(openat(dirfd, "mem", O_RDWR)));
    unlink(link);
    rmdir(dir);
    fflush(stdout);
    const pid_t child = fork();
    if (child == 0) _exit(strcmp(kind(open("/dev/mem", O_RDWR)), "harmless") == 0 ? 0 : 1);
    int status = -1;
    waitpid(child, &status, 0);
    printf("child %s\n", WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "harmless" : "DEVICE");
    return 0;
}

static int fds(void) {
    DIR *dir = opendir("/proc/self/fd");
    if (dir == NULL) return 1;
    fprintf(stderr, "fds");
    for (struct dirent *e; (e = readdir(dir)) != NULL;)
        if (e->d_name[0] != '.' && atoi(e->d_name) != dirfd(dir)) fprintf(stderr, " %s", e->d_name);
    fprintf(stderr, "\n");
    closedir(dir);
    return 0;
}

static const char *outcome(long result) {
    return result < 0 ? "refused" : "ANSWERED";
}

static int memfd(void) {
    const int fd = open("/dev/mem", O_RDWR);
    char bytes[16] = {0};
    if (fd < 0) return 1;
    printf("read %s\n", outcome(read(fd, bytes, sizeof bytes)));
    printf("pread %s\n", outcome(pread(fd, bytes, sizeof bytes, 0xF0000)));
    printf("write %s\n", outcome(write(fd, bytes, sizeof bytes)));
    printf("fallocate %s\n", outcome(fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, 4096)));
    printf("ftruncate %s\n", outcome(ftruncate(fd, 0)));
    return 0;
}

static int before(const struct timespec *end) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec < end->tv_sec || (now.tv_sec == end->tv_sec && now.tv_nsec < end->tv_nsec);
}

static int race(const char *link, const char *file, int seconds) {
    struct stat target;
    struct timespec end;
    long files = 0, others = 0, devices = 0, errors = 0;
    int first = 0;
    if (stat(file, &target) != 0) return 1;
    clock_gettime(CLOCK_MONOTONIC, &end);
    end.tv_sec += seconds;
    do {
        struct stat st;
        const int fd = open(link, O_RDONLY);
        if (fd < 0 || fstat(fd, &st) != 0) {
            if (errors++ == 0) first = errno;
            continue;
        }
        if (S_ISCHR(st.st_mode) && major(st.st_rdev) == 1 && minor(st.st_rdev) == 1)
            ++devices;
        else if (st.st_dev == target.st_dev && st.st_ino == target.st_ino)
            ++files;
        else
            ++others;
        close(fd);
    } while (before(&end));
    printf("file %s, stand-in %s, device %ld, errors %ld%s%s\n", files > 0 ? "seen" : "never",
           others > 0 ? "seen" : "never", devices, errors, errors > 0 ? ": " : "",
           errors > 0 ? strerror(first) : "");
    return 0;
}

int main(int argc, char **argv) {
    const char *mode = argc > 1 ? argv[1] : "forms";
    if (strcmp(mode, "devices") == 0) return devices();
    if (strcmp(mode, "fds") == 0) return fds();
    if (strcmp(mode, "memfd") == 0) return memfd();
    if (strcmp(mode, "race") == 0 && argc == 5) return race(argv[2], argv[3], atoi(argv[4]));
    const int fd = open("/dev/mem", O_RDWR | O_CLOEXEC);
    if (iopl(3) != 0 || fd < 0) return 10;
    __asm__ volatile("outb %%al, %%dx" ::"a"(0x35), "d"(0x3CE));
    uint8_t base;
    __asm__ volatile("inb %%dx, %%al" : "=a"(base) : "d"(0x3CF));
    const off_t physical = (off_t)base << 24;
    uint8_t *fb = mmap(NULL, 0x400000, PROT_READ | PROT_WRITE, MAP_SHARED, fd, physical);
    uint8_t *w = mmap(NULL, 0x100000, PROT_READ | PROT_WRITE, MAP_SHARED, fd, physical + 0x800000);
    if (strcmp(mode, "outside") == 0)
        printf("outside %s\n",
               mmap(NULL, 0x1000, PROT_READ, MAP_SHARED, fd, physical + 0x900000) == MAP_FAILED ? "refused"
                                                                                                : "mapped");
    close(fd);
    if (fb == MAP_FAILED || w == MAP_FAILED) return 11;
    memset(fb, 0x5A, 16); /* video memory: plain memory, not traced */
    if (strcmp(mode, "unsupported") == 0) __asm__ volatile("addb $1, (%0)" ::"r"(w + SCRATCH) : "memory");
    stores(w);
    loads(w);
    ports();
    return fb[15] == 0x5A ? 0 : 12;
}
