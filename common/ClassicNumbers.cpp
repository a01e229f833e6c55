#include "common/ClassicNumbers.h"

namespace {

locale_t classicLocale() {
    // Made once and kept for the life of the process; every thread may use it.
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

ClassicNumbers::ClassicNumbers() : previous_(static_cast<locale_t>(nullptr)) {
    if (const locale_t classic = classicLocale()) previous_ = uselocale(classic);
}

ClassicNumbers::~ClassicNumbers() {
    if (previous_) uselocale(previous_);
}
