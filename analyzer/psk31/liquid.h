// liquid-dsp with std::complex<float> as its complex type.
#pragma once

#include <complex>
#include <liquid/liquid.h>
