/* The reference for the serial benchmark: the least a program can do to send
   records and await each acknowledgement over a terminal line - write, poll,
   read - with nothing in between. */

#include "serial_reference.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

long fw_reference_download(const char* path, const unsigned char* data, const size_t* starts,
                           const size_t* lengths, size_t count)
{
    int fd = open(path, O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct termios t;
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    size_t done = 0;
    for (; done < count; ++done) {
        const unsigned char* p = data + starts[done];
        size_t left = lengths[done];
        while (left > 0) {
            ssize_t w = write(fd, p, left);
            if (w <= 0)
                goto out;
            p += w;
            left -= (size_t)w;
        }
        for (;;) {
            struct pollfd pfd = {fd, POLLIN, 0};
            if (poll(&pfd, 1, 5000) <= 0)
                goto out;
            unsigned char reply[64];
            ssize_t n = read(fd, reply, sizeof reply);
            if (n <= 0)
                goto out;
            if (n == 1 && reply[0] == 0x06)
                break;
        }
    }
out:
    close(fd);
    return (long)done;
}
