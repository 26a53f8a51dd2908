/* timer COMMAND: runs `sh -c COMMAND` once, with standard input and output on /dev/null,
 * and prints "WALL CPU": its wall-clock time and its CPU time (user plus system, of the
 * shell and of every process the shell waited for) in seconds, to the microsecond.
 * Exits with the command's status (128 plus the signal if one killed it), or 125 if it
 * could not be run. bench/bench.sh builds it with cc and times every run with it. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double since(const struct timespec* start, const struct timespec* end) {
    return (double)(end->tv_sec - start->tv_sec) + (double)(end->tv_nsec - start->tv_nsec) / 1e9;
}

static double seconds(struct timeval t) { return (double)t.tv_sec + (double)t.tv_usec / 1e6; }

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: timer COMMAND\n", stderr);
        return 125;
    }
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = fork();
    if (child < 0) {
        perror("timer: fork");
        return 125;
    }
    if (child == 0) {
        /* The command's own output must not mix with the times this prints. */
        int null = open("/dev/null", O_RDWR);
        if (null < 0 || dup2(null, STDIN_FILENO) < 0 || dup2(null, STDOUT_FILENO) < 0)
            _exit(125);
        if (null > STDERR_FILENO)
            close(null);
        execl("/bin/sh", "sh", "-c", argv[1], (char*)NULL);
        _exit(125);
    }
    /* wait4's usage is the child's own plus that of the descendants it waited for: the
     * whole of a pipeline the shell ran. */
    int status;
    struct rusage usage;
    if (wait4(child, &status, 0, &usage) < 0) {
        perror("timer: wait4");
        return 125;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    printf("%.6f %.6f\n", since(&start, &end), seconds(usage.ru_utime) + seconds(usage.ru_stime));
    if (WIFSIGNALED(status)) {
        fprintf(stderr, "timer: '%s' was killed by signal %d\n", argv[1], WTERMSIG(status));
        return 128 + WTERMSIG(status);
    }
    if (WEXITSTATUS(status) != 0)
        fprintf(stderr, "timer: '%s' exited with status %d\n", argv[1], WEXITSTATUS(status));
    return WEXITSTATUS(status);
}
