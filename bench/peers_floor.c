/* peers_floor: reads a file with plain read() in 64 KiB blocks and does nothing with the bytes:
 * the floor no table reader can go below. Prints the bytes read.
 *
 * Usage: peers_floor FILE */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
    static char block[65536];
    if (argc != 2) {
        fprintf(stderr, "usage: peers_floor FILE\n");
        return 2;
    }
    int fd = open(argv[1], O_RDONLY);
    if (fd < 0) {
        perror(argv[1]);
        return 1;
    }
    unsigned long long total = 0;
    ssize_t got;
    while ((got = read(fd, block, sizeof block)) > 0) {
        total += (unsigned long long)got;
    }
    close(fd);
    printf("%llu bytes\n", total);
    return got < 0;
}
