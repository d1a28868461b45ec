#include "export/FatalErrors.h"

#include <new>
#include <system_error>

namespace exportfile {

void rethrowIfFatal() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::system_error&) {
        throw;
    } catch (...) {
        // The doctor's own failure: the caller records it.
    }
}

} // namespace exportfile
