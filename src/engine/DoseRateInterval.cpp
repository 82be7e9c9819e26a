#include "engine/DoseRateInterval.h"

#include <cmath>
#include <limits>

#include "engine/BitmapProcessor.h"
#include "engine/DoseModel.h"
#include "platform/Format.h"

namespace kesto {
namespace {

constexpr double kTail = (1.0 - DoseRateInterval::kConfidence) / 2.0;

// Regularized lower incomplete gamma P(a, x), a > 0, x >= 0: the series
// below a + 1, the continued fraction (modified Lentz) above, both in log
// space so that a count of millions neither overflows nor underflows.
double regularizedGammaP(double a, double x) {
    if (x <= 0.0) {
        return 0.0;
    }
    const double logPrefix = a * std::log(x) - x - std::lgamma(a);
    constexpr double kEpsilon = 1e-15;
    constexpr int kMaxTerms = 100000;
    if (x < a + 1.0) {
        double term = 1.0 / a;
        double sum = term;
        for (int n = 1; n < kMaxTerms; ++n) {
            term *= x / (a + n);
            sum += term;
            if (std::fabs(term) < std::fabs(sum) * kEpsilon) {
                break;
            }
        }
        return std::min(1.0, sum * std::exp(logPrefix));
    }
    constexpr double kTiny = 1e-300;
    double b = x + 1.0 - a;
    double c = 1.0 / kTiny;
    double d = 1.0 / b;
    double h = d;
    for (int i = 1; i < kMaxTerms; ++i) {
        const double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        d = std::fabs(d) < kTiny ? kTiny : d;
        c = b + an / c;
        c = std::fabs(c) < kTiny ? kTiny : c;
        d = 1.0 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < kEpsilon) {
            break;
        }
    }
    return std::max(0.0, 1.0 - std::exp(logPrefix) * h);
}

// The x where P(a, x) = p: P rises with x, so bisection always converges.
double gammaQuantile(double a, double p) {
    double low = 0.0;
    double high = a + 10.0 * std::sqrt(a) + 10.0;
    while (regularizedGammaP(a, high) < p) {
        high *= 2.0;
    }
    for (int i = 0; i < 200 && high - low > 1e-12 * high; ++i) {
        const double middle = 0.5 * (low + high);
        (regularizedGammaP(a, middle) < p ? low : high) = middle;
    }
    return 0.5 * (low + high);
}

}  // namespace

// The Poisson mean μ for which k or more events are as unlikely as the
// tail (lower) or k or fewer (upper); through P(X ≤ k; μ) = 1 − P(k+1, μ)
// these are the gamma (half chi-square) quantiles.
DoseRateInterval::EventBounds DoseRateInterval::eventBounds(std::int64_t events) {
    if (events <= 0) {
        return {0.0, -std::log(kTail)};
    }
    const auto k = static_cast<double>(events);
    return {gammaQuantile(k, kTail), gammaQuantile(k + 1.0, 1.0 - kTail)};
}

DoseRateInterval DoseRateInterval::forEvents(std::int64_t events, double seconds) {
    DoseRateInterval interval;
    if (!(seconds > 0.0) || !std::isfinite(seconds)) {
        return interval;
    }
    const EventBounds bounds = eventBounds(events);
    const double perEvent = DoseModel::kOneEventPerSecond / seconds;
    interval.known_ = true;
    interval.events_ = events < 0 ? 0 : events;
    interval.seconds_ = seconds;
    interval.lower_ = bounds.lower * perEvent;
    interval.upper_ = bounds.upper * perEvent;
    return interval;
}

DoseRateInterval DoseRateInterval::fromBounds(std::int64_t events, double seconds, double lower,
                                              double upper) {
    DoseRateInterval interval;
    interval.known_ = true;
    interval.events_ = events < 0 ? 0 : events;
    interval.seconds_ = seconds;
    interval.lower_ = lower;
    interval.upper_ = upper;
    return interval;
}

DoseRateInterval DoseRateInterval::ofEngine(const BitmapProcessor& engine) {
    return forEvents(engine.nbEventDetected(), engine.acquisitionDuration());
}

double DoseRateInterval::detectableRate(double seconds) {
    return seconds > 0.0 ? kDetectableEvents * DoseModel::kOneEventPerSecond / seconds
                         : std::numeric_limits<double>::infinity();
}

std::string DoseRateInterval::rateText(double rate) {
    double shown = rate;
    const std::string unit = BitmapProcessor::getUnitOfVMValue(shown);
    return cformat("%.2f %s", shown, unit.c_str());
}

std::string DoseRateInterval::text() const {
    if (!known_) {
        return {};
    }
    if (events_ == 0) {
        return "95%: below " + rateText(upper_);
    }
    double high = upper_;
    const std::string unit = BitmapProcessor::getUnitOfVMValue(high);
    const double low = lower_ * (high / upper_);
    return cformat("95%%: %.2f\u2013%.2f %s", low, high, unit.c_str());
}

}  // namespace kesto
