/* An AVI file as Windows' own AVIFile API (Video for Windows) reads it: the
 * first video stream, every step read with AVIStreamRead. Prints "steps N",
 * then "STEP BYTES CRC-32" for each step (tests/support/avi_riff.py steps
 * prints the file's own), or one line saying what failed, with status 1.
 *   avifile_read FILE.avi */
#include <windows.h>
#include <vfw.h>
#include <stdio.h>
#include <stdlib.h>

static unsigned long Crc32(const unsigned char *bytes, LONG size) {
    unsigned long crc = 0xFFFFFFFFul;
    for (LONG i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1)));
    }
    return crc ^ 0xFFFFFFFFul;
}

static int Failed(const char *path, const char *what, HRESULT result) {
    printf("avifile_read: %s: %s failed (0x%08lx)\n", path, what, (unsigned long)result);
    return 1;
}

static int ReadSteps(const char *path, PAVISTREAM stream) {
    const LONG start = AVIStreamStart(stream), length = AVIStreamLength(stream);
    if (length < 0) return Failed(path, "AVIStreamLength", (HRESULT)length);
    printf("steps %ld\n", length);
    unsigned char *buffer = NULL;
    LONG room = 0;
    int status = 0;
    for (LONG step = 0; step < length && status == 0; ++step) {
        LONG bytes = 0, samples = 0;
        HRESULT result = AVIStreamRead(stream, start + step, 1, NULL, 0, &bytes, &samples);  // the size
        if (result == 0 && bytes > room) {
            unsigned char *larger = realloc(buffer, (size_t)bytes);
            if (larger == NULL) {
                result = E_OUTOFMEMORY;
            } else {
                buffer = larger;
                room = bytes;
            }
        }
        if (result == 0) result = AVIStreamRead(stream, start + step, 1, buffer, room, &bytes, &samples);
        if (result == 0) printf("%ld %ld %08lx\n", step, bytes, Crc32(buffer, bytes));
        else status = Failed(path, "AVIStreamRead", result);
    }
    free(buffer);
    return status;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        printf("usage: avifile_read FILE.avi\n");
        return 2;
    }
    AVIFileInit();
    PAVIFILE file = NULL;
    PAVISTREAM stream = NULL;
    HRESULT result = AVIFileOpenA(&file, argv[1], OF_READ | OF_SHARE_DENY_WRITE, NULL);
    int status = result != 0 ? Failed(argv[1], "AVIFileOpen", result) : 0;
    if (status == 0) {
        result = AVIFileGetStream(file, &stream, streamtypeVIDEO, 0);
        status = result != 0 ? Failed(argv[1], "AVIFileGetStream of a video stream", result)
                             : ReadSteps(argv[1], stream);
    }
    if (stream != NULL) AVIStreamRelease(stream);
    if (file != NULL) AVIFileRelease(file);
    AVIFileExit();
    return status;
}
