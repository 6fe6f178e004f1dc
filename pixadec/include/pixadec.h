/* Pixadec: measures JPEG pictures held in memory.
 *
 * A picture is accepted only when it is complete and decodable:
 *   - it starts with SOI (FF D8);
 *   - its marker segments have lengths that fit inside the data;
 *   - it has exactly one frame header (SOF0-3, 5-7, 9-11, 13-15) with a
 *     non-zero width and height and a length that matches its component
 *     count, before the first scan;
 *   - every scan's entropy-coded data is followed by a marker, and an EOI
 *     (FF D9) ends the picture; bytes after EOI are ignored;
 *   - libjpeg-turbo decodes it (at 1/8 scale) without reporting any fault,
 *     so a damaged scan or a restart marker out of sequence is refused too.
 * A damaged scan that still decodes cleanly cannot be told from a good one.
 *
 * Every function may be called from any thread at any time: each call works
 * with its own decoder instance and no state is shared between calls.
 */
#ifndef PIXADEC_H
#define PIXADEC_H

#if defined(_WIN32)
#define PIXADEC_API __declspec(dllexport)
#else
#define PIXADEC_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A measured picture. Owned by the caller from LibJpeg_Open until
 * LibJpeg_Close; it does not refer to the picture's bytes. */
typedef struct PixadecImage* PIXADEC_HANDLE;

/* Kept for callers that bracket each use with Initialize/UnInitialize. The
 * library holds no global state, so calls may nest, may be left out, and
 * always return 0. */
PIXADEC_API int LibJpeg_Initialize(void);
PIXADEC_API int LibJpeg_UnInitialize(void);

/* Measures the complete JPEG picture of `length` bytes at `data`.
 * On success returns a non-null handle and stores the picture's width and
 * height in pixels and its number of colour components (1 grey, 3 colour,
 * 4 CMYK) through the out pointers that are not null.
 * On failure (null or empty data, a length that is not positive, a picture
 * that is truncated, corrupt or not a JPEG at all) returns null and leaves
 * the out values untouched. */
PIXADEC_API PIXADEC_HANDLE LibJpeg_Open(const unsigned char* data, int length, int* width,
                                        int* height, int* components);

/* Reads the size of an opened picture again: 0 on success, -1 for a null
 * handle (out values untouched). Out pointers may be null. */
PIXADEC_API int LibJpeg_GetSize(PIXADEC_HANDLE handle, int* width, int* height);

/* Releases a handle from LibJpeg_Open. A null handle is ignored. */
PIXADEC_API void LibJpeg_Close(PIXADEC_HANDLE handle);

#ifdef __cplusplus
}
#endif

#endif /* PIXADEC_H */
