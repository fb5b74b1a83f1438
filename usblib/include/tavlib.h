/* TAVLIB: finds the attached USB printers of the supported kinds and
 * exchanges blocks of up to 256 bytes with one of them.
 *
 * Every export has C linkage and an undecorated name and returns a signed
 * 32-bit result; text is NUL-terminated 8-bit (ANSI) bytes. Buffers belong
 * to the caller and are used only during the call. One printer is open at a
 * time, for the whole process; calls made from several threads at once take
 * turns. Diagnostic lines go to standard output. */
#ifndef TAVLIB_H
#define TAVLIB_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(TAVLIB_BUILDING)
#define TAVLIB_API __declspec(dllexport)
#else
#define TAVLIB_API __declspec(dllimport)
#endif
#else
#define TAVLIB_API __attribute__((visibility("default")))
#endif

/* How long one usb_read waits for the printer, in milliseconds.
 * The program polls usb_read for at most 5 seconds after each block, so one
 * read may stretch that deadline by at most this much; the model query reads
 * only once, and a printer's model answer takes about one second, so the wait
 * must be longer than that. 1.5 seconds serves both. */
#define TAVLIB_RECEIVE_TIMEOUT_MS 1500

#ifdef __cplusplus
extern "C" {
#endif

/* Number of present printers whose instance ID starts with an accepted
 * prefix; -1 when the device list cannot be read. */
TAVLIB_API int32_t usb_find_devices(void);

/* Device path of the printer interface at `index` (0-based, counting every
 * printer-class interface) into `name`, NUL-terminated. `name` must hold 257
 * bytes; a path that would not fit leaves `name` unchanged, as does a
 * position where no interface exists. Always 0. */
TAVLIB_API int32_t usb_device_name(int32_t index, char* name);

/* Opens the printer's two pipes, path + "\PIPE01" (read) and
 * path + "\PIPE00" (write). 0 on success, -1 on failure. */
TAVLIB_API int32_t usb_open(const char* path);

/* Writes `length` bytes (0 to 256) of `data`. 0 when all were written,
 * -1 otherwise (also for a length outside 0 to 256). */
TAVLIB_API int32_t usb_write(const uint8_t* data, int32_t length);

/* Reads up to 256 bytes into `buffer` (at least 256 bytes), waiting at most
 * TAVLIB_RECEIVE_TIMEOUT_MS. The byte count (1 to 256), 0 when the read
 * completed with nothing, -1 on failure or time-out. Bytes past the count
 * are left as they were. */
TAVLIB_API int32_t usb_read(uint8_t* buffer);

/* Closes the pipes and events, whatever state the connection is in. Always 0. */
TAVLIB_API int32_t usb_close(void);

#ifdef __cplusplus
}
#endif

#endif
