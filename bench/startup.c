/* Whole-process start-up on a real X server: starts each program in turn,
 * interleaved, with a fresh HOME and XDG folders for every run, and times
 * from the start of the process until its first top-level window is mapped
 * (a MapNotify on the root window). Two seconds later it reads the peak
 * resident memory (VmHWM) and ends the process. Prints medians and the
 * ratio of each program to the last one (the bare window).
 *
 * Usage: startup RUNS [NAME=]PROGRAM... [NAME=]FLOOR   (DISPLAY must be set;
 * up to 4 programs; a name heads the program's column, else its file name)
 */
#define _GNU_SOURCE
#include <X11/Xlib.h>

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static long peak_kib(pid_t pid)
{
    char path[64], line[256];
    long kib = -1;
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE *f = fopen(path, "r");
    if (!f)
        return -1;
    while (fgets(line, sizeof line, f))
        if (strncmp(line, "VmHWM:", 6) == 0)
            kib = strtol(line + 6, NULL, 10);
    fclose(f);
    return kib;
}

static int cmp_double(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

static double median(double *v, int n)
{
    qsort(v, (size_t)n, sizeof *v, cmp_double);
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

/* One run: returns the time to the first map in ms (or -1), and the peak
 * memory in KiB through *kib. */
static double run_once(Display *dpy, const char *program, int run, long *kib)
{
    char home[128];
    snprintf(home, sizeof home, "/tmp/segni-bench-%d-%d", (int)getpid(), run);
    char cmd[1024];
    snprintf(cmd, sizeof cmd, "rm -rf %s && mkdir -p %s/data %s/config %s/cache %s/run && chmod 700 %s/run",
             home, home, home, home, home, home);
    if (system(cmd) != 0)
        return -1;

    XSync(dpy, True); /* drop what came before */
    double start = now_ms();
    pid_t pid = fork();
    if (pid == 0) {
        char buf[200];
        setenv("HOME", home, 1);
        snprintf(buf, sizeof buf, "%s/data", home);
        setenv("XDG_DATA_HOME", buf, 1);
        snprintf(buf, sizeof buf, "%s/config", home);
        setenv("XDG_CONFIG_HOME", buf, 1);
        snprintf(buf, sizeof buf, "%s/cache", home);
        setenv("XDG_CACHE_HOME", buf, 1);
        snprintf(buf, sizeof buf, "%s/run", home);
        setenv("XDG_RUNTIME_DIR", buf, 1);
        execl(program, program, (char *)NULL);
        _exit(127);
    }
    double mapped = -1;
    int fd = ConnectionNumber(dpy);
    while (mapped < 0 && now_ms() - start < 20000) {
        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type == MapNotify && !ev.xmap.override_redirect) {
                mapped = now_ms() - start;
                break;
            }
        }
        if (mapped >= 0)
            break;
        struct pollfd p = {fd, POLLIN, 0};
        poll(&p, 1, 50);
    }
    usleep(2000 * 1000);
    *kib = peak_kib(pid);
    kill(pid, SIGKILL);
    waitpid(pid, NULL, 0);
    snprintf(cmd, sizeof cmd, "rm -rf %s", home);
    if (system(cmd) != 0)
        fprintf(stderr, "could not remove %s\n", home);
    return mapped;
}

#define MAX_PROGRAMS 4

int main(int argc, char **argv)
{
    int programs = argc - 2;
    if (programs < 2 || programs > MAX_PROGRAMS) {
        fprintf(stderr, "usage: %s RUNS [NAME=]PROGRAM... [NAME=]FLOOR\n", argv[0]);
        return 2;
    }
    int runs = atoi(argv[1]);
    if (runs < 1 || runs > 100)
        runs = 7;
    const char *name[MAX_PROGRAMS], *path[MAX_PROGRAMS];
    for (int p = 0; p < programs; ++p) {
        const char *arg = argv[2 + p], *eq = strchr(arg, '=');
        path[p] = eq ? eq + 1 : arg;
        name[p] = eq ? strndup(arg, (size_t)(eq - arg)) : strrchr(arg, '/') ? strrchr(arg, '/') + 1 : arg;
    }
    Display *dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "cannot open display\n");
        return 1;
    }
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, False);

    static double times[MAX_PROGRAMS][100], mem[MAX_PROGRAMS][100];
    long kib;
    /* warm-up: one run of each, not counted */
    for (int p = 0; p < programs; ++p)
        run_once(dpy, path[p], 1000 + p, &kib);
    for (int r = 0; r < runs; ++r) {
        for (int p = 0; p < programs; ++p) {
            times[p][r] = run_once(dpy, path[p], r * programs + p, &kib);
            mem[p][r] = kib / 1024.0;
            if (times[p][r] < 0) {
                fprintf(stderr, "%s mapped no window\n", path[p]);
                return 1;
            }
        }
    }
    double t[MAX_PROGRAMS], m[MAX_PROGRAMS];
    for (int p = 0; p < programs; ++p) {
        t[p] = median(times[p], runs);
        m[p] = median(mem[p], runs);
    }
    const int floor = programs - 1;
    printf("| measure (median of %d) |", runs);
    for (int p = 0; p < programs; ++p)
        printf(" %s |", name[p]);
    for (int p = 0; p < floor; ++p)
        printf(" %s / %s |", name[p], name[floor]);
    printf("\n|---|");
    for (int p = 0; p < programs + floor; ++p)
        printf("---|");
    printf("\n| start-up to first window |");
    for (int p = 0; p < programs; ++p)
        printf(" %.1f ms |", t[p]);
    for (int p = 0; p < floor; ++p)
        printf(" %.2f |", t[p] / t[floor]);
    printf("\n| peak memory (VmHWM) |");
    for (int p = 0; p < programs; ++p)
        printf(" %.1f MiB |", m[p]);
    for (int p = 0; p < floor; ++p)
        printf(" %.2f |", m[p] / m[floor]);
    printf("\n");
    XCloseDisplay(dpy);
    return 0;
}
