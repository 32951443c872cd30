// The functions the tests of change need, in plain double arithmetic: no
// libm, and nothing but +, -, *, / and comparisons, which every machine
// rounds alike (the build keeps the compiler from fusing or widening
// them), so every build decides alike and prints the same bytes.
#pragma once

double logOf(double x);   // x > 0
double expOf(double x);
double sqrtOf(double x);  // x >= 0
double logGamma(double x);  // x > 0
double digamma(double x);   // x > 0
double trigamma(double x);  // x > 0
// The x > 0 whose trigamma is y > 0.
double inverseTrigamma(double y);
// The regularized incomplete beta function I_x(a, b), with 1 - x given
// too, so that neither loses its digits near 1.
double incompleteBeta(double x, double oneMinusX, double a, double b);
// P(|T| >= |t|) for Student's t with df degrees of freedom (df > 0).
double tTwoSidedP(double t, double df);
// The q with P(|T| >= q) = p.
double tTwoSidedQuantile(double p, double df);
