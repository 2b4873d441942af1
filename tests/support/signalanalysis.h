#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// Small measurements on recorded 16-bit mono speech.
namespace SignalAnalysis {

inline double Rms(const std::int16_t *s, std::size_t n) {
    if (n == 0)
        return 0;
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(n));
}

// Median fundamental frequency (Hz) of the voiced frames, by autocorrelation
// over 50..400 Hz; 0 when nothing is voiced.
inline double MedianF0(const std::int16_t *s, std::size_t n, int sampleRate) {
    constexpr std::size_t kFrame = 1024;
    std::vector<double> estimates;
    for (std::size_t off = 0; off + kFrame < n; off += kFrame / 2) {
        const std::int16_t *f = s + off;
        double energy = 0;
        for (std::size_t i = 0; i < kFrame; ++i)
            energy += double(f[i]) * f[i];
        if (energy / kFrame < 1e5)
            continue; // quiet: a pause or a soft consonant
        int bestLag = 0;
        double best = 0;
        for (int lag = sampleRate / 400; lag <= sampleRate / 50; ++lag) {
            double c = 0;
            for (std::size_t i = 0; i + lag < kFrame; ++i)
                c += double(f[i]) * f[i + lag];
            if (c > best) {
                best = c;
                bestLag = lag;
            }
        }
        if (bestLag > 0 && best > 0.3 * energy)
            estimates.push_back(double(sampleRate) / bestLag);
    }
    if (estimates.empty())
        return 0;
    std::nth_element(estimates.begin(), estimates.begin() + estimates.size() / 2, estimates.end());
    return estimates[estimates.size() / 2];
}

} // namespace SignalAnalysis
