/* The least a program can do to make many small files: for each file one openat(O_CREAT|O_EXCL),
 * at most one write and one close, into a tree of numbered folders made as it goes. No fsync, no
 * checks beyond the return values, so its rate is what the kernel and the file system allow one
 * thread. bench/many_files.sh sets pelmora-cli beside it.
 *
 *   create_loop [-s BYTES] [-p PER_FOLDER] [-l NAME_LENGTH] DIR COUNT
 *     -s BYTES        bytes in each file, written by one write (default 0: no write at all)
 *     -p PER_FOLDER   at most this many files in a folder, and as many levels of subfolders
 *                     as COUNT needs, each level numbered 0 to PER_FOLDER - 1 with the width
 *                     the largest number needs (default 0: every file in DIR)
 *     -l NAME_LENGTH  each file's name is this long, its number padded with zeros in front of
 *                     ".file" (default: the width COUNT needs plus 5)
 *   DIR is made if it is missing. Prints "files N seconds S files_per_second R" on success.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

enum { kMaxLevels = 64, kMaxName = 255 };

static void fail(const char* what, const char* name) {
    fprintf(stderr, "create_loop: %s %s: %s\n", what, name, strerror(errno));
    exit(1);
}

static unsigned digits(uint64_t n) {
    unsigned d = 1;
    while (n >= 10) {
        n /= 10;
        ++d;
    }
    return d;
}

static uint64_t number(const char* text, const char* what) {
    char* end;
    errno = 0;
    unsigned long long n = strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-') {
        fprintf(stderr, "create_loop: %s needs a whole number, not %s\n", what, text);
        exit(2);
    }
    return n;
}

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    uint64_t size = 0, per_folder = 0, name_length = 0;
    int option;
    while ((option = getopt(argc, argv, "s:p:l:")) != -1) {
        switch (option) {
        case 's':
            size = number(optarg, "-s");
            break;
        case 'p':
            per_folder = number(optarg, "-p");
            break;
        case 'l':
            name_length = number(optarg, "-l");
            break;
        default:
            return 2;
        }
    }
    if (argc - optind != 2) {
        fprintf(stderr, "usage: create_loop [-s BYTES] [-p PER_FOLDER] [-l NAME_LENGTH] DIR COUNT\n");
        return 2;
    }
    const char* dir = argv[optind];
    uint64_t count = number(argv[optind + 1], "COUNT");
    if (count == 0 || per_folder == 1) {
        fprintf(stderr, "create_loop: COUNT must be at least 1 and PER_FOLDER 0 or at least 2\n");
        return 2;
    }
    unsigned width = digits(count);
    if (name_length == 0)
        name_length = width + 5;
    if (name_length < width + 5 || name_length > kMaxName) {
        fprintf(stderr, "create_loop: -l must be %u to %d\n", width + 5, kMaxName);
        return 2;
    }

    /* Levels of folders: one when the files fill at most PER_FOLDER folders, one more for every
     * factor of PER_FOLDER beyond that. */
    unsigned levels = 0, folder_width = 0;
    if (per_folder != 0 && count > per_folder) {
        uint64_t leaves = (count + per_folder - 1) / per_folder, reach = per_folder;
        levels = 1;
        while (reach < leaves) {
            reach = reach > UINT64_MAX / per_folder ? UINT64_MAX : reach * per_folder;
            ++levels;
        }
        folder_width = digits(per_folder - 1);
    }

    char* data = NULL;
    if (size != 0) {
        data = malloc(size);
        if (data == NULL)
            fail("allocating", "the file's bytes");
        memset(data, 0xa5, size);
    }

    double start = now();
    if (mkdir(dir, 0777) != 0 && errno != EEXIST)
        fail("making", dir);
    /* fds[0] is DIR, fds[k] the open folder of level k; place[k] its number. */
    int fds[kMaxLevels + 1];
    uint64_t place[kMaxLevels + 1];
    fds[0] = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fds[0] < 0)
        fail("opening", dir);
    unsigned open_levels = 0;
    char name[kMaxName + 1];

    for (uint64_t i = 0; i < count; ++i) {
        if (levels != 0 && i % per_folder == 0) {
            /* A new leaf folder: its number in base PER_FOLDER, most significant level first. */
            uint64_t leaf = i / per_folder, want[kMaxLevels + 1];
            for (unsigned k = levels; k >= 1; --k) {
                want[k] = leaf % per_folder;
                leaf /= per_folder;
            }
            unsigned same = 0;
            while (same < open_levels && place[same + 1] == want[same + 1])
                ++same;
            while (open_levels > same)
                close(fds[open_levels--]);
            for (unsigned k = same + 1; k <= levels; ++k) {
                snprintf(name, sizeof name, "%0*" PRIu64, (int)folder_width, want[k]);
                if (mkdirat(fds[k - 1], name, 0777) != 0)
                    fail("making folder", name);
                fds[k] = openat(fds[k - 1], name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (fds[k] < 0)
                    fail("opening folder", name);
                place[k] = want[k];
                open_levels = k;
            }
        }
        snprintf(name, sizeof name, "%0*" PRIu64 ".file", (int)(name_length - 5), i + 1);
        int fd = openat(fds[open_levels], name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            fail("creating", name);
        if (size != 0) {
            ssize_t written = write(fd, data, size);
            if (written != (ssize_t)size) {
                if (written >= 0)
                    errno = EIO; /* one write is the whole point: a short one is a failure */
                fail("writing", name);
            }
        }
        if (close(fd) != 0)
            fail("closing", name);
    }
    while (open_levels > 0)
        close(fds[open_levels--]);
    close(fds[0]);
    double seconds = now() - start;
    printf("files %" PRIu64 " seconds %.6f files_per_second %.0f\n", count, seconds, (double)count / seconds);
    free(data);
    return 0;
}
