// The pre-integration table from the running sums of the channel tables.
//
// Entry (r, c), r != c, holds trunc((sum[max] - sum[min]) * w) with
// w = 1 / |c - r| rounded to single precision and the product taken exactly;
// the diagonal entry (r, r) holds table[r + 1] (the last one table[n - 1]).
// The fast kernels write the table row by row with vector instructions and
// give the same bytes as the reference.
#ifndef GLIMRA_TRANSFER_PREINT_H
#define GLIMRA_TRANSFER_PREINT_H

// Weights and sums of one table size, aligned for the vector kernels.
struct PreintWorkspace;

// Null when the allocation failed (reported and registered as usual).
PreintWorkspace* createPreintWorkspace(int n);
void releasePreintWorkspace(PreintWorkspace*& workspace);

// Writes the channels whose bit is set in mask (bit c for channel c) of the
// n x n RGBA table; the other channel bytes are left as they are. sums[c]
// holds n running sums and may be null for channels outside mask.
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
