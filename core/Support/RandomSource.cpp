#include "Support/RandomSource.h"

#include <sys/random.h>

namespace quillfen {

SystemRandom::result_type SystemRandom::operator()() const {
    result_type value = 0;
    if (getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
        std::random_device device;
        value = (static_cast<result_type>(device()) << 32) ^ device();
    }
    return value;
}

}  // namespace quillfen
