#pragma once
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
/* Sends each record and awaits its single ACK; gives the number of records
   acknowledged, or -1 when the port does not open. */
long fw_reference_download(const char* path, const unsigned char* data, const size_t* starts,
                           const size_t* lengths, size_t count);
#ifdef __cplusplus
}
#endif
