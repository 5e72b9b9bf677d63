#include "qsp/qspFFTcore.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "qsp/qspCheck.h"

void qspFault(const char* where, const char* problem, int value)
{
    std::fprintf(stderr, "qsp: %s: %s %d\n", where, problem, value);
    std::abort();
}

// Forward transform, decimation in frequency with the twiddles in bit-reversed group
// order: stage s has 2^s groups and group g multiplies by conj(table pair g), which is
// e^{-i pi rev(g)/2^s}. Taking the groups in that order is what leaves the output
// bit-reversed without a reordering pass.
void qspCpxFFT(double* x, double* table, int n)
{
    qspCheckSize("qspCpxFFT", n, 1, 4096);
    for (int groups = 1, half = n / 2; half >= 1; groups *= 2, half /= 2) {
        for (int g = 0; g < groups; ++g) {
            const double wr = table[2 * g];
            const double wi = table[2 * g + 1];
            double* a = x + 4 * half * g;
            double* b = a + 2 * half;
            for (int k = 0; k < 2 * half; k += 2) {
                const double tr = b[k] * wr + b[k + 1] * wi;
                const double ti = b[k + 1] * wr - b[k] * wi;
                b[k] = a[k] - tr;
                b[k + 1] = a[k + 1] - ti;
                a[k] = a[k] + tr;
                a[k + 1] = a[k + 1] + ti;
            }
        }
    }
}

// The forward stages run backwards; halving in every stage gives the 1/n overall.
void qspCpxIFFT(double* x, double* table, int n)
{
    qspCheckSize("qspCpxIFFT", n, 1, 4096);
    for (int groups = n / 2, half = 1; groups >= 1; groups /= 2, half *= 2) {
        for (int g = 0; g < groups; ++g) {
            const double wr = table[2 * g];
            const double wi = table[2 * g + 1];
            double* a = x + 4 * half * g;
            double* b = a + 2 * half;
            for (int k = 0; k < 2 * half; k += 2) {
                a[k] = (a[k] + b[k]) * 0.5;
                a[k + 1] = (a[k + 1] + b[k + 1]) * 0.5;
                // Built from the halved a, so d is (old a - b) / 2.
                const double dr = a[k] - b[k];
                const double di = a[k + 1] - b[k + 1];
                b[k] = wr * dr - wi * di;
                b[k + 1] = wr * di + wi * dr;
            }
        }
    }
}

void qspCpxBitrev(double* x, int n)
{
    qspCheckSize("qspCpxBitrev", n, 1, 1 << 30);
    int j = 0;
    for (int i = 1; i < n - 1; ++i) {
        // Increment j as a bit-reversed counter: carry runs from the top bit down.
        int bit = n >> 1;
        while (j & bit) {
            j ^= bit;
            bit >>= 1;
        }
        j |= bit;
        if (i < j) {
            std::swap(x[2 * i], x[2 * j]);
            std::swap(x[2 * i + 1], x[2 * j + 1]);
        }
    }
}

// The 2n real samples were transformed as n complex points z[j] = x[2j] + i x[2j+1].
// With Z their DFT, the spectrum of the real signal is
//   X[k] = (Z[k] + conj Z[n-k]) / 2 - i e^{-i pi k/n} (Z[k] - conj Z[n-k]) / 2,
// so bins k and n-k are computed together. In bit-reversed order the partner of
// position p (index rev(p)) sits at the mirror position of p inside its block [B, 2B),
// and the twiddle e^{i pi rev(p)/n} is table pair p.
void qspCpxFFT2Real(double* x, double* table, int n)
{
    qspCheckSize("qspCpxFFT2Real", n, 2, 2048);
    // X[0] and X[n] are both real; pack X[n] into the imaginary slot of bin 0.
    const double z0i = x[1];
    x[0] = x[0] + z0i;
    x[1] = x[0] - 2.0 * z0i;
    // Position 1 holds Z[n/2], whose partner is itself: X[n/2] = conj Z[n/2].
    x[3] = -x[3];
    for (int B = 2; B < n; B *= 2) {
        for (int p = B, q = 2 * B - 1; p < B + B / 2; ++p, --q) {
            const double wr = table[2 * p];
            const double wi = table[2 * p + 1];
            const double br = x[2 * q];
            const double bi = x[2 * q + 1];
            const double sr = (x[2 * p] + br) * 0.5;
            const double si = (x[2 * p + 1] + bi) * 0.5;
            const double dr = sr - br;
            const double di = si - bi;
            const double v = -(wr * dr + wi * si);
            const double u = wr * si - wi * dr;
            x[2 * p] = sr + u;
            x[2 * p + 1] = v + di;
            x[2 * q] = sr - u;
            x[2 * q + 1] = v - di;
        }
    }
}

void qspRealFFT2Cpx(double* x, double* table, int n)
{
    qspCheckSize("qspRealFFT2Cpx", n, 2, 2048);
    const double xn = x[1];
    x[0] = (x[0] + xn) * 0.5;
    x[1] = x[0] - xn;
    x[3] = -x[3];
    for (int B = 2; B < n; B *= 2) {
        for (int p = B, q = 2 * B - 1; p < B + B / 2; ++p, --q) {
            const double wr = table[2 * p];
            const double wi = table[2 * p + 1];
            const double br = x[2 * q];
            const double bi = x[2 * q + 1];
            const double sr = (x[2 * p] + br) * 0.5;
            const double si = (x[2 * p + 1] + bi) * 0.5;
            const double dr = sr - br;
            const double di = si - bi;
            const double v = wr * dr - wi * si;
            const double u = wr * si + wi * dr;
            x[2 * p] = sr - u;
            x[2 * p + 1] = v + di;
            x[2 * q] = sr + u;
            x[2 * q + 1] = v - di;
        }
    }
}
