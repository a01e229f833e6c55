// Feeds arbitrary bytes to the bitmap decoder as a whole file. Any read outside the input, leak or
// undefined behaviour is a finding; so is a picture whose pixel buffer disagrees with its size or
// that exceeds the size limit.
#include <cstddef>
#include <cstdint>

#include "common/Notifier.h"
#include "map/DibImage.h"

namespace {

// A few bytes of run-length commands may legally describe a picture of the decoder's full size, and
// allocating and clearing one costs about a second under the sanitizers. A small limit keeps every
// input fast and still lets the fuzzer cross it both ways.
constexpr DibSizeLimit kFuzzSizeLimit{1024, 64 * 1024};

class SilentNotifier : public Notifier {
public:
    void showMessage(const std::string&, const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SilentNotifier notifier;
    const auto image = decodeDibImage(data, size, notifier, kFuzzSizeLimit);
    if (image && (image->width <= 0 || image->height <= 0 || image->width > kFuzzSizeLimit.maxSide ||
                  image->height > kFuzzSizeLimit.maxSide ||
                  std::int64_t{image->width} * image->height > kFuzzSizeLimit.maxPixels ||
                  image->pixels.size() !=
                      static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height) * 3))
        __builtin_trap();
    return 0;
}
