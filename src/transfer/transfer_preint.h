// The pre-integration table from the running sums of the channel tables.
//
// Entry (r, c) holds the mean of the channel over the segment from value r
// to value c, the table read linearly between its entries as the palette
// texture is: the trapezoid sum (t[r] + t[c]) / 2 plus the entries strictly
// between, over d = |c - r|. It is formed as (u[max] - u[min]) * w with
// u[j] = sum[j] - t[j] / 2, w = 1 / d rounded to single precision and the
// product taken exactly, then rounded to the nearest byte, ties to even (a
// tie that always went one way would bias every thin layer of data). The
// diagonal entry (r, r), a segment of no length, holds t[r] itself: a
// stretch of data that the palette hides stays hidden. The fast kernels
// write the table row by row with vector instructions and give the same
// bytes as the reference.
#ifndef GLIMRA_TRANSFER_PREINT_H
#define GLIMRA_TRANSFER_PREINT_H

// Weights and sums of one table size, aligned for the vector kernels.
struct PreintWorkspace;

// Null when the allocation failed (reported and registered as usual).
PreintWorkspace* createPreintWorkspace(int n);
void releasePreintWorkspace(PreintWorkspace*& workspace);

// Writes the channels whose bit is set in mask (bit c for channel c) of the
// n x n RGBA table; the other channel bytes are left as they are. sums[c]
// holds the n running sums t[0] + ... + t[j] of the channel's table and may
// be null for channels outside mask.
void buildPreintTable(PreintWorkspace& workspace, unsigned char* table, const int* const sums[4],
                      unsigned mask);

// The same, written the plain way: diagonal by diagonal, double-precision
// products. The yardstick for the kernels.
void buildPreintTableReference(unsigned char* table, int n, const int* const sums[4], unsigned mask);

enum class PreintKernel
{
    Auto,   // the best the processor has
    Scalar, // portable
    Avx2,   // AVX2 and FMA
    Avx512, // AVX-512 F, BW and VBMI
};

bool preintKernelAvailable(PreintKernel kernel);
// Forces a kernel (tests, benchmarks); Auto restores the choice.
void setPreintKernel(PreintKernel kernel);
// The kernel the next build uses.
PreintKernel activePreintKernel();

// Bytes of a table of n x n RGBA entries rounded up to whole 64-byte blocks.
unsigned long long preintTableBytes(int n);
// Allocation of the table, 64-byte aligned, registered under name; zeroed.
unsigned char* allocatePreintTable(int n, const char* name);
void releasePreintTable(unsigned char*& table);

#endif
