// qrfac (always pivoting) and the (Q^T) f that lmdif forms from its results, transcribed for
// lmdif_transcription.cpp with the library's bits: see lmdif_qrfac.cpp.
#pragma once

#include <cstddef>
#include <vector>

namespace transcribed_minpack {

// The arrays of lmdif's call qrfac(m, n, fjac, ldfjac, TRUE, ipvt, n, wa1, wa2, wa3), as
// qrfac documents them, and of the (Q^T) f that lmdif then forms in wa4 from fvec.
struct FactorisationArrays {
    int m = 0;
    int n = 0;
    double* a = nullptr;
    std::size_t lda = 0;
    int* ipvt = nullptr;
    double* rdiag = nullptr;
    double* acnorm = nullptr;
    double* wa = nullptr;
    const double* fvec = nullptr;
    double* qtf = nullptr; // lmdif's wa4: all m values of (Q^T) f
    // When set, receives enorm(m, fvec), taken beside the initial column norms.
    double* fnorm = nullptr;
};

// The factorisation's own state, kept from one call to the next so that a fit allocates it
// once.
struct FactorisationWork {
    std::vector<double> temps;
    std::vector<unsigned char> pending;
    std::vector<int> slots;
};

// qrfac(m, n, a, lda, TRUE, ipvt, n, rdiag, acnorm, wa), then lmdif's loop that forms
// (Q^T) f: every array as the library leaves it.
void factorise(const FactorisationArrays& arrays, FactorisationWork& work);

// The chunk of an element-wise loop over rows: everything on the caller when it is short.
std::size_t row_chunk(std::size_t rows);

} // namespace transcribed_minpack
