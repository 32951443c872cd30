#include "maths.h"

#include <cstdint>
#include <cstring>

namespace {

// ln 2 in two parts, the first with the low bits of its significand
// zero, so that k * ln2High is exact for the k that occur.
constexpr double ln2High = 6.93147180369123816490e-01;
constexpr double ln2Low = 1.90821492927058770002e-10;
constexpr double ln2 = 0.69314718055994530942;
constexpr double halfLn2Pi = 0.91893853320467274178;

std::uint64_t bitsOf(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

double fromBits(std::uint64_t bits) {
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// 2^k for the k of normal doubles.
double powerOfTwo(int k) { return fromBits(static_cast<std::uint64_t>(k + 1023) << 52); }

}  // namespace

double logOf(double x) {
    int exponent = 0;
    if (x < 2.2250738585072014e-308) {  // subnormal: made normal first
        x *= 18014398509481984.0;       // 2^54
        exponent = -54;
    }
    const std::uint64_t bits = bitsOf(x);
    exponent += static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    // The significand in [sqrt(1/2), sqrt(2)).
    double m = fromBits((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    if (m > 1.4142135623730951) {
        m *= 0.5;
        ++exponent;
    }
    // ln m = 2 atanh(s), s = (m - 1) / (m + 1), |s| < 0.172.
    const double s = (m - 1) / (m + 1);
    const double s2 = s * s;
    double term = s, sum = 0;
    for (int k = 1; k < 40; k += 2) {
        sum += term / k;
        term *= s2;
    }
    return exponent * ln2High + (exponent * ln2Low + 2 * sum);
}

double expOf(double x) {
    if (x > 709.7) return 1.7976931348623157e308;
    if (x < -745.1) return 0;
    const double kd = x / ln2;
    const int k = static_cast<int>(kd < 0 ? kd - 0.5 : kd + 0.5);
    // |r| <= ln 2 / 2: the series to 1/20! is exact to the last bit.
    const double r = (x - k * ln2High) - k * ln2Low;
    double term = 1, sum = 1;
    for (int n = 1; n <= 20; ++n) {
        term *= r / n;
        sum += term;
    }
    if (k < -1021) return sum * powerOfTwo(k + 60) * powerOfTwo(-60);
    if (k > 1023) return sum * powerOfTwo(k - 1) * 2;
    return sum * powerOfTwo(k);
}

double sqrtOf(double x) {
    if (x <= 0) return 0;
    double y = expOf(0.5 * logOf(x));
    for (int i = 0; i < 3; ++i) y = 0.5 * (y + x / y);
    return y;
}

double logGamma(double x) {
    // Up to 10 and more by the recurrence, then Stirling's series.
    double product = 1;
    while (x < 10) {
        product *= x;
        x += 1;
    }
    const double inverse = 1 / x, inverse2 = inverse * inverse;
    const double series =
        inverse *
        (1.0 / 12 -
         inverse2 * (1.0 / 360 -
                     inverse2 * (1.0 / 1260 -
                                 inverse2 * (1.0 / 1680 -
                                             inverse2 * (1.0 / 1188 - inverse2 * (691.0 / 360360))))));
    return (x - 0.5) * logOf(x) - x + halfLn2Pi + series - logOf(product);
}

double digamma(double x) {
    double shift = 0;
    while (x < 12) {
        shift -= 1 / x;
        x += 1;
    }
    const double inverse2 = 1 / (x * x);
    return shift + logOf(x) - 0.5 / x -
           inverse2 *
               (1.0 / 12 -
                inverse2 * (1.0 / 120 -
                            inverse2 * (1.0 / 252 -
                                        inverse2 * (1.0 / 240 -
                                                    inverse2 * (1.0 / 132 - inverse2 * (691.0 / 32760))))));
}

double trigamma(double x) {
    double shift = 0;
    while (x < 12) {
        shift += 1 / (x * x);
        x += 1;
    }
    const double inverse = 1 / x, inverse2 = inverse * inverse;
    return shift + inverse + 0.5 * inverse2 +
           inverse * inverse2 *
               (1.0 / 6 -
                inverse2 * (1.0 / 30 -
                            inverse2 * (1.0 / 42 -
                                        inverse2 * (1.0 / 30 -
                                                    inverse2 * (5.0 / 66 - inverse2 * (691.0 / 2730))))));
}

namespace {

// The second derivative of digamma, for Newton's steps on trigamma.
double tetragamma(double x) {
    double shift = 0;
    while (x < 8) {
        shift -= 2 / (x * x * x);
        x += 1;
    }
    const double inverse = 1 / x, inverse2 = inverse * inverse;
    return shift - inverse2 - inverse2 * inverse -
           inverse2 * inverse2 * (0.5 - inverse2 * (1.0 / 6 - inverse2 * (1.0 / 6 - inverse2 * 0.3)));
}

}  // namespace

double inverseTrigamma(double y) {
    // Newton's method from a start above the root, as genomics tools do.
    if (y > 1e7) return 1 / sqrtOf(y);
    if (y < 1e-6) return 1 / y;
    double x = 0.5 + 1 / y;
    for (int i = 0; i < 50; ++i) {
        const double tri = trigamma(x);
        const double step = tri * (1 - tri / y) / tetragamma(x);
        x += step;
        if (-step / x < 1e-10) break;
    }
    return x;
}

namespace {

// The continued fraction of the incomplete beta function (modified
// Lentz), which converges fast for x < (a + 1) / (a + b + 2).
double betaFraction(double x, double a, double b) {
    constexpr double tiny = 1e-300;
    const auto nonZero = [](double v) { return v > -tiny && v < tiny ? tiny : v; };
    double c = 1, d = 1 / nonZero(1 - (a + b) * x / (a + 1));
    double h = d;
    for (int m = 1; m <= 1000; ++m) {
        const double m2 = 2 * m;
        double step = m * (b - m) * x / ((a - 1 + m2) * (a + m2));
        d = 1 / nonZero(1 + step * d);
        c = nonZero(1 + step / c);
        h *= d * c;
        step = -(a + m) * (a + b + m) * x / ((a + m2) * (a + 1 + m2));
        d = 1 / nonZero(1 + step * d);
        c = nonZero(1 + step / c);
        const double change = d * c;
        h *= change;
        // Within a few units of the last place, where the product only
        // wobbles (1 + 1e-16 is 1 as a double: a bound that tight never
        // held, and every call took all 1000 steps).
        if (change > 1 - 1e-15 && change < 1 + 1e-15) break;
    }
    return h;
}

}  // namespace

double incompleteBeta(double x, double oneMinusX, double a, double b) {
    if (x <= 0) return 0;
    if (oneMinusX <= 0) return 1;
    const double front = expOf(logGamma(a + b) - logGamma(a) - logGamma(b) + a * logOf(x) +
                               b * logOf(oneMinusX));
    if (x * (a + b + 2) < a + 1) return front * betaFraction(x, a, b) / a;
    return 1 - front * betaFraction(oneMinusX, b, a) / b;
}

double tTwoSidedP(double t, double df) {
    const double t2 = t * t;
    return incompleteBeta(df / (df + t2), t2 / (df + t2), df / 2, 0.5);
}

double tTwoSidedQuantile(double p, double df) {
    // P falls as q grows: bisection, to the last bits.
    double low = 0, high = 1;
    while (tTwoSidedP(high, df) > p && high < 1e6) high *= 2;
    for (int i = 0; i < 100 && high - low > 1e-13 * high; ++i) {
        const double middle = 0.5 * (low + high);
        if (tTwoSidedP(middle, df) > p)
            low = middle;
        else
            high = middle;
    }
    return 0.5 * (low + high);
}
