#include "Seams.h"

namespace platform {

Seams& TestSeams() {
    static Seams seams;
    return seams;
}

}  // namespace platform
