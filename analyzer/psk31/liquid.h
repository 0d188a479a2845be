// liquid-dsp with std::complex<float> as its complex type.
#pragma once

#include <complex>
#include <memory>
#include <type_traits>
#include <liquid/liquid.h>

namespace psk31 {

// Owns a liquid-dsp object and destroys it with its own destroy function:
// LiquidHandle<firfilt_crcf, firfilt_crcf_destroy> filter(firfilt_crcf_create(...));
template <typename Object, auto Destroy>
struct LiquidDestroy {
    void operator()(Object object) const { Destroy(object); }
};
template <typename Object, auto Destroy>
using LiquidHandle = std::unique_ptr<std::remove_pointer_t<Object>, LiquidDestroy<Object, Destroy>>;

using FftPlan = LiquidHandle<fftplan, fft_destroy_plan>;

} // namespace psk31
