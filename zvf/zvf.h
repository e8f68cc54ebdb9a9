/* The zvf volume file format library: headers, grids and header utilities.
 *
 * A zvf file is a raw PNM image (the icon) whose comment lines carry a text
 * header, followed by one zlib record per slice and band.
 *
 * Plain C API, zlib and the C library only. Ownership follows zlib/stb:
 * - header records (zvfHeader) belong to the caller, usually a local
 *   variable; the library fills their arrays and strings with malloc/calloc/
 *   realloc/strdup and zvfFreeHeader releases them (transfer-function strings
 *   excepted: zvfFreeHdrTF releases those);
 * - every buffer handed out (grids, icons, comment copies) is the caller's to
 *   release with free().
 *
 * Failures: no function ends the process; each writes its message to
 * standard error and returns a failure (null, 0, or an error code in
 * zvfLastError) so that an interactive program survives a damaged file. Functions returning int answer 1 for success and 0 for failure unless
 * stated otherwise.
 *
 * Single-threaded: zvfLastError is one process-wide variable.
 */
#ifndef ZVF_H
#define ZVF_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Byte order of the voxel data ("#!endian"). 0 means unset. */
enum zvfEndianType { zvfBigEndian = 1, zvfLittleEndian = 2 };

/* Grid type ("#!vtype"). */
enum zvfGridType { zvfCubic = 1, zvfRegular = 2, zvfRectZ = 3, zvfRectXYZ = 4 };

/* Units ("#!units"). */
enum zvfUnitType { zvfUum = 1, zvfUmm = 2, zvfUm = 3 };

/* Voxel types ("#!dtype"). */
enum zvfDataType {
    zvfUChar = 1,
    zvfChar = 2,
    zvfUInt12 = 3,
    zvfUInt16 = 4,
    zvfInt16 = 5,
    zvfIntHU = 6,
    zvfUInt32 = 7,
    zvfInt32 = 8,
    zvfFloat = 9,
    zvfDouble = 10
};

/* Header-read error codes (index into zvfErrorText). */
enum zvfErrorCode {
    zvfErrNone = 0,
    zvfErrFileOpen = 1,
    zvfErrPnmHeader = 2,
    zvfErrPnmType = 3,
    zvfErrIcon = 4,
    zvfErrNotZvf = 5,
    zvfErrHeaderLine = 6,
    zvfErrEndian = 7,
    zvfErrVtype = 8,
    zvfErrCtype = 9,
    zvfErrNbands = 10,
    zvfErrDtype = 11,
    zvfErrUnits = 12,
    zvfErrCommentAlloc = 13,
    zvfErrAlloc = 14,
    zvfErrEndianMissing = 15,
    zvfErrDimensions = 16,
    zvfErrVtypeMissing = 17,
    zvfErrUnitsMissing = 18,
    zvfErrNbandsMissing = 19,
    zvfErrDtypeMissing = 20,
    zvfErrCommentsMissing = 21,
    zvfErrPx = 22,
    zvfErrPy = 23,
    zvfErrPz = 24,
    zvfErrRxSum = 25,
    zvfErrRySum = 26,
    zvfErrRzSum = 27,
    zvfErrRx = 28,
    zvfErrRy = 29,
    zvfErrRz = 30,
    zvfErrTooManyTF = 31,
    zvfErrTooFewTF = 32,
    zvfErrTFAlloc = 33,
    zvfErrTfnumMissing = 34,
    zvfErrCount = 35
};

/* The in-memory header. */
typedef struct zvfHeader {
    int32_t major;     /* version before the point */
    int32_t minor;     /* version after the point */
    int32_t endian;    /* zvfEndianType, 0 unset */
    int32_t vdim[3];   /* nx, ny, nz */
    int32_t vtype;     /* zvfGridType, 0 unset */
    float px, py, pz;  /* spacings (zvfCubic: all equal) */
    float* rx;         /* nx per-column spacings (zvfRectXYZ) or NULL */
    float* ry;         /* ny per-row spacings (zvfRectXYZ) or NULL */
    float* rz;         /* nz per-slice spacings (zvfRectZ, zvfRectXYZ) or NULL */
    int32_t units;     /* zvfUnitType, 0 unset */
    int32_t nbands;    /* bands per voxel, 0 unset */
    int32_t dtype;     /* zvfDataType, 0 unset */
    int32_t ncomments; /* number of comments */
    char** comments;   /* ncomments owned strings or NULL */
    int32_t tfnum;     /* number of transfer functions */
    char** tfdata;     /* tfnum * 5 strings (d, r, g, b, a per function) or NULL */
} zvfHeader;

/* Code of the most recent failed header read (0 at start; successful reads
 * leave it alone). */
extern int zvfLastError;
/* Messages indexed by zvfLastError (zvfErrCount entries). */
extern const char* const zvfErrorText[zvfErrCount];

/* ---- header ---------------------------------------------------------- */

/* Opens path ("rb"), reads and validates the header, skips the icon and
 * returns the stream at the first slice record; NULL with zvfLastError set on
 * failure (the stream is then closed; what the header holds is the caller's
 * to release with zvfFreeHeader). */
FILE* zvfReadHeader(const char* path, zvfHeader* header);
/* As zvfReadHeader, and hands out the icon: a calloc'd buffer of
 * width * height * (isColour ? 3 : 1) bytes that the caller frees. */
FILE* zvfReadHeaderIcon(const char* path, zvfHeader* header, unsigned char** icon, int* width,
                        int* height, int* isColour);
/* The same readers on an already open stream (positioned at the PNM magic).
 * The stream is not closed on failure. */
int zvfReadHeaderStream(FILE* stream, zvfHeader* header, unsigned char** icon, int* width,
                        int* height, int* isColour);
/* Writes layout items 1 to 15 (header and icon). The icon has width * height
 * bytes for one band, width * height * 3 otherwise. */
int writeZvfHeader(FILE* stream, const zvfHeader* header, const unsigned char* icon, int width,
                   int height);
/* Validation of a header whose arrays have the sizes vdim gives; returns the
 * error code (0 when valid). Also refuses dimensions whose grid byte size
 * does not fit in memory (code 16). */
int zvfCheckHeader(const zvfHeader* header);
/* Bytes per value of a voxel type; 0 (with an error message) for a code
 * outside 1 ... 10. */
int zvfVoxelSize(int dtype);
/* Every field except major and minor to zero / none. */
void zvfClearHeader(zvfHeader* header);
void zvfFreeHdrComments(zvfHeader* header);
/* Frees coordinate arrays and comments (not the transfer-function strings). */
void zvfFreeHeader(zvfHeader* header);
/* Frees the transfer-function strings and array; tfnum 0, tfdata NULL.
 * (zvfFreeHeader leaves them to the caller.) Only for a header that
 * owns its strings (not a zvfDupHeader copy sharing them). */
void zvfFreeHdrTF(zvfHeader* header);
int zvfAddHdrComment(zvfHeader* header, const char* text);
int zvfSetHdrComment(zvfHeader* header, int count, char* const* texts);
/* 2 (zvfLittleEndian) on little-endian processors, else 1. */
int zvfMachineEndian(void);

/* Keyword of a code ("unknown" for codes outside the tables). */
const char* zvfEndianName(int code);
const char* zvfGridTypeName(int code);
const char* zvfUnitName(int code);
const char* zvfDataTypeName(int code);

/* ---- grids and slice records ----------------------------------------- */

/* Reads the header into *header and the whole grid into one calloc'd buffer
 * of nx*ny*nz*nbands*voxelsize bytes (bands planar), with byte-order
 * correction. On failure *data is NULL and 0 is returned. */
int zvfReadGrid(const char* path, void** data, zvfHeader* header);
/* zvfReadGrid into a header of its own; hands out the sizes, the voxel type
 * and, for a file with comments, a new array of comment copies (free each
 * string and the array; zvfFreeComments does both). The comment outputs are
 * left untouched for a file without comments; the other outputs are left
 * untouched on failure, *data becomes NULL. */
int zvfReadCubGrid(const char* path, void** data, int* nx, int* ny, int* nz, int* nbands,
                   int* dtype, char*** comments, int* ncomments);
void zvfFreeComments(char** comments, int ncomments);
int zvfWriteGrid(const char* path, const void* data, const zvfHeader* header);
int zvfWriteCubGrid(const char* path, const void* data, int nx, int ny, int nz, int nbands,
                    int dtype, char* const* comments, int ncomments);
/* A cleared header: zvfCubic, spacings 1, zvfUmm, the machine's byte order. */
zvfHeader zvfCubicHeader(int nx, int ny, int nz, int dtype, int nbands);
/* Header, icon and all slice records (bytes written as they lie in memory). */
int zvfWriteGridStream(FILE* stream, const void* data, const zvfHeader* header);
/* One slice record into dest (nx*ny*voxelsize bytes), byte order corrected. */
int zvfReadSlice(FILE* stream, void* dest, const zvfHeader* header);
int zvfWriteSlice(FILE* stream, const void* src, const zvfHeader* header);
/* One record inflated into dest, which holds exactly expected bytes. Returns
 * 1 also after the reported but tolerated cases (short read, wrong length). */
int ReadSliceData(FILE* stream, void* dest, unsigned long expected);
int WriteSliceData(FILE* stream, const void* src, unsigned long length);
/* Big-endian 32-bit value; 0 (with "ReadLong error (n)") when a byte is missing. */
int ReadLong(FILE* stream, unsigned long* value);
int WriteLong(FILE* stream, unsigned long value);
/* Reverses the bytes of one item of size 1, 2, 4 or 8 in place. */
int SwapOrder(void* item, int size);
/* New icon buffer (width nx, height ny; 1 byte per pixel for one band, 3
 * otherwise) that the caller frees; NULL on failure. */
unsigned char* zvfCreateIconImage(const void* data, const zvfHeader* header, int* width,
                                  int* height);

/* ---- header utilities ------------------------------------------------ */

/* Deep copy except the transfer-function strings, which are shared. Returns
 * destination, or NULL on allocation failure (destination then holds no
 * arrays of its own). */
zvfHeader* zvfDupHeader(zvfHeader* destination, const zvfHeader* source);
int zvfAddHdrTF(zvfHeader* header, const char* d, const char* r, const char* g, const char* b,
                const char* a);
int zvfDelHdrTF(zvfHeader* header, int number);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#include "zvf_matrix.h"
#endif

#endif
