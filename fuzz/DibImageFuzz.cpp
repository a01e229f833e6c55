// Feeds arbitrary bytes to the bitmap decoder as a whole file. Any read outside the input, leak or
// undefined behaviour is a finding; so is a picture whose pixel buffer disagrees with its size.
#include <cstddef>
#include <cstdint>

#include "app/Notifier.h"
#include "map/DibImage.h"

namespace {

class SilentNotifier : public Notifier {
public:
    void showMessage(const std::string&, const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SilentNotifier notifier;
    const auto image = decodeDibImage(data, size, notifier);
    if (image && (image->width <= 0 || image->height <= 0 ||
                  image->pixels.size() !=
                      static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height) * 3))
        __builtin_trap();
    return 0;
}
